#pragma once
// Creates component objects from their programmatic identifiers, the way the program
// asks for them ("Corvex.SMTPMail", "Corvex.POP3Mail").

#include <functional>
#include <map>
#include <memory>

#include "MailComponent.h"

namespace mail {

inline const QString kSmtpProgId = QStringLiteral("Corvex.SMTPMail");
inline const QString kPop3ProgId = QStringLiteral("Corvex.POP3Mail");

class ComponentRegistry {
public:
    using Factory = std::function<std::unique_ptr<ComponentObject>()>;

    void Register(const QString& progId, Factory factory);
    // Null when progId is unknown; error then says which identifier was missing.
    std::unique_ptr<ComponentObject> CreateObject(const QString& progId, QString* error) const;

    // What EndTransfers does for the objects this registry makes.
    void SetEndTransfers(std::function<void()> endTransfers) {
        endTransfers_ = std::move(endTransfers);
    }
    // The program is ending: transfers in progress stop and no new one starts.
    void EndTransfers() const {
        if (endTransfers_) endTransfers_();
    }

private:
    std::map<QString, Factory> factories_;
    std::function<void()> endTransfers_;
};

}  // namespace mail
