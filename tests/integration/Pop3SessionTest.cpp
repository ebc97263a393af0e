// The POP3 session against the real Dovecot, directly and through a relay that hides
// capabilities or cuts the server off inside a window of pipelined retrievals.

#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QFile>
#include <QThread>
#include <map>
#include <thread>

#include "../util/Pop3Relay.h"
#include "../util/QtPrinters.h"
#include "../util/SilentServer.h"
#include "../util/TestServers.h"
#include "mail/pop3/Pop3Session.h"

using testutil::Pop3Relay;
using testutil::TestServers;

namespace {

QString uniqueUser() {
    static int n = 0;
    return QStringLiteral("session%1").arg(++n);
}

// A CRLF message of about the given size, distinct per seed, with a line that starts
// with a dot (sent stuffed) and one that is a dot and more.
QByteArray mail(int seed, qsizetype size) {
    QByteArray text = "From: a@x.jp\r\nSubject: mail " + QByteArray::number(seed) +
                      "\r\n\r\n.starts with a dot\r\n..two dots\r\n";
    const QByteArray line = QByteArray(72, char('a' + seed % 26)) + "\r\n";
    while (text.size() < size) text += line;
    return text + "end " + QByteArray::number(seed) + "\r\n";
}

std::vector<int> numbersUpTo(int n) {
    std::vector<int> numbers;
    for (int i = 1; i <= n; ++i) numbers.push_back(i);
    return numbers;
}

class Pop3SessionTest : public ::testing::Test {
protected:
    TestServers& servers = TestServers::Get();
    QString user = uniqueUser();
    std::atomic<bool> ending{false};
    net::Timeouts timeouts{5, 5};
    pop3::Limits limits;
    std::vector<QByteArray> delivered;

    void SetUp() override { servers.AddUser(user, "pw"); }

    void deliver(std::initializer_list<qsizetype> sizes) {
        for (const qsizetype size : sizes) {
            delivered.push_back(mail(static_cast<int>(delivered.size()), size));
            servers.Deliver(user, delivered.back());
        }
    }

    std::unique_ptr<pop3::Pop3Session> session(const QString& url, bool implicitTls,
                                               const QString& password = "pw") {
        net::ServerAddress address = *net::ParseServerAddress(url, net::Protocol::Pop3, nullptr);
        address.implicitTls = implicitTls;
        return std::make_unique<pop3::Pop3Session>(address, user, password, timeouts, limits,
                                                   &ending);
    }
    QString plainUrl(int port) const { return QStringLiteral("pop3://127.0.0.1:%1").arg(port); }

    // Dovecot's login line for this user: how it logged in and whether over TLS. Its log
    // process writes a moment later, so wait for it (bounded).
    QByteArray loginLog(int waitMs = 2000) const {
        QElapsedTimer clock;
        clock.start();
        do {
            QFile log(servers.dir() + "/dovecot.log");
            if (log.open(QIODevice::ReadOnly))
                for (const QByteArray& line : log.readAll().split('\n'))
                    if (line.contains("Login: user=<" + user.toUtf8() + ">")) return line;
            QThread::msleep(20);
        } while (clock.elapsed() < waitMs);
        return {};
    }
};

struct RoundTripCase {
    const char* name;
    bool implicitTls;
    QHash<QByteArray, QByteArray> relayLines;  // empty: straight to Dovecot
    bool pipelining, tls;
    const char* method;
    int inFlight;  // RETRs sent before the first reply, seen by the relay
    bool worker;   // run on a thread Qt did not start, as the program's worker
};

class Pop3RoundTrip : public Pop3SessionTest, public ::testing::WithParamInterface<RoundTripCase> {
protected:
    void roundTrip(const RoundTripCase& c);
};

// Every message comes back byte for byte, the larger-than-the-window one too, over one
// connection; DELE removes exactly the given numbers. The window holds the first two (the
// third would pass limits.windowBytes) when the server pipelines, else one.
TEST_P(Pop3RoundTrip, RetrievesExactlyAndDeletesOnlyWhatItIsTold) {
    const RoundTripCase& c = GetParam();
    if (c.worker)
        std::thread([&] { roundTrip(c); }).join();
    else
        roundTrip(c);
}

void Pop3RoundTrip::roundTrip(const RoundTripCase& c) {
    deliver({300, 2000, 4'500'000, 10, 5000});
    std::unique_ptr<Pop3Relay> relay;
    if (!c.relayLines.isEmpty())
        relay = std::make_unique<Pop3Relay>(
            servers.pop3Port, Pop3Relay::Rules{.lines = c.relayLines, .countRetrsInFlight = true});
    const int port = relay ? relay->port : c.implicitTls ? servers.pop3sPort : servers.pop3Port;
    auto box =
        session(QStringLiteral("%1://127.0.0.1:%2").arg(c.implicitTls ? "pop3s" : "pop3").arg(port),
                c.implicitTls);
    const net::Status opened = box->Open();
    ASSERT_TRUE(opened) << opened.error().message.toStdString();
    EXPECT_EQ(box->Pipelining(), c.pipelining);
    const QByteArray log = loginLog();
    EXPECT_EQ(log.contains(", TLS"), c.tls) << log.toStdString();
    EXPECT_TRUE(log.contains(QByteArray("method=") + c.method)) << log.toStdString();

    auto listed = box->List();
    ASSERT_TRUE(listed) << listed.error().message.toStdString();
    ASSERT_EQ(listed.value().size(), delivered.size());
    for (const pop3::Pop3Listed& entry : listed.value()) {
        box->RequestRetr(entry.number, entry.size);
        EXPECT_EQ(entry.size, delivered[entry.number - 1].size());
    }
    for (const QByteArray& expected : delivered) {
        auto got = box->NextRetr();
        ASSERT_TRUE(got) << got.error().message.toStdString();
        EXPECT_TRUE(got.value() == expected) << got.value().size() << " vs " << expected.size();
    }
    auto top = box->Top(2, 0);
    ASSERT_TRUE(top) << top.error().message.toStdString();
    EXPECT_TRUE(delivered[1].startsWith(top.value())) << top.value().toStdString();
    box->RequestRetr(5, delivered[4].size());  // still in flight: DeleteAndQuit drains it
    ASSERT_TRUE(box->DeleteAndQuit({1, 3, 4}));
    EXPECT_EQ(box->ConnectionsOpened(), 1);
    if (relay) {
        EXPECT_EQ(relay->connections(), 1);
        EXPECT_EQ(relay->retrsInFlight(), c.inFlight);
    }

    auto after = session(plainUrl(servers.pop3Port), false);
    ASSERT_TRUE(after->Open());
    auto left = after->List();
    ASSERT_TRUE(left);
    ASSERT_EQ(left.value().size(), 2u);
    for (int i = 0; i < 2; ++i) {
        EXPECT_EQ(left.value()[i].uid, listed.value()[i == 0 ? 1 : 4].uid);
        after->RequestRetr(left.value()[i].number, left.value()[i].size);
    }
    EXPECT_TRUE(after->NextRetr().value() == delivered[1]);
    EXPECT_TRUE(after->NextRetr().value() == delivered[4]);
}

const QHash<QByteArray, QByteArray> kNoPipelining = {{"PIPELINING", ""}, {"STLS", ""}};

INSTANTIATE_TEST_SUITE_P(
    Servers, Pop3RoundTrip,
    ::testing::Values(
        RoundTripCase{"plainUpgradedWithStls", false, {}, true, true, "PLAIN", 0, false},
        RoundTripCase{"implicitTlsOnAWorkerThread", true, {}, true, true, "PLAIN", 0, true},
        RoundTripCase{"withoutPipelining", false, kNoPipelining, false, false, "PLAIN", 1, false},
        RoundTripCase{"saslLogin",
                      false,
                      {{"STLS", ""}, {"SASL PLAIN LOGIN", "SASL LOGIN"}},
                      true,
                      false,
                      "LOGIN",
                      2,
                      false},
        RoundTripCase{"userPass",
                      false,
                      {{"STLS", ""}, {"SASL PLAIN LOGIN", ""}},
                      true,
                      false,
                      "PLAIN",
                      2,
                      false}),
    [](const auto& info) { return std::string(info.param.name); });

struct RefusedCase {
    const char* name;
    bool implicitTls;
    const char* password;
    bool otherCa;
    bool silent;       // a server that accepts and never says a word
    const char* says;  // part of the error
    // Through a relay that rewrites these server lines, to a server that counts as
    // remote: TLS is then required before any credential.
    QHash<QByteArray, QByteArray> relayLines = {};
};

class Pop3Refused : public Pop3SessionTest, public ::testing::WithParamInterface<RefusedCase> {};

TEST_P(Pop3Refused, OpenFailsAndSaysWhy) {
    const RefusedCase& c = GetParam();
    const QByteArray savedCa = qgetenv("SSL_CERT_FILE");
    if (c.otherCa) qputenv("SSL_CERT_FILE", servers.otherCaFile().toUtf8());
    testutil::SilentServer silent;
    if (c.silent) timeouts = {1, 1};
    std::unique_ptr<Pop3Relay> relay;
    if (!c.relayLines.isEmpty())
        relay =
            std::make_unique<Pop3Relay>(servers.pop3Port, Pop3Relay::Rules{.lines = c.relayLines});
    const int port = relay           ? relay->port
                     : c.silent      ? silent.port
                     : c.implicitTls ? servers.pop3sPort
                                     : servers.pop3Port;
    const QString url =
        QStringLiteral("%1://127.0.0.1:%2").arg(c.implicitTls ? "pop3s" : "pop3").arg(port);
    net::ServerAddress address = *net::ParseServerAddress(url, net::Protocol::Pop3, nullptr);
    address.requireTls = relay != nullptr;
    pop3::Pop3Session box(address, user, c.password, timeouts, limits, &ending);
    const net::Status opened = box.Open();
    qputenv("SSL_CERT_FILE", savedCa);
    ASSERT_FALSE(opened);
    EXPECT_TRUE(opened.error().message.contains(QLatin1String(c.says)))
        << opened.error().message.toStdString();
    EXPECT_TRUE(loginLog(300).isEmpty()) << "no login may happen";
    if (relay) {
        const QByteArray sent = relay->clientBytes();
        for (const char* credential : {"USER", "PASS", "AUTH", "pw"})
            EXPECT_FALSE(sent.contains(credential)) << sent.toStdString();
    }
}

INSTANTIATE_TEST_SUITE_P(
    Faults, Pop3Refused,
    ::testing::Values(
        RefusedCase{"wrongPassword", false, "wrong", false, false, "refused the login"},
        RefusedCase{"untrustedImplicitTls", true, "pw", true, false, "TLS"},
        RefusedCase{"untrustedStlsNeverFallsBackToPlain", false, "pw", true, false, "TLS"},
        RefusedCase{"noGreeting", false, "pw", false, true, "sent nothing for 1 s"},
        RefusedCase{"noTlsHandshake", true, "pw", false, true, "within 1 s"},
        RefusedCase{"stlsHiddenByARemoteServer",
                    false,
                    "pw",
                    false,
                    false,
                    "did not set up encryption (STLS)",
                    {{"STLS", ""}}},
        RefusedCase{"stlsRefusedByARemoteServer",
                    false,
                    "pw",
                    false,
                    false,
                    "refused STLS",
                    {{"+OK Begin TLS negotiation now.", "-ERR not now"}}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(Pop3SessionTest, ARefusedDeleDeletesNothing) {
    deliver({100, 100});
    auto box = session(plainUrl(servers.pop3Port), false);
    ASSERT_TRUE(box->Open());
    const net::Status done = box->DeleteAndQuit({1, 7});
    ASSERT_FALSE(done);
    EXPECT_TRUE(done.error().message.contains("DELE 7")) << done.error().message.toStdString();
    EXPECT_EQ(servers.MailboxCount(user), 2);
}

TEST_F(Pop3SessionTest, AListingCutShortIsAnError) {
    deliver({100, 100, 100});
    // The UIDL reply is cut after its second listing line.
    Pop3Relay relay(
        servers.pop3Port,
        Pop3Relay::Rules{.lines = {{"STLS", ""}}, .cutAfterBytes = 40, .cutAfter = "UIDL"});
    auto box = session(plainUrl(relay.port), false);
    ASSERT_TRUE(box->Open());
    const auto listed = box->List();
    ASSERT_FALSE(listed);
    EXPECT_TRUE(listed.error().message.contains("closed the connection"))
        << listed.error().message.toStdString();
}

enum class Fault { None, CloseInWindow, SilentInWindow, DripInWindow, TooLarge, Ending };
enum class End { DeleteAndQuit, Abort, Destroy };

struct NothingLostCase {
    const char* name;
    Fault fault;
    End end;
    int retrieved;  // NextRetr calls that succeed before the fault
    net::Error::Kind kind;
    const char* says;  // part of the error
};

class Pop3NothingCommitted : public Pop3SessionTest,
                             public ::testing::WithParamInterface<NothingLostCase> {};

// Whatever cuts a session short, the server deletes nothing.
TEST_P(Pop3NothingCommitted, UnlessQuitEndsACompleteSession) {
    const NothingLostCase& c = GetParam();
    deliver({3000, 3000, 3000, 3000, 3000, 3000});
    const qint64 firstReply = delivered[0].size() + 100;  // a status line and dot-stuffing
    Pop3Relay::Rules rules{.lines = {{"STLS", ""}}};
    using AtCut = Pop3Relay::Rules::AtCut;
    const std::map<Fault, AtCut> cuts = {{Fault::CloseInWindow, AtCut::Close},
                                         {Fault::SilentInWindow, AtCut::Silent},
                                         {Fault::DripInWindow, AtCut::Drip}};
    if (cuts.count(c.fault)) {
        rules.cutAfterBytes = firstReply + delivered[1].size() / 2;
        rules.atCut = cuts.at(c.fault);
        // A byte every 400 ms keeps the idle timer quiet: only the deadline of
        // 2 × 1 s + size / rate ends the transfer.
        timeouts.idleSeconds = 1;
        timeouts.minBytesPerSecond = 1'000'000;
    }
    if (c.fault == Fault::TooLarge) limits.maxMessageBytes = 2000;
    Pop3Relay relay(servers.pop3Port, rules);
    auto box = session(plainUrl(relay.port), false);
    ASSERT_TRUE(box->Open());
    auto listed = box->List();
    ASSERT_TRUE(listed);
    ASSERT_TRUE(box->Pipelining());
    for (const pop3::Pop3Listed& entry : listed.value()) box->RequestRetr(entry.number, entry.size);

    int retrieved = 0;
    std::optional<net::Error> error;
    QElapsedTimer clock;
    for (size_t i = 0; i < delivered.size() && !error; ++i) {
        if (c.fault == Fault::Ending && i == 2) ending = true;
        clock.start();
        auto got = box->NextRetr();
        if (got)
            EXPECT_TRUE(got.value() == delivered[retrieved++]);
        else
            error = got.error();
    }
    EXPECT_EQ(retrieved, c.retrieved);
    if (c.fault != Fault::None) {
        ASSERT_TRUE(error);
        EXPECT_EQ(error->kind, c.kind) << error->message.toStdString();
        EXPECT_TRUE(error->message.contains(QLatin1String(c.says))) << error->message.toStdString();
        // Bounded by the deadline (2 × idle here), far from the idle timeout a hang would take.
        EXPECT_LT(clock.elapsed(), 15000);
    }
    if (c.end == End::DeleteAndQuit) {
        EXPECT_FALSE(box->DeleteAndQuit(numbersUpTo(retrieved)));
    }
    if (c.end == End::Abort) box->Abort();
    box.reset();
    EXPECT_EQ(servers.MailboxCount(user), static_cast<int>(delivered.size()));
}

INSTANTIATE_TEST_SUITE_P(
    Ends, Pop3NothingCommitted,
    ::testing::Values(
        NothingLostCase{"abort", Fault::None, End::Abort, 6, {}, ""},
        NothingLostCase{"destroyed", Fault::None, End::Destroy, 6, {}, ""},
        NothingLostCase{"closedInsideWindow", Fault::CloseInWindow, End::DeleteAndQuit, 1,
                        net::Error::Kind::Failed, "closed the connection"},
        NothingLostCase{"silentInsideWindow", Fault::SilentInWindow, End::DeleteAndQuit, 1,
                        net::Error::Kind::Failed, "sent nothing"},
        NothingLostCase{"drippingInsideWindow", Fault::DripInWindow, End::DeleteAndQuit, 1,
                        net::Error::Kind::Failed, "took longer"},
        NothingLostCase{"tooLarge", Fault::TooLarge, End::DeleteAndQuit, 0,
                        net::Error::Kind::TooLarge, "larger than"},
        NothingLostCase{"programEnding", Fault::Ending, End::DeleteAndQuit, 2,
                        net::Error::Kind::Ending, "ending"}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
