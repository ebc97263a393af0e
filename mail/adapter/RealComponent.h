#pragma once
// The real component: POP3 on Qt Network, SMTP over libcurl, messages read with GMime.
// The program makes its two objects through the registry; tests and benchmarks that
// need their own timeouts and limits make them directly.

#include <QString>
#include <memory>

#include "mail/ComponentRegistry.h"
#include "mail/MailComponent.h"
#include "mail/net/Timeouts.h"
#include "mail/pop3/Limits.h"

namespace ledger {
class DeliveryLedger;
}

namespace mail {

struct RealComponent {
    std::unique_ptr<SmtpMail> smtp;
    std::unique_ptr<Pop3Mail> pop3;
    std::shared_ptr<ledger::DeliveryLedger> ledger;  // what both share, e.g. to end their transfers
};

// The C libraries' global set-up (GMime, libxml2), once, on the main thread before any
// object is made or any message is read or built.
void InitMailLibraries();

// The registry the program creates its objects from. The objects share one ledger,
// whose journal is Tarnpost.journal in journalFolder.
ComponentRegistry MakeComponentRegistry(const QString& journalFolder);

RealComponent MakeRealComponent(const QString& journalFolder, net::Timeouts timeouts = {},
                                pop3::Limits limits = {});

}  // namespace mail
