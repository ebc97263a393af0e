#pragma once
// The real component's two objects made directly, for tests and benchmarks that need
// their own timeouts and limits. The program makes them through ComponentRegistry.

#include <QString>
#include <memory>

#include "Limits.h"
#include "mail/MailComponent.h"
#include "mail/net/Timeouts.h"

namespace ledger {
class DeliveryLedger;
}

namespace mail {

struct RealComponent {
    std::unique_ptr<SmtpMail> smtp;
    std::unique_ptr<Pop3Mail> pop3;
    std::shared_ptr<ledger::DeliveryLedger> ledger;  // what both share, e.g. to end their transfers
};

RealComponent MakeRealComponent(const QString& journalFolder, net::Timeouts timeouts = {},
                                Limits limits = {});

}  // namespace mail
