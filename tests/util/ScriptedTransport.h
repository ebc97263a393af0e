#pragma once
// A scripted mail server behind the transport seam: it answers each command line the
// session sends from a table keyed by the command's first word, and records every byte
// and every write, so that dialogue tests can assert what crossed, byte for byte, and
// which commands travelled together.

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QThread>
#include <memory>

#include "mail/net/Transport.h"

namespace testutil {

struct Script {
    QByteArray greeting;
    // Reply by command word ("EHLO", "MAIL", …); "WORD@tls" is looked up first once
    // TLS is up. A command with no entry gets unknown.
    QMap<QByteArray, QByteArray> replies;
    QByteArray unknown = "500 unknown\r\n";
    QByteArray endOfData = "250 queued\r\n";  // after SMTP DATA's "." or a BDAT chunk
    bool answerFirstOfEachWriteOnly = false;  // a pipelining server that stalls
    // After this many end-of-data replies the server says 421 and closes, as after an
    // idle timeout; 0: never.
    int closeAfterMails = 0;
};

// What one connection saw.
struct Dialogue {
    QByteArray received;       // every byte the session sent
    QList<QByteArray> writes;  // each Write, as the session grouped its commands
    bool tlsBeforeByte(qsizetype offset) const { return tlsAt >= 0 && tlsAt <= offset; }
    qsizetype tlsAt = -1;  // bytes received when TLS started
};

class ScriptedServer {
public:
    explicit ScriptedServer(QList<Script> scripts) : scripts_(std::move(scripts)) {}
    // Connection k follows scripts[k], the last one repeating.
    net::TransportFactory factory();
    const QList<Dialogue>& dialogues() const { return dialogues_; }

private:
    friend class ScriptedTransport;
    QList<Script> scripts_;
    QList<Dialogue> dialogues_;
};

class ScriptedTransport : public net::Transport {
public:
    ScriptedTransport(ScriptedServer& server, int index) : server_(server), index_(index) {}

    void Connect(const QString&, quint16, bool tls) override {
        state_ = State::Open;
        encrypted_ = tls;
        out_ += script().greeting;
    }
    void StartTls() override {
        encrypted_ = true;
        dialogue().tlsAt = dialogue().received.size();
    }
    State state() const override { return state_; }
    bool encrypted() const override { return encrypted_; }
    bool Write(const QByteArray& bytes) override {
        if (state_ != State::Open) return false;
        dialogue().received += bytes;
        dialogue().writes.append(bytes);
        pending_ += bytes;
        answered_ = 0;
        serve();
        return true;
    }
    qint64 bytesToWrite() const override { return 0; }
    qint64 bytesAvailable() const override { return out_.size(); }
    QByteArray Read(qint64 maxBytes) override {
        const QByteArray taken = out_.left(maxBytes);
        out_.remove(0, taken.size());
        return taken;
    }
    void Wait(int ms) override { QThread::msleep(std::min(ms, 5)); }
    QString errorString() const override { return QStringLiteral("scripted"); }
    void Abort() override { state_ = State::Closed; }

private:
    const Script& script() const {
        return server_.scripts_[std::min<qsizetype>(index_, server_.scripts_.size() - 1)];
    }
    Dialogue& dialogue() { return server_.dialogues_[index_]; }

    void answer(const QByteArray& reply) {
        if (script().answerFirstOfEachWriteOnly && answered_++ > 0) return;
        out_ += reply;
    }

    void endOfData() {
        answer(script().endOfData);
        if (++mails_ == script().closeAfterMails) {
            out_ += "421 4.4.2 idle too long, closing\r\n";
            state_ = State::Closed;
        }
    }

    void serve() {
        for (;;) {
            if (chunkLeft_ > 0) {
                const qint64 n = std::min<qint64>(chunkLeft_, pending_.size());
                pending_.remove(0, n);
                chunkLeft_ -= n;
                if (chunkLeft_ > 0) return;
                endOfData();
                continue;
            }
            const qsizetype end = pending_.indexOf("\r\n");
            if (end < 0) return;
            const QByteArray line = pending_.left(end);
            pending_.remove(0, end + 2);
            if (inData_) {
                if (line == ".") {
                    inData_ = false;
                    endOfData();
                }
                continue;
            }
            const QByteArray word = line.split(' ').first().toUpper();
            if (word == "BDAT") {  // answered once its chunk has arrived
                chunkLeft_ = line.split(' ').value(1).toLongLong();
                if (chunkLeft_ == 0) endOfData();
                continue;
            }
            QByteArray reply = script().replies.value(word + "@tls");
            if (!encrypted_ || reply.isEmpty())
                reply = script().replies.value(word, script().unknown);
            answer(reply);
            if (word == "DATA" && reply.startsWith("354")) inData_ = true;
            if (word == "QUIT") state_ = State::Closed;
        }
    }

    ScriptedServer& server_;
    int index_;
    State state_ = State::Closed;
    bool encrypted_ = false, inData_ = false;
    qint64 chunkLeft_ = 0;
    int answered_ = 0, mails_ = 0;
    QByteArray pending_, out_;
};

inline net::TransportFactory ScriptedServer::factory() {
    return [this] {
        dialogues_.append(Dialogue{});
        return std::make_unique<ScriptedTransport>(*this, static_cast<int>(dialogues_.size()) - 1);
    };
}

}  // namespace testutil
