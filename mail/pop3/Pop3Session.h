#pragma once
// One POP3 session on Qt Network, synchronous, used from one thread (a worker, never the
// UI thread): the socket is made in Open, on the thread that uses it.
//
// When the server announces PIPELINING, RequestRetr keeps a window of RETRs in flight
// (limits.windowMessages, and limits.windowBytes by listed size, at least one) and
// NextRetr hands the replies out in request order; DeleteAndQuit sends the DELEs as one
// batch. Without PIPELINING one command is in flight at a time. Nothing is deleted until
// QUIT: Abort, the destructor, an error and the end of the program drop the connection
// without it, so the server commits nothing.
//
// Every wait is bounded by the connection base's one rule (mail/net/Connection.h).
// After an Error of kind Failed, TooLarge or Ending that came from the connection, the
// session is dropped and every later call fails; a "-ERR" reply leaves it usable.
//
// A stream out of step (bytes that arrive when no reply is due, or a message whose size
// is far from its listed one, as after a forged extra reply) fails the session without
// QUIT: a reply taken for another message's must never lead to a DELE.

#include <QByteArray>
#include <QString>
#include <atomic>
#include <deque>
#include <memory>
#include <vector>

#include "Limits.h"
#include "Pop3Capabilities.h"
#include "Pop3Listing.h"
#include "Pop3ReplyReader.h"
#include "mail/net/Connection.h"
#include "mail/net/ServerAddress.h"
#include "mail/net/Timeouts.h"

namespace pop3 {

class Pop3Session {
public:
    Pop3Session(net::ServerAddress server, QString user, QString password, net::Timeouts timeouts,
                Limits limits, const std::atomic<bool>* ending,
                net::TransportFactory transport = {});
    ~Pop3Session();
    Pop3Session(const Pop3Session&) = delete;
    Pop3Session& operator=(const Pop3Session&) = delete;

    // Connects, TLS (implicit, or STLS when CAPA offers it: then it is mandatory),
    // greeting, CAPA, and logs in (SASL PLAIN, else SASL LOGIN, else USER/PASS).
    // Once per object: a session is one connection.
    Status Open();
    bool Pipelining() const { return capabilities_.pipelining; }
    // UIDL and LIST, both complete, keyed by message number in the server's order.
    // Duplicate UIDs are returned as they are.
    Result<std::vector<Pop3Listed>> List();
    // Queues a RETR; it is sent at once while the window allows.
    void RequestRetr(int number, qint64 listedSize);
    // Queues a TOP in the same line as the RETRs; its reply comes from NextRetr too.
    void RequestTop(int number, int lines);
    // The complete, dot-unstuffed message of the oldest request, in request order.
    Result<QByteArray> NextRetr();
    // TOP n lines (the header only with 0). Nothing may be requested and not yet read.
    Result<QByteArray> Top(int number, int lines);
    // Reads and discards the replies still in flight, sends every DELE, then QUIT;
    // succeeds only when every DELE and the QUIT got "+OK". A refused DELE drops the
    // connection without QUIT, so nothing at all is deleted then.
    Status DeleteAndQuit(const std::vector<int>& numbers);
    // Drops the connection without QUIT: the server commits nothing.
    void Abort();
    int ConnectionsOpened() const { return connection_.connectionsOpened(); }

private:
    struct Request {
        QByteArray command;
        qint64 windowBytes;    // what it counts against limits.windowBytes
        qint64 deadlineBytes;  // the size its reply deadline allows for
        qint64 listedSize;     // a RETR's size in LIST; -1 for a TOP
    };
    struct Reply {
        Pop3ReplyReader::Status status;
        QByteArray text, body;
    };

    Status startTls();
    Status readCapabilities();
    Status logIn();
    Status send(const QByteArray& commands);
    void sendWhatTheWindowAllows();
    Status nothingUnasked();
    Result<Reply> read(const Pop3Expect& expect, qint64 size);
    Result<Reply> command(const QByteArray& line, bool multiLine = false);
    Error failed(Error error) { return connection_.Fail(std::move(error)); }
    Pop3Expect statusOnly() const;
    Pop3Expect listing() const;
    Pop3Expect message(bool keep) const;

    net::ServerAddress server_;
    QString user_, password_;
    Limits limits_;
    net::Connection connection_;
    Pop3ReplyReader reader_;
    Pop3Capabilities capabilities_;
    std::deque<Request> queued_, inFlight_;
    qint64 inFlightBytes_ = 0;
};

}  // namespace pop3
