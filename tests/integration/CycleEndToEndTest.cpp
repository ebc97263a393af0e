// The check cycle with the real component against Dovecot and aiosmtpd.

#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <tuple>

#include "../util/Pop3Relay.h"
#include "../util/QtPrinters.h"
#include "../util/RecordingWindow.h"
#include "../util/TestServers.h"
#include "core/CheckAndForward.h"
#include "mail/adapter/RealComponent.h"
#include "mail/mime/MessageReader.h"

using testutil::TestServers;

namespace {

QByteArray mail(const QByteArray& from, const QByteArray& subject, const QByteArray& date,
                const QByteArray& rest) {
    return "From: " + from + "\r\nTo: taro@example.jp\r\nSubject: " + subject +
           "\r\nDate: " + date + "\r\nMIME-Version: 1.0\r\n" + rest;
}

const QByteArray kWithAttachment = mail(
    "Boss <boss@x.jp>", "=?UTF-8?B?6Iez5oCl?=", "Mon, 7 Dec 2026 08:00:00 +0900",
    "Content-Type: multipart/mixed; boundary=\"b1\"\r\n\r\n"
    "--b1\r\nContent-Type: text/plain; charset=UTF-8\r\nContent-Transfer-Encoding: base64\r\n\r\n"
    "5YWo5paH44Gn44GZ\r\n"
    "--b1\r\nContent-Type: application/pdf; name=\"a.pdf\"\r\n"
    "Content-Disposition: attachment; filename=\"a.pdf\"\r\nContent-Transfer-Encoding: "
    "base64\r\n\r\n"
    "JVBERi0=\r\n--b1--\r\n");

class CycleEndToEnd : public ::testing::Test {
protected:
    TestServers& servers = TestServers::Get();
    QTemporaryDir folder;
    QString user;
    core::SharedState state;
    testutil::RecordingWindow window;

    void SetUp() override {
        static int n = 0;
        user = QStringLiteral("cycle%1").arg(++n);
        servers.AddUser(user, "pw");
        servers.ClearReceived(servers.smtpSpool());
        servers.SetSmtpFaults(servers.smtpSpool(), {});
        state.forwardTo = "to@x.jp";
        state.fullTextList = {"boss@x.jp", "@partner.jp"};
        state.rejectList = {"spam@x.jp"};
        state.maxBodyChars = 10;
    }

    // What start-up and the connection set-up do, with fresh objects (a new process). The
    // first check after it may use the set-up's POP3 session, whose mailbox is what it was
    // at the set-up: tests start the program once the mail is there.
    void startProgram(int pop3Port = 0, net::Timeouts timeouts = {5, 5}) {
        mail::RealComponent made = mail::MakeRealComponent(folder.path(), timeouts);
        state.smtp = std::move(made.smtp);
        state.pop3 = std::move(made.pop3);
        ASSERT_TRUE(state.smtp->Connect(QStringLiteral("127.0.0.1:%1").arg(servers.smtpPort)));
        ASSERT_TRUE(state.pop3->Connect(
            QStringLiteral("127.0.0.1:%1").arg(pop3Port ? pop3Port : servers.pop3Port), user,
            "pw"));
        ASSERT_TRUE(state.smtp->SetSender("relay@x.jp", "自動転送"));
    }

    QList<mime::ReadMail> received() {
        QList<mime::ReadMail> mails;
        for (const QByteArray& raw : servers.Received(servers.smtpSpool()))
            mails << mime::ReadMessage(raw, QDateTime::currentDateTime());
        return mails;
    }
};

TEST_F(CycleEndToEnd, ForwardsWholeListsTheRestAndEmptiesTheMailbox) {
    servers.Deliver(user, kWithAttachment);
    servers.Deliver(user, mail("=?ISO-2022-JP?B?GyRCOzNFRBsoQg==?= <spam@x.jp>", "buy",
                               "Mon, 7 Dec 2026 09:05:00 +0900", "\r\nspam\r\n"));
    servers.Deliver(user, mail("p@partner.jp", "partner", "Mon, 7 Dec 2026 09:10:00 +0900",
                               "Content-Type: text/plain; charset=ISO-2022-JP\r\n\r\n"
                               "\x1b$B$3$s$K$A$O\x1b(B\r\n"));
    servers.Deliver(user, mail("\"Taro Yamada\" <taro@x.jp>", "=?ISO-2022-JP?B?GyRCMnE1RBsoQg==?=",
                               "Mon, 7 Dec 2026 23:59:00 -0500",
                               "Content-Type: text/plain; charset=Shift_JIS\r\n"
                               "Content-Transfer-Encoding: 8bit\r\n\r\n"
                               "\x96\x7b\x93\xfa\x82\xcd\x90\xb0\x82\xea\x82\xc5\x82\xb7\x81\x42"
                               "\x96\xbe\x93\xfa\x82\xe0\r\n"));
    // No display name: the "from" line shows an empty name, then the address.
    servers.Deliver(user, mail("same@x.jp", "html only", "Tue, 8 Dec 2026 07:01 +0900",
                               "Content-Type: text/html; charset=UTF-8\r\n\r\n"
                               "<p>Hi&nbsp;&amp;<br>bye</p>\r\n"));

    startProgram();
    ASSERT_EQ(core::CheckAndForward(state, window), 0);
    const auto mails = received();
    ASSERT_EQ(mails.size(), 3);
    EXPECT_EQ(mails[0].subject, "転送:至急");
    EXPECT_EQ(mails[0].body, "1個の添付ファイル\r\n全文です");
    EXPECT_EQ(mails[1].subject, "転送:partner");
    EXPECT_EQ(mails[1].body, "こんにちは\r\n");
    EXPECT_EQ(mails[2].subject, "5件のメール(2件全文)");
    EXPECT_EQ(mails[2].displayName, "自動転送");
    EXPECT_EQ(
        mails[2].body,
        "No.1 09:05\r\nfrom 山田 spam@x.jp\r\n転送拒否\r\n"
        "No.2 23:59\r\nfrom Taro Yamada taro@x.jp\r\n会議\r\n-TEXT-\r\n本日は晴れです。明日\r\n"
        "No.3 07:01\r\nfrom  same@x.jp\r\nhtml only\r\n-TEXT-\r\nHi\u00a0&\r\nbye\r\n");
    EXPECT_EQ(window.lblInfo, "5件のメール(2件全文)を転送しました");
    EXPECT_EQ(state.forwardedCount, 4);
    EXPECT_EQ(servers.MailboxCount(user), 0);

    servers.ClearReceived(servers.smtpSpool());
    EXPECT_EQ(core::CheckAndForward(state, window), 0);
    EXPECT_TRUE(received().isEmpty()) << "a second cycle finds no new mail";
}

TEST_F(CycleEndToEnd, AWholeForwardCarriesTheAttachedFilesByteForByte) {
    QByteArray binary;
    for (int i = 0; i < 3000; ++i) binary += char(i * 7 % 256);
    const auto base64Lines = [](const QByteArray& bytes) {
        QByteArray out;
        for (const QByteArray encoded = bytes.toBase64(); out.size() * 76 / 78 < encoded.size();)
            out += encoded.mid(out.size() * 76 / 78, 76) + "\r\n";
        return out;
    };
    const QByteArray note = "line one\r\nline two = three";  // its last CR LF is the boundary's
    servers.Deliver(user,
                    mail("Boss <boss@x.jp>", "files", "Mon, 7 Dec 2026 08:00:00 +0900",
                         "Content-Type: multipart/mixed; boundary=\"b1\"\r\n\r\n"
                         "--b1\r\nContent-Type: text/plain; charset=UTF-8\r\n\r\nsee the files\r\n"
                         "--b1\r\nContent-Type: application/pdf; name=\"a.pdf\"\r\n"
                         "Content-Disposition: attachment; filename=\"a.pdf\"\r\n"
                         "Content-Transfer-Encoding: base64\r\n\r\n" +
                             base64Lines(binary) +
                             "--b1\r\nContent-Type: text/plain; charset=UTF-8\r\n"
                             "Content-Disposition: attachment; filename=\"note.txt\"\r\n"
                             "Content-Transfer-Encoding: quoted-printable\r\n\r\n"
                             "line one\r\nline two =3D three\r\n"
                             "--b1\r\nContent-Type: application/vnd.ms-excel\r\n"
                             "Content-Disposition: attachment;\r\n"
                             " filename*=UTF-8''%E8%A6%8B%E7%A9%8D%E6%9B%B8.xls\r\n"
                             "Content-Transfer-Encoding: base64\r\n\r\n" +
                             base64Lines(binary.left(100)) + "--b1--\r\n"));
    startProgram();
    ASSERT_EQ(core::CheckAndForward(state, window), 0);

    QProcess reader;  // Python's email package reads what arrived
    reader.start(
        "/usr/bin/python3",
        {QStringLiteral(TARNPOST_SOURCE_DIR "/tests/util/read_spool.py"), servers.smtpSpool()});
    ASSERT_TRUE(reader.waitForFinished(30000));
    const QJsonArray mails = QJsonDocument::fromJson(reader.readAllStandardOutput()).array();
    ASSERT_EQ(mails.size(), 1);
    const QJsonObject forward = mails[0].toObject();
    EXPECT_EQ(forward["subject"].toString(), "転送:files");
    EXPECT_EQ(forward["body"].toString(), "3個の添付ファイル\r\nsee the files");
    EXPECT_EQ(forward["replyTo"].toString(), "Boss <boss@x.jp>");
    const QJsonArray files = forward["attachments"].toArray();
    ASSERT_EQ(files.size(), 3);
    const std::tuple<QString, QString, QByteArray> expected[] = {
        {"a.pdf", "application/pdf", binary},
        {"note.txt", "text/plain", note},
        {"見積書.xls", "application/vnd.ms-excel", binary.left(100)}};
    for (int i = 0; i < 3; ++i) {
        const QJsonObject file = files[i].toObject();
        EXPECT_EQ(file["name"].toString(), std::get<0>(expected[i]));
        EXPECT_EQ(file["type"].toString(), std::get<1>(expected[i]));
        EXPECT_EQ(QByteArray::fromBase64(file["data"].toString().toLatin1()),
                  std::get<2>(expected[i]))
            << i;
    }
}

TEST_F(CycleEndToEnd, ACheckUsesOneConnectionPerServer) {
    const auto deliver = [&](int count) {
        for (int i = 0; i < count; ++i)
            servers.Deliver(user, i == 0 ? kWithAttachment
                                         : mail("a@x.jp", "m" + QByteArray::number(i),
                                                "Mon, 7 Dec 2026 09:05:00 +0900", "\r\nbody\r\n"));
    };
    const auto connections = [&] {
        return std::pair(servers.Pop3Logins(user), servers.SmtpConnections(servers.smtpSpool()));
    };
    deliver(5);
    const auto beforeSetUp = connections();
    startProgram();
    ASSERT_EQ(core::CheckAndForward(state, window), 0);
    EXPECT_EQ(received().size(), 2);
    const auto afterFirst = connections();
    EXPECT_EQ(afterFirst.first - beforeSetUp.first, 1)
        << "the set-up's log-in serves the first check";
    EXPECT_EQ(afterFirst.second - beforeSetUp.second, 1);

    deliver(5);
    ASSERT_EQ(core::CheckAndForward(state, window), 0);
    EXPECT_EQ(received().size(), 4);
    EXPECT_EQ(connections().first - afterFirst.first, 1);
    EXPECT_LE(connections().second - afterFirst.second, 1)
        << "the forward and the digest share the connection";
}

TEST_F(CycleEndToEnd, ARefusedDigestLeavesItsMailsForTheNextCycle) {
    servers.Deliver(user, kWithAttachment);
    servers.Deliver(user,
                    mail("a@x.jp", "listed", "Mon, 7 Dec 2026 09:05:00 +0900", "\r\nbody\r\n"));
    servers.SetSmtpFaults(servers.smtpSpool(), "DATA_AFTER 1 451\n");

    startProgram();
    EXPECT_EQ(core::CheckAndForward(state, window), -1);
    EXPECT_EQ(received().size(), 1) << "the whole forward went out, the digest did not";
    EXPECT_EQ(servers.MailboxCount(user), 2) << "nothing leaves the server before delivery";

    // The process is restarted and the server accepts again.
    servers.SetSmtpFaults(servers.smtpSpool(), {});
    startProgram();
    EXPECT_EQ(core::CheckAndForward(state, window), 0);
    const auto mails = received();
    ASSERT_EQ(mails.size(), 2) << "the whole forward is not sent twice";
    EXPECT_EQ(mails[1].subject, "1件のメール");
    EXPECT_TRUE(mails[1].body.startsWith("No.1 09:05\r\nfrom  a@x.jp\r\nlisted\r\n"));
    EXPECT_EQ(servers.MailboxCount(user), 0);
}

TEST_F(CycleEndToEnd, ADigestRefusedForGoodKeepsOnlyTheRefusedMailOnTheServer) {
    state.fullTextList.clear();
    for (const char* subject : {"one", "two", "marked", "four", "five"})
        servers.Deliver(
            user, mail("a@x.jp", subject, "Mon, 7 Dec 2026 09:05:00 +0900",
                       QByteArray("\r\n") + (qstrcmp(subject, "marked") ? "fine" : "FILTER-ME") +
                           "\r\n"));
    servers.SetSmtpFaults(servers.smtpSpool(), "DATA_BODY FILTER-ME 554\n");
    startProgram();
    ASSERT_EQ(core::CheckAndForward(state, window), 0);
    QString listed;
    for (const mime::ReadMail& digest : received()) listed += digest.body;
    for (const char* other : {"one", "two", "four", "five"})
        EXPECT_EQ(listed.count(QStringLiteral("\r\n%1\r\n").arg(other)), 1) << other;
    EXPECT_TRUE(window.lblInfo.contains("No.3 a@x.jp marked")) << window.lblInfo.toStdString();
    EXPECT_TRUE(window.lblInfo.contains("554")) << window.lblInfo.toStdString();
    EXPECT_EQ(servers.MailboxCount(user), 1) << "only the refused mail stays";

    // The next start remembers it: later mail goes through in one digest without it.
    servers.ClearReceived(servers.smtpSpool());
    servers.Deliver(user, mail("b@x.jp", "later", "Mon, 7 Dec 2026 10:00:00 +0900", "\r\nok\r\n"));
    startProgram();
    ASSERT_EQ(core::CheckAndForward(state, window), 0);
    ASSERT_EQ(received().size(), 1);
    EXPECT_EQ(received()[0].subject, "1件のメール");
    EXPECT_EQ(servers.MailboxCount(user), 1);
}

// A backlog commits a thousand mails at a time; a session that dies right after the
// first digest was accepted (the deletions sent, no QUIT: the server keeps them all)
// and a new start lose nothing and list nothing twice.
TEST_F(CycleEndToEnd, ABacklogGoesThroughAThousandMailsAtATimeAndListsEachOnce) {
    constexpr int kMails = 2500;
    state.fullTextList.clear();
    for (int i = 0; i < kMails; ++i)
        servers.Deliver(user, mail("a@x.jp", "m" + QByteArray::number(i),
                                   "Mon, 7 Dec 2026 09:05:00 +0900", "\r\nbody\r\n"));
    // In plain text (STLS hidden), so that the relay sees the commands.
    testutil::Pop3Relay dying(servers.pop3Port, {.lines = {{"STLS", ""}},
                                                 .cutAfterBytes = 0,
                                                 .cutAfter = "DELE ",
                                                 .cutFirstConnectionOnly = true});
    startProgram(dying.port, {30, 30});
    ASSERT_EQ(core::CheckAndForward(state, window), 0);
    EXPECT_EQ(state.moreMailWaiting, core::kTrue);
    EXPECT_EQ(servers.MailboxCount(user), kMails) << "the deletions were not committed";
    startProgram(dying.port, {30, 30});
    for (int check = 0; check < 4 && state.moreMailWaiting; ++check) {
        state.moreMailWaiting = core::kFalse;
        ASSERT_EQ(core::CheckAndForward(state, window), 0);
    }
    EXPECT_EQ(state.moreMailWaiting, core::kFalse);
    EXPECT_EQ(servers.MailboxCount(user), 0);
    QStringList subjects;
    QHash<QString, int> listed;
    static const QRegularExpression entrySubject(QStringLiteral("\r\n(m\\d+)\r\n-TEXT-"));
    for (const mime::ReadMail& digest : received()) {
        subjects << digest.subject;
        for (const auto& match : entrySubject.globalMatch(digest.body)) ++listed[match.captured(1)];
    }
    EXPECT_EQ(subjects, (QStringList{"1000件のメール", "1000件のメール", "500件のメール"}));
    EXPECT_EQ(listed.size(), kMails);
    EXPECT_EQ(std::count_if(listed.cbegin(), listed.cend(), [](int n) { return n != 1; }), 0);
}

TEST_F(CycleEndToEnd, ADroppedPop3SessionLosesNothing) {
    // Large enough that the retrieval window cannot hold them all when the server goes.
    const QByteArray body = QByteArray(998, 'x') + "\r\n";
    for (int i = 0; i < 5; ++i)
        servers.Deliver(user, mail("a@x.jp", "m" + QByteArray::number(i),
                                   "Mon, 7 Dec 2026 09:05:00 +0900", "\r\n" + body.repeated(3000)));
    window.onEvents = [&](int n) {
        if (n == 1) servers.KillPop3Sessions();
    };
    startProgram();
    EXPECT_EQ(core::CheckAndForward(state, window), -1);
    window.onEvents = nullptr;
    EXPECT_TRUE(received().isEmpty());
    EXPECT_EQ(servers.MailboxCount(user), 5);

    startProgram();
    EXPECT_EQ(core::CheckAndForward(state, window), 0);
    ASSERT_EQ(received().size(), 1);
    EXPECT_EQ(received()[0].subject, "5件のメール");
    EXPECT_EQ(servers.MailboxCount(user), 0);
}

TEST_F(CycleEndToEnd, APop3ServerRestartedBetweenCyclesIsNoTrouble) {
    servers.Deliver(user,
                    mail("a@x.jp", "before", "Mon, 7 Dec 2026 09:05:00 +0900", "\r\nbody\r\n"));
    startProgram();
    ASSERT_EQ(core::CheckAndForward(state, window), 0);
    servers.StopDovecot();
    servers.StartDovecot();
    servers.Deliver(user,
                    mail("a@x.jp", "after", "Mon, 7 Dec 2026 09:06:00 +0900", "\r\nbody\r\n"));
    ASSERT_EQ(core::CheckAndForward(state, window), 0) << "each cycle opens its own session";
    const auto mails = received();
    ASSERT_EQ(mails.size(), 2);
    EXPECT_TRUE(mails[1].body.contains("after"));
    EXPECT_EQ(servers.MailboxCount(user), 0);
}

}  // namespace
