#pragma once
// One SMTP client on the shared connection base, synchronous, used from one thread.
//
// Open: greeting, EHLO (HELO for a server without it), STARTTLS when offered — then it
// must succeed — or required by the server setting's policy, EHLO again, AUTH when the
// setting carries a user (PLAIN, else LOGIN; never before TLS unless the policy allows).
//
// Send: one mail. With PIPELINING, MAIL FROM, RCPT TO and DATA go as one group (RFC
// 2920); with CHUNKING as well, MAIL, RCPT and "BDAT n LAST" with the message, so that a
// mail costs one round trip. Without CHUNKING, a mail sent with more to follow carries
// the next mail's group (same envelope, no SIZE) behind its end of data, so that the next
// mail waits for no 354 of its own: the open DATA is never ended by a "." of ours, and a
// connection closed in it delivers nothing. SIZE is declared when the server announces it. A reply
// of any stage is classified per RFC 5321: 4xx temporary, 5xx permanent for this mail. The
// connection is kept from mail to mail and opened again, transparently, when the server closed it
// while idle (a 421, then the close). A server that stalls on a pipelined group is then spoken to
// one command at a time.

#include <QByteArray>
#include <atomic>
#include <optional>

#include "SmtpReplyReader.h"
#include "mail/net/Connection.h"
#include "mail/net/ServerAddress.h"

namespace smtp {

struct SmtpCapabilities {
    bool esmtp = false, pipelining = false, startTls = false, chunking = false, size = false;
    bool authPlain = false, authLogin = false, authXoauth2 = false, authOauthBearer = false;
};
SmtpCapabilities ParseEhlo(const SmtpReply& ehlo);

struct Envelope {
    QByteArray from, to;  // bare addresses, without the angle brackets
};

struct Sent {
    bool dataSent = false;  // the whole message reached the server (accepted or not)
};

class SmtpSession {
public:
    SmtpSession(net::ServerAddress server, net::Timeouts timeouts, const std::atomic<bool>* ending,
                net::TransportFactory transport = {});
    ~SmtpSession();

    net::Status Open();
    // Sends one mail. On failure, error().permanent says the server refused this mail
    // for good (5xx); *dataSent says the whole message was sent, so that a failure to
    // read the final reply may still have delivered it. moreToFollow: another mail to
    // the same envelope is likely next, so its group may travel with this one's end.
    net::Status Send(const Envelope& envelope, const QByteArray& message, bool* dataSent,
                     bool moreToFollow = false);
    // The password or access token the next log-in uses (a token runs out within the
    // hour, while the connection may be opened again later).
    void SetSecret(const QString& secret) { server_.password = secret; }
    // QUIT, then the close; without a wait when the program is ending.
    void Quit();
    void Abort() { connection_.Abort(); }
    int ConnectionsOpened() const { return connection_.connectionsOpened(); }
    bool Pipelining() const { return capabilities_.pipelining && !stalled_; }
    // Whether the last Send sent the whole message and the server then answered with
    // something unreadable: it most likely took the mail. A connection that closed
    // without an answer is not that.
    bool LastAnswerUnreadable() const { return unreadable_; }

private:
    net::Result<SmtpReply> read(qint64 size = 0);
    net::Result<SmtpReply> command(const QByteArray& line);
    net::Status greetAndHello();
    net::Status logIn();
    net::Status transaction(const Envelope& envelope, const QByteArray& message, bool* dataSent,
                            bool moreToFollow);
    net::Status afterRefusal(const SmtpReply& refusal, const char* stage, bool transactionOpen);

    net::ServerAddress server_;
    net::Connection connection_;
    SmtpReplyReader reader_;
    SmtpCapabilities capabilities_;
    bool stalled_ = false;  // the server stalled on a pipelined group: one command at a time
    // The envelope of a group sent ahead whose replies are still to be read.
    std::optional<Envelope> ahead_;
    bool unreadable_ = false;
};

}  // namespace smtp
