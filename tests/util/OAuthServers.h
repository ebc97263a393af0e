#pragma once
// The token log-in servers for the integration tests, started once per test process on
// 127.0.0.1 beside TestServers (whose certificates, folder and mailboxes they share):
// an authorization server (oauth_server.py, https), a Dovecot POP3 instance whose
// passdb is oauth2 with local JWT validation (XOAUTH2 and OAUTHBEARER), and an SMTP
// server (STARTTLS) that takes the same tokens.

#include <QByteArray>
#include <QProcess>
#include <QString>
#include <memory>

namespace testutil {

class OAuthServers {
public:
    static OAuthServers& Get();
    ~OAuthServers();

    static constexpr const char* kClientId = "tarnpost-test";
    static constexpr const char* kSmtpUser = "sender@example.test";
    int authPort = 0, pop3Port = 0, pop3sPort = 0, smtpPort = 0;
    QString baseUrl() const;  // https://127.0.0.1:PORT
    QString smtpSpool() const;
    // A provider file for --oauth-provider naming this authorization server.
    QString ProviderFile(bool withDevice = true) const;

    // config.json of oauth_server.py ("{\"lifetime\": 3}"); empty restores the defaults.
    void SetConfig(const QByteArray& json) const;
    // Revokes every refresh token of the user from the next token request on.
    void RevokeUser(const QString& user) const;
    // Token requests so far, and how many of them asked for this grant.
    int TokenRequests(const QString& grant = QString()) const;
    // The user approving a device code at the verification address.
    bool ApproveDevice(const QString& userCode, const QString& user) const;
    // Lines of the SMTP server's AUTH log ("XOAUTH2 challenge ok").
    QList<QByteArray> SmtpAuthLog() const;
    int Pop3Logins(const QString& user) const;

private:
    OAuthServers();
    void startDovecot();
    QString dir() const;

    std::unique_ptr<QProcess> authority_, dovecot_, smtp_;
};

}  // namespace testutil
