#include "RealComponent.h"

#include "QtPop3Mail.h"
#include "QtSmtpMail.h"
#include "mail/ComponentRegistry.h"
#include "mail/ledger/DeliveryLedger.h"
#include "mail/mime/MessageReader.h"

namespace mail {
namespace {

inline const QString kJournalFileName = QStringLiteral("Tarnpost.journal");

void initLibraries() {
    // Global library set-up, on the main thread before any worker runs.
    mime::InitMessageLibrary();
}

}  // namespace

ComponentRegistry ComponentRegistry::WithRealComponent(const QString& journalFolder) {
    initLibraries();
    auto ledger = std::make_shared<ledger::DeliveryLedger>(journalFolder + u'/' + kJournalFileName);
    ComponentRegistry registry;
    registry.endTransfers_ = [ledger] { ledger->ending = true; };
    registry.Register(kSmtpProgId, [ledger] { return std::make_unique<QtSmtpMail>(ledger); });
    registry.Register(kPop3ProgId, [ledger] { return std::make_unique<QtPop3Mail>(ledger); });
    return registry;
}

RealComponent MakeRealComponent(const QString& journalFolder, net::Timeouts timeouts,
                                Limits limits) {
    initLibraries();
    auto ledger = std::make_shared<ledger::DeliveryLedger>(journalFolder + u'/' + kJournalFileName);
    return {std::make_unique<QtSmtpMail>(ledger, timeouts),
            std::make_unique<QtPop3Mail>(ledger, timeouts, limits), ledger};
}

}  // namespace mail
