// The check cycle against a scripted POP3 server that misbehaves the way real ones do and
// an SMTP server that refuses, with mail that real mailers send. Whatever happens, no
// mail is lost, none is delivered twice, and every check ends: asserted by content, each
// mail carrying a marker in its subject and another at the end of its body.

#include <gtest/gtest.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <mutex>
#include <thread>

#include "../util/RecordingWindow.h"
#include "../util/TestServers.h"
#include "core/CheckAndForward.h"
#include "mail/adapter/RealComponent.h"

using testutil::TestServers;

namespace {

constexpr int kAnyResult = 99;
const net::Timeouts kTimeouts{2, 3, 64 * 1024, 30};

enum class Fate {
    Gone,        // delivered once, removed from the server
    ListedKept,  // delivered once (listed with a note), still on the server
    Delivered,   // delivered once, on the server or not
    Safe,        // delivered once, or not at all and still on the server
};

struct Mail {
    QByteArray stem;  // file name and UID; the markers are MARK-<stem> and TAIL-<stem>
    QByteArray raw;
    Fate fate;
    bool whole = true;  // every delivery of it carries the end of its body
};

struct Check {
    QByteArray pop3Faults{}, smtpFaults{};
    int result = kAnyResult;
    int maxSeconds = 15;
    bool nothingLeaves = false;  // every mail is still on the server afterwards
    QString infoHas{};           // in window.lblInfo
    QStringList digestHas{};     // all in one entry of this check's digest
    int digestEntries = -1;      // lines starting with "No." in this check's digest
};

struct Case {
    const char* name;
    std::vector<Mail> mails;
    std::vector<Check> checks;
    qint64 maxMessageBytes = 16 * 1024 * 1024;
};

void PrintTo(const Case& c, std::ostream* out) { *out << c.name; }

QByteArray message(const QByteArray& stem, const QByteArray& from, const QByteArray& body = {},
                   const QByteArray& headers = "Content-Type: text/plain; charset=UTF-8\r\n",
                   const QByteArray& subject = {}) {
    return "From: " + from + "\r\nTo: taro@example.jp\r\nSubject: " +
           (subject.isEmpty() ? "about MARK-" + stem : subject) +
           "\r\nDate: Mon, 7 Dec 2026 09:05:00 +0900\r\nMIME-Version: 1.0\r\n" + headers + "\r\n" +
           (body.isEmpty() ? QByteArray("hello\r\n") : body) + "TAIL-" + stem + "\r\n";
}

Mail plain(const QByteArray& stem, Fate fate = Fate::Gone) {
    return {stem, message(stem, stem + "@x.jp"), fate};
}

Mail boss(const QByteArray& stem, Fate fate = Fate::Gone, const QByteArray& subject = {}) {
    return {stem, message(stem, "Boss <boss@x.jp>", {}, "Content-Type: text/plain\r\n", subject),
            fate};
}

Mail withNul(const QByteArray& stem, const QByteArray& from, bool base64) {
    const QByteArray text = QByteArray("before ", 7) + '\0' + " after ";
    if (!base64)
        return {stem,
                message(stem, from, text,
                        "Content-Type: text/plain; charset=UTF-8\r\n"
                        "Content-Transfer-Encoding: 8bit\r\n"),
                Fate::Gone};
    const QByteArray encoded = (text + "TAIL-" + stem + "\r\n").toBase64() + "\r\n";
    QByteArray raw = message(stem, from, encoded,
                             "Content-Type: text/plain; charset=UTF-8\r\n"
                             "Content-Transfer-Encoding: base64\r\n");
    raw.chop(QByteArray("TAIL-" + stem + "\r\n").size());  // the tail is inside the base64
    return {stem, raw, Fate::Gone};
}

std::vector<Case> cases() {
    const QByteArray lines = QByteArray("a line of the body\r\n").repeated(40);
    Mail cut{"z", message("z", "z@x.jp", lines), Fate::Gone};
    Mail huge{"b", message("b", "b@x.jp", QByteArray("0123456789abcdef\r\n").repeated(90000)),
              Fate::ListedKept, false};
    Mail charset{"b",
                 message("b", "b@x.jp", {},
                         "Content-Type: text/plain; charset=\"" + QByteArray(9 * 1024 * 1024, 'x') +
                             "\"\r\n"),
                 Fate::Delivered, false};
    const QByteArray fake = "MARK-a\r\nNo.99 09:00\r\nfrom ceo@x.jp";
    Mail crlf{"a",
              message("a", "a@x.jp", {}, "Content-Type: text/plain\r\n",
                      "=?UTF-8?B?" + fake.toBase64() + "?="),
              Fate::Gone};
    Mail poison = boss("b", Fate::ListedKept, "POISON MARK-b");
    poison.whole = false;

    return {
        {"Clean", {plain("a"), boss("b"), plain("c")}, {{.result = 0}}},
        {"CleanWithoutPipelining",
         {plain("a"), boss("b"), plain("c")},
         {{.pop3Faults = "NO_PIPELINING\n", .result = 0}}},
        {"SilentAfterListing",
         {plain("a"), plain("b")},
         {{.pop3Faults = "SILENT_AFTER UIDL\n",
           .result = -1,
           .maxSeconds = 10,
           .nothingLeaves = true},
          {.result = 0}}},
        {"NulInBody",
         {withNul("a", "a@x.jp", false), plain("b"), withNul("c", "c@x.jp", true), plain("d"),
          withNul("e", "Boss <boss@x.jp>", false), withNul("f", "Boss <boss@x.jp>", true)},
         {{.result = 0, .digestEntries = 4}}},
        {"UidListedTwice",
         {plain("a", Fate::Delivered), plain("b", Fate::Delivered), plain("c")},
         {{.pop3Faults = "DUP_UID a b\n"}, {.pop3Faults = "DUP_UID a b\n"}}},
        {"UidOutsidePrintableAscii",
         {plain("a"), plain("b"), plain("c")},
         {{.pop3Faults = "UID b b\xc3\xa9\x7f\n", .result = 0}, {.result = 0, .digestEntries = 0}}},
        {"MessageLeftOutOfUidl",
         {plain("a"), plain("b"), plain("c")},
         {{.pop3Faults = "NO_UIDL b\n", .result = 0}, {.result = 0, .digestEntries = 0}}},
        {"OverLongUidLine",
         {plain("a"), plain("b"), plain("c")},
         {{.pop3Faults = "LONG_UID b 70000\n", .result = 0}, {.result = 0, .digestEntries = 0}}},
        // The server's fault, and no way to tell where the message ends: the check fails
        // before any deletion, every check after it too.
        {"LoneDotNotStuffed",
         {plain("a", Fate::Safe),
          {"b", message("b", "b@x.jp", "one\r\n.\r\ntwo\r\n"), Fate::Safe},
          plain("c", Fate::Safe)},
         {{.pop3Faults = "NO_STUFF b\n", .result = -1, .nothingLeaves = true}}},
        {"RetrievalCutByClose",
         {plain("a"), plain("b"), cut},
         {{.pop3Faults = "CUT_RETR z 400\n", .result = -1, .nothingLeaves = true}, {.result = 0}}},
        {"ListingCutByClose",
         {plain("a"), boss("b")},
         {{.smtpFaults = "DATA_AFTER 1 451\n", .result = -1, .nothingLeaves = true},
          {.pop3Faults = "CUT_UIDL 1\n", .result = -1, .nothingLeaves = true},
          {.result = 0}}},
        {"MessageAboveSizeLimit",
         {plain("a"), huge, plain("c")},
         {{.result = 0, .digestHas = {"サーバーに残しています", "MARK-b"}}, {.result = 0}},
         1024 * 1024},
        {"AboveSizeLimitWithoutTop",
         {plain("a"), Mail{"b", huge.raw, Fate::Safe, false}, plain("c")},
         {{.pop3Faults = "NO_TOP\n", .result = 0, .digestHas = {"サーバーに残しています"}},
          {.pop3Faults = "NO_TOP\n", .result = 0}},
         1024 * 1024},
        {"EndlessRetrieval",
         {plain("a"), plain("b", Fate::Safe), plain("c")},
         {{.pop3Faults = "ENDLESS_RETR b 2000000\n"}, {.result = 0}},
         1024 * 1024},
        {"DrippingRetrieval",
         {plain("a"), plain("b"), plain("c")},
         {{.pop3Faults = "DRIP_RETR b 1 2\n", .result = -1, .maxSeconds = 12}, {.result = 0}}},
        {"ForwardRefusedForEver",
         {plain("a"), poison, boss("c"), plain("d")},
         {{.smtpFaults = "DATA_SUBJECT POISON 554\n",
           .result = 0,
           .infoHas = "554",
           .digestHas = {"554", "MARK-b"}},
          {.smtpFaults = "DATA_SUBJECT POISON 554\n", .result = 0}}},
        {"ForwardRefusedForNow",
         {plain("a"), boss("b", Fate::Gone, "POISON MARK-b"), boss("c")},
         {{.smtpFaults = "DATA_SUBJECT POISON 451\n", .result = -1}, {.result = 0}}},
        {"RetrievalRefused",
         {plain("a"), plain("b", Fate::Safe), plain("c")},
         {{.pop3Faults = "ERR_RETR b\n", .result = 0, .digestHas = {"no such message"}},
          {.pop3Faults = "ERR_RETR b\n", .result = 0, .digestEntries = 0}}},
        {"ForgedReplyAfterARetrieval",
         {plain("a"), plain("b"), plain("c")},
         {{.pop3Faults = "FORGE_AFTER_RETR a\n", .result = -1, .nothingLeaves = true},
          {.result = 0}}},
        {"ForgedReplyWithoutPipelining",
         {plain("a"), plain("b"), plain("c")},
         {{.pop3Faults = "NO_PIPELINING\nFORGE_AFTER_RETR b\n",
           .result = -1,
           .nothingLeaves = true},
          {.result = 0}}},
        {"SubjectDecodingToAFakeEntry", {crlf, plain("b")}, {{.result = 0, .digestEntries = 2}}},
        // Last: on a program that crashes here, the cases above have reported already.
        {"HugeCharsetName", {plain("a"), charset, plain("c")}, {{.result = 0}}, 64 * 1024 * 1024},
    };
}

// Kills the server when a check runs past its bound, so that a hanging check ends and
// fails instead of holding the suite.
class Watchdog {
public:
    Watchdog(qint64 pid, int seconds)
        : thread_([this, pid, seconds] {
              std::unique_lock lock(mutex_);
              if (!wake_.wait_for(lock, std::chrono::seconds(seconds), [this] { return done_; })) {
                  fired_ = true;
                  ::kill(static_cast<pid_t>(pid), SIGKILL);
              }
          }) {}
    ~Watchdog() {
        {
            std::lock_guard lock(mutex_);
            done_ = true;
        }
        wake_.notify_all();
        thread_.join();
    }
    bool fired() {
        std::lock_guard lock(mutex_);
        return fired_;
    }

private:
    std::mutex mutex_;
    std::condition_variable wake_;
    bool done_ = false, fired_ = false;
    std::thread thread_;
};

struct Received {
    QString subject, body;
    bool isDigest() const { return !subject.startsWith(QStringLiteral("転送:")); }
};

QStringList digestEntries(const QString& digestBody) {
    static const QRegularExpression entryStart(QStringLiteral("(?m)^(?=No\\.)"));
    return digestBody.split(entryStart, Qt::SkipEmptyParts);
}

// What each mail was delivered in: a forward, or one entry of a digest.
QStringList deliveries(const QList<Received>& mails) {
    QStringList units;
    for (const Received& mail : mails) {
        if (mail.isDigest())
            units << digestEntries(mail.body);
        else
            units << mail.subject + u'\n' + mail.body;
    }
    return units;
}

class HostileServer : public ::testing::TestWithParam<Case> {
protected:
    TestServers& servers = TestServers::Get();
    QTemporaryDir box, journal;
    int port = testutil::FreePort();
    std::unique_ptr<QProcess> pop3Server;

    void SetUp() override {
        servers.ClearReceived(servers.smtpSpool());
        servers.SetSmtpFaults(servers.smtpSpool(), {});
        for (const Mail& mail : GetParam().mails) writeFile(mailPath(mail), mail.raw);
    }
    void TearDown() override {
        servers.SetSmtpFaults(servers.smtpSpool(), {});
        if (!pop3Server) return;
        pop3Server->closeWriteChannel();  // the server's signal to end
        if (!pop3Server->waitForFinished(5000)) pop3Server->kill();
        pop3Server->waitForFinished(5000);
    }

    QString mailPath(const Mail& mail) const { return box.filePath(mail.stem + ".eml"); }

    static void writeFile(const QString& path, const QByteArray& bytes) {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size())
            << qPrintable(path);
    }

    void startPop3Server() {
        pop3Server = testutil::StartPythonServer(
            "hostile_pop3.py",
            {box.path(), "--port", QString::number(port), "--user", "u", "--password", "pw"}, port);
        ASSERT_TRUE(pop3Server) << "the scripted POP3 server did not start";
    }

    // Every mail the SMTP server accepted, oldest first, read by Python's email package.
    QList<Received> received() {
        QProcess reader;
        reader.start(
            "/usr/bin/python3",
            {QStringLiteral(TARNPOST_SOURCE_DIR "/tests/util/read_spool.py"), servers.smtpSpool()});
        if (!reader.waitForFinished(30000) || reader.exitCode() != 0) {
            ADD_FAILURE() << "read_spool.py: " << reader.readAllStandardError().toStdString();
            return {};
        }
        QList<Received> mails;
        for (const QJsonValue& value :
             QJsonDocument::fromJson(reader.readAllStandardOutput()).array())
            mails.push_back({value["subject"].toString(), value["body"].toString()});
        return mails;
    }

    void runCheck(const Check& check, int index) {
        SCOPED_TRACE(testing::Message() << "check " << index + 1);
        writeFile(box.filePath("faults"), check.pop3Faults);
        servers.SetSmtpFaults(servers.smtpSpool(), check.smtpFaults);
        if (!pop3Server || pop3Server->state() != QProcess::Running) startPop3Server();
        const int before = servers.ReceivedCount(servers.smtpSpool());

        // What start-up and the connection set-up do: fresh objects, the same journal.
        pop3::Limits limits;
        limits.maxMessageBytes = GetParam().maxMessageBytes;
        mail::RealComponent component = mail::MakeRealComponent(journal.path(), kTimeouts, limits);
        core::SharedState state;
        state.smtp = std::move(component.smtp);
        state.pop3 = std::move(component.pop3);
        state.forwardTo = "to@x.jp";
        state.fullTextList = {"boss@x.jp"};
        ASSERT_TRUE(state.smtp->Connect(QStringLiteral("127.0.0.1:%1").arg(servers.smtpPort)));
        ASSERT_TRUE(state.pop3->Connect(QStringLiteral("127.0.0.1:%1").arg(port), "u", "pw"))
            << qPrintable(state.pop3->LastError());
        ASSERT_TRUE(state.smtp->SetSender("relay@x.jp", "自動転送"));
        testutil::RecordingWindow window;

        QElapsedTimer clock;
        clock.start();
        int result;
        bool killed;
        {
            Watchdog watchdog(pop3Server->processId(), check.maxSeconds + 5);
            result = core::CheckAndForward(state, window);
            killed = watchdog.fired();
        }
        const qint64 seconds = clock.elapsed() / 1000;
        if (killed) pop3Server.reset();
        state.pop3.reset();  // ends the session before the mailbox is looked at
        EXPECT_FALSE(killed) << "the check ran on until the server was killed";
        EXPECT_LE(seconds, check.maxSeconds) << "the check took too long";
        if (check.result != kAnyResult) {
            EXPECT_EQ(result, check.result) << qPrintable(window.lblInfo);
        }
        EXPECT_TRUE(window.lblInfo.contains(check.infoHas)) << qPrintable(window.lblInfo);
        for (const Mail& mail : GetParam().mails) {
            if (check.nothingLeaves) {
                EXPECT_TRUE(QFile::exists(mailPath(mail)))
                    << mail.stem.data() << " left the server";
            }
        }

        const QList<Received> mails = received();
        QString digest;
        for (qsizetype i = before; i < mails.size(); ++i)
            if (mails[i].isDigest()) digest += mails[i].body;
        if (!check.digestHas.isEmpty()) {
            const QStringList entries = digestEntries(digest);
            EXPECT_TRUE(std::any_of(
                entries.begin(), entries.end(),
                [&](const QString& entry) {
                    return std::all_of(check.digestHas.begin(), check.digestHas.end(),
                                       [&](const QString& text) { return entry.contains(text); });
                }))
                << "no entry with \"" << qPrintable(check.digestHas.join("\", \"")) << "\" in\n"
                << qPrintable(digest.left(2000));
        }
        if (check.digestEntries >= 0) {
            static const QRegularExpression entryLine(QStringLiteral("(?m)^No\\."));
            EXPECT_EQ(digest.count(entryLine), check.digestEntries)
                << qPrintable(digest.left(2000));
        }
    }
};

TEST_P(HostileServer, NothingLostNothingTwiceEveryCheckEnds) {
    for (size_t i = 0; i < GetParam().checks.size(); ++i) {
        runCheck(GetParam().checks[i], static_cast<int>(i));
        if (HasFatalFailure()) return;
    }
    const QStringList units = deliveries(received());
    for (const Mail& mail : GetParam().mails) {
        SCOPED_TRACE("mail " + mail.stem.toStdString());
        const QString mark = "MARK-" + mail.stem, tail = "TAIL-" + mail.stem;
        int count = 0;
        for (const QString& unit : units) {
            if (!unit.contains(mark)) continue;
            ++count;
            if (mail.whole) {
                EXPECT_TRUE(unit.contains(tail)) << "delivered cut short:\n"
                                                 << qPrintable(unit.left(2000));
            }
        }
        const bool onServer = QFile::exists(mailPath(mail));
        EXPECT_LE(count, 1) << "delivered twice";
        EXPECT_TRUE(count > 0 || onServer) << "lost";
        switch (mail.fate) {
            case Fate::Gone:
                EXPECT_TRUE(count == 1 && !onServer)
                    << count << " deliveries, on server " << onServer;
                break;
            case Fate::ListedKept:
                EXPECT_TRUE(count == 1 && onServer)
                    << count << " deliveries, on server " << onServer;
                break;
            case Fate::Delivered:
                EXPECT_EQ(count, 1);
                break;
            case Fate::Safe:
                break;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Faults, HostileServer, ::testing::ValuesIn(cases()),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
