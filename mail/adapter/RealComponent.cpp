#include "ComponentContext.h"
#include "CurlPop3Mail.h"
#include "CurlSmtpMail.h"
#include "MessageReader.h"
#include "RealComponent.h"
#include "mail/ComponentRegistry.h"

#include <curl/curl.h>
#include <mutex>

namespace mail {

inline const QString kJournalFileName = QStringLiteral("Tarnpost.journal");

ComponentRegistry ComponentRegistry::WithRealComponent(const QString& journalFolder) {
    // Global library set-up, once, on the main thread before any worker runs.
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
    InitMessageLibrary();

    auto context = std::make_shared<ComponentContext>();
    const QString journalPath = journalFolder + u'/' + kJournalFileName;
    ComponentRegistry registry;
    registry.endTransfers_ = [context] { context->ending = true; };
    registry.Register(kSmtpProgId, [context] { return std::make_unique<CurlSmtpMail>(context); });
    registry.Register(kPop3ProgId, [context, journalPath] {
        return std::make_unique<CurlPop3Mail>(context, journalPath);
    });
    return registry;
}

RealComponent MakeRealComponent(const QString& journalFolder, Timeouts timeouts, Limits) {
    auto context = std::make_shared<ComponentContext>();
    return {std::make_unique<CurlSmtpMail>(context, timeouts),
            std::make_unique<CurlPop3Mail>(context, journalFolder + u'/' + kJournalFileName,
                                           timeouts)};
}

}  // namespace mail
