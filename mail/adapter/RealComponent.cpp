#include "RealComponent.h"

#include "QtPop3Mail.h"
#include "QtSmtpMail.h"
#include "mail/ledger/DeliveryLedger.h"
#include "mail/mime/MessageReader.h"

namespace mail {
namespace {

inline const QString kJournalFileName = QStringLiteral("Tarnpost.journal");

}  // namespace

void InitMailLibraries() {
    // Global library set-up, on the main thread before any worker runs.
    mime::InitMessageLibrary();
}

ComponentRegistry MakeComponentRegistry(const QString& journalFolder) {
    InitMailLibraries();
    auto ledger = std::make_shared<ledger::DeliveryLedger>(journalFolder + u'/' + kJournalFileName);
    ComponentRegistry registry;
    registry.SetEndTransfers([ledger] { ledger->ending = true; });
    registry.Register(kSmtpProgId, [ledger] { return std::make_unique<QtSmtpMail>(ledger); });
    registry.Register(kPop3ProgId, [ledger] { return std::make_unique<QtPop3Mail>(ledger); });
    return registry;
}

RealComponent MakeRealComponent(const QString& journalFolder, net::Timeouts timeouts,
                                pop3::Limits limits) {
    InitMailLibraries();
    auto ledger = std::make_shared<ledger::DeliveryLedger>(journalFolder + u'/' + kJournalFileName);
    return {std::make_unique<QtSmtpMail>(ledger, timeouts),
            std::make_unique<QtPop3Mail>(ledger, timeouts, limits), ledger};
}

}  // namespace mail
