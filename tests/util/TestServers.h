#pragma once
// Real servers for the integration tests, started once per test process on 127.0.0.1:
// Dovecot (POP3 on a plain and an implicit-TLS port) and two aiosmtpd SMTP servers
// (plain; STARTTLS with AUTH), with a CA and certificate made for the run.

#include <QByteArray>
#include <QList>
#include <QProcess>
#include <QString>
#include <QTemporaryDir>
#include <memory>
#include <vector>

namespace testutil {

class TestServers {
public:
    // Starts the servers on first use; aborts the test process when they cannot start.
    static TestServers& Get();
    ~TestServers();

    QString dir() const { return dir_.path(); }
    QString caFile() const { return dir() + "/ca.crt"; }
    QString otherCaFile() const { return dir() + "/other-ca.crt"; }
    int pop3Port = 0, pop3sPort = 0, smtpPort = 0, smtpTlsPort = 0;
    QString smtpSpool() const { return dir() + "/spool-plain"; }
    QString smtpTlsSpool() const { return dir() + "/spool-tls"; }
    static constexpr const char* kSmtpUser = "relay";
    static constexpr const char* kSmtpPassword = "relay-pw";

    // A new mailbox user with an empty maildir; names must be unique per process.
    void AddUser(const QString& user, const QString& password);
    // Puts a message into the user's mailbox (as a mail delivery agent would).
    void Deliver(const QString& user, const QByteArray& message);
    int MailboxCount(const QString& user) const;

    // Messages the SMTP server accepted, oldest first, and clearing them.
    QList<QByteArray> Received(const QString& spool) const;
    int ReceivedCount(const QString& spool) const;
    void ClearReceived(const QString& spool) const;
    // Connections the SMTP server was greeted on, and POP3 logins of a user, so far.
    int SmtpConnections(const QString& spool) const;
    int Pop3Logins(const QString& user) const;
    // "STAGE CODE" lines, see smtp_server.py; empty clears.
    void SetSmtpFaults(const QString& spool, const QByteArray& faults) const;

    // Ends every open POP3 session at once, as a server crash or a dropped line would.
    void KillPop3Sessions();
    void StopDovecot();
    void StartDovecot();

private:
    TestServers();
    void makeCertificates();
    void startSmtp(int port, const QString& spool, bool tls);
    QString maildir(const QString& user) const;

    QTemporaryDir dir_;
    std::unique_ptr<QProcess> dovecot_;
    std::vector<std::unique_ptr<QProcess>> smtp_;
    int deliveries_ = 0;
};

// Starts tests/util/<script> with the system Python and waits (bounded) until it listens
// on the port; null if it did not. The server ends when the process closes its input.
std::unique_ptr<QProcess> StartPythonServer(const QString& script, const QStringList& arguments,
                                            int port);
// A port on 127.0.0.1 that nothing listens on right now.
int FreePort();
// Waits (bounded) until something accepts connections on the port.
bool WaitForPort(int port, int timeoutMs = 15000);

}  // namespace testutil
