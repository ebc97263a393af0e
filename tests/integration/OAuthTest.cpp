// Token log-in as a user meets it, against the suite's own authorization server and a
// Dovecot that validates its tokens: the sign-in command (scripted browser, headless
// Chromium, device flow), the relay that follows, refreshes, a revoked sign-in, where
// the tokens are kept, and that no token reaches a log.

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>
#include <mutex>

#include "../util/Eventually.h"
#include "../util/OAuthServers.h"
#include "../util/TestServers.h"
#include "mail/adapter/RealComponent.h"

using testutil::OAuthServers;
using testutil::TestServers;

namespace {

// Every log line the component writes during a test.
QStringList* capturedLog = nullptr;
std::mutex capturedLogLock;
void captureLog(QtMsgType, const QMessageLogContext&, const QString& text) {
    std::lock_guard<std::mutex> hold(capturedLogLock);
    if (capturedLog) *capturedLog << text;
}

QString uniqueUser() {
    static int n = 0;
    return QStringLiteral("oauth%1").arg(++n);
}

class OAuthSignIn : public ::testing::Test {
protected:
    TestServers& servers = TestServers::Get();
    OAuthServers& oauth = OAuthServers::Get();
    QTemporaryDir folder;
    QString user = uniqueUser();
    QStringList log;
    int pop3Port = oauth.pop3Port;
    QString smtpSetting;  // in the settings when set

    void SetUp() override {
        servers.AddUser(user, "unused");
        oauth.SetConfig({});
        qputenv("XDG_STATE_HOME", state().toUtf8());
        qunsetenv("DBUS_SESSION_BUS_ADDRESS");  // no keyring: the file is the store
        capturedLog = &log;
        qInstallMessageHandler(captureLog);
    }
    void TearDown() override {
        qInstallMessageHandler(nullptr);
        std::lock_guard<std::mutex> hold(capturedLogLock);
        capturedLog = nullptr;
    }

    QString state() const { return folder.filePath("state"); }
    QString tokenFile() const { return state() + "/tarnpost/tokens.json"; }
    QString pop3Setting() const {
        return QStringLiteral("pop3+oauth2://127.0.0.1:%1").arg(pop3Port);
    }
    QString settingsFile() {
        const QString path = folder.filePath("Tarnpost.ini");
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(QStringLiteral("POP3,%1\r\nUSER_NAME,%2\r\nPASSWD,any\r\n")
                       .arg(pop3Setting(), user)
                       .toUtf8());
        if (!smtpSetting.isEmpty()) file.write(("SMTP," + smtpSetting + "\r\n").toUtf8());
        return path;
    }
    QProcessEnvironment environment(const QString& browser) const {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("XDG_STATE_HOME", state());
        env.insert("HOME", folder.path());
        env.remove("DBUS_SESSION_BUS_ADDRESS");
        env.remove("DISPLAY");
        env.remove("WAYLAND_DISPLAY");
        if (browser.isEmpty())
            env.remove("BROWSER");
        else
            env.insert("BROWSER", browser);
        return env;
    }
    static QString scriptedBrowser() {
        return QStringLiteral("/usr/bin/python3 " TARNPOST_SOURCE_DIR
                              "/tests/util/scripted_browser.py");
    }
    // Runs tarnpost --sign-in to its end; its exit code, with what it wrote in output.
    int signIn(const QProcessEnvironment& env, QByteArray* output = nullptr,
               const QStringList& extra = {}) {
        QProcess process;
        process.setProcessEnvironment(env);
        process.setProcessChannelMode(QProcess::MergedChannels);
        process.start(TARNPOST_BINARY, QStringList{"--sign-in", "--settings", settingsFile(),
                                                   "--oauth-provider", oauth.ProviderFile()} +
                                           extra);
        EXPECT_TRUE(process.waitForFinished(120000));
        if (output) *output = process.readAll();
        return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    }
    QJsonObject storedToken() const {
        QFile file(tokenFile());
        if (!file.open(QIODevice::ReadOnly)) return {};
        const QJsonObject all = QJsonDocument::fromJson(file.readAll()).object();
        return all.isEmpty() ? QJsonObject{} : all.begin()->toObject();
    }
    // A check's set-up and listing, as the program makes them.
    std::int32_t connectAndList(mail::RealComponent& component) {
        if (!component.pop3->Connect(pop3Setting(), user, "any")) return -100;
        return component.pop3->RecvMail();
    }
    mail::RealComponent component() {
        return mail::MakeRealComponent(folder.path(), net::Timeouts{5, 5});
    }
    void expectNoTokenIn(const QByteArray& text) const {
        const QJsonObject token = storedToken();
        ASSERT_FALSE(token["access_token"].toString().isEmpty());
        EXPECT_FALSE(text.contains(token["access_token"].toString().toUtf8()));
        EXPECT_FALSE(text.contains(token["refresh_token"].toString().toUtf8()));
        EXPECT_FALSE(text.contains(".eyJ"));  // no JWT of any sign-in at all
    }
};

TEST_F(OAuthSignIn, SignInWithTheBrowserThenRelayOverDovecot) {
    QByteArray output;
    ASSERT_EQ(signIn(environment(scriptedBrowser()), &output), 0) << output.toStdString();
    EXPECT_EQ(QFileInfo(tokenFile()).permissions() & 0x0077, 0) << "group or others can read";
    EXPECT_TRUE(QFileInfo(tokenFile()).permissions() & QFileDevice::ReadOwner);
    expectNoTokenIn(output);
    EXPECT_EQ(oauth.TokenRequests("authorization_code"), 1);

    servers.Deliver(user, "From: a@x.jp\r\nSubject: one\r\n\r\nfirst\r\n");
    servers.ClearReceived(servers.smtpSpool());
    mail::RealComponent relay = component();
    ASSERT_TRUE(relay.smtp->Connect(QStringLiteral("smtp://127.0.0.1:%1").arg(servers.smtpPort)));
    ASSERT_TRUE(relay.smtp->SetSender("relay@x.jp", "relay"));
    ASSERT_EQ(connectAndList(relay), 1) << relay.pop3->LastError().toStdString();
    QString body;
    ASSERT_GT(relay.pop3->OpenNewMail(body), 0) << relay.pop3->LastError().toStdString();
    relay.smtp->ClearMail();
    EXPECT_TRUE(relay.smtp->SetRecipient(1, "to@x.jp", {}) && relay.smtp->SetSubject("one") &&
                relay.smtp->SetDetail(body) && relay.smtp->Mail());
    EXPECT_EQ(servers.ReceivedCount(servers.smtpSpool()), 1);
    // The body as the forward carries it, in base64.
    EXPECT_TRUE(servers.Received(servers.smtpSpool()).value(0).contains("Zmlyc3QNCg=="));
    EXPECT_EQ(oauth.Pop3Logins(user), 1);
    expectNoTokenIn(log.join('\n').toUtf8());
    EXPECT_TRUE(log.join('\n').contains(tokenFile())) << "the file fallback is logged";
}

// Dovecot treats 127.0.0.1 as secure before STLS; a server that offers no STLS must get
// no token, loopback or not.
TEST_F(OAuthSignIn, NoTokenCrossesBeforeTls) {
    QTemporaryDir box;
    pop3Port = testutil::FreePort();
    auto server = testutil::StartPythonServer(
        "hostile_pop3.py", {box.path(), "--port", QString::number(pop3Port)}, pop3Port);
    ASSERT_TRUE(server);
    ASSERT_EQ(signIn(environment(scriptedBrowser())), 0);
    mail::RealComponent relay = component();
    EXPECT_FALSE(relay.pop3->Connect(pop3Setting(), user, "any"));
    EXPECT_TRUE(relay.pop3->LastError().contains("STLS")) << relay.pop3->LastError().toStdString();
    QFile commands(box.filePath("log"));
    ASSERT_TRUE(commands.open(QIODevice::ReadOnly));
    const QByteArray sent = commands.readAll();
    EXPECT_TRUE(sent.contains("CAPA"));
    EXPECT_FALSE(sent.contains("AUTH")) << sent.toStdString();
    server->closeWriteChannel();
    server->waitForFinished(5000);
}

// The sending account signs in beside the mailbox and sends with its own token, over
// STARTTLS, in the two-step form.
TEST_F(OAuthSignIn, TheSmtpAccountSendsWithItsToken) {
    smtpSetting = QStringLiteral("smtp+oauth2://%1@127.0.0.1:%2")
                      .arg(QLatin1String(OAuthServers::kSmtpUser))
                      .arg(oauth.smtpPort);
    const int before = static_cast<int>(oauth.SmtpAuthLog().size());
    ASSERT_EQ(signIn(environment(scriptedBrowser())), 0);
    mail::RealComponent relay = component();
    ASSERT_TRUE(relay.smtp->Connect(smtpSetting)) << relay.smtp->LastError().toStdString();
    ASSERT_TRUE(relay.smtp->SetSender("relay@x.jp", {}));
    EXPECT_TRUE(relay.smtp->SetRecipient(1, "to@x.jp", {}) && relay.smtp->SetSubject("s") &&
                relay.smtp->SetDetail("token\r\n") && relay.smtp->Mail())
        << relay.smtp->LastError().toStdString();
    EXPECT_EQ(oauth.SmtpAuthLog().mid(before), QList<QByteArray>{"OAUTHBEARER challenge ok"});
    expectNoTokenIn(log.join('\n').toUtf8());
}

TEST_F(OAuthSignIn, AnExpiredAccessTokenAtStartUpIsRefreshedFirst) {
    oauth.SetConfig(R"({"lifetime": 2})");
    ASSERT_EQ(signIn(environment(scriptedBrowser())), 0);
    const QString firstRefresh = storedToken()["refresh_token"].toString();
    QThread::sleep(3);  // Dovecot would refuse the stored one now
    const int before = oauth.TokenRequests("refresh_token");
    oauth.SetConfig({});
    mail::RealComponent relay = component();
    EXPECT_EQ(connectAndList(relay), 0) << relay.pop3->LastError().toStdString();
    EXPECT_EQ(oauth.TokenRequests("refresh_token") - before, 1);
    // The rotated refresh token was stored: the old one is refused from now on.
    EXPECT_NE(storedToken()["refresh_token"].toString(), firstRefresh);
}

TEST_F(OAuthSignIn, ATokenRunningOutDuringARunIsRefreshedBeforeTheNextLogIn) {
    oauth.SetConfig(R"({"lifetime": 64})");  // refreshed once fewer than 60 s are left
    ASSERT_EQ(signIn(environment(scriptedBrowser())), 0);
    oauth.SetConfig({});
    const int before = oauth.TokenRequests("refresh_token");
    mail::RealComponent relay = component();
    ASSERT_EQ(connectAndList(relay), 0) << relay.pop3->LastError().toStdString();
    EXPECT_EQ(oauth.TokenRequests("refresh_token"), before) << "a fresh token needs no refresh";
    QThread::sleep(5);
    EXPECT_EQ(relay.pop3->RecvMail(), 0) << relay.pop3->LastError().toStdString();
    EXPECT_EQ(oauth.TokenRequests("refresh_token") - before, 1);
    EXPECT_EQ(oauth.Pop3Logins(user), 2);
}

TEST_F(OAuthSignIn, ARevokedSignInFailsTheCheckWithoutHammeringTheEndpoint) {
    oauth.SetConfig(R"({"lifetime": 2})");
    ASSERT_EQ(signIn(environment(scriptedBrowser())), 0);
    oauth.RevokeUser(user);
    QThread::sleep(3);
    const int before = oauth.TokenRequests();
    mail::RealComponent relay = component();
    for (int check = 0; check < 5; ++check) {
        EXPECT_FALSE(relay.pop3->Connect(pop3Setting(), user, "any"));
        EXPECT_TRUE(relay.pop3->LastFailureAuthentication());
        EXPECT_TRUE(relay.pop3->LastError().contains("tarnpost --sign-in"))
            << relay.pop3->LastError().toStdString();
    }
    EXPECT_EQ(oauth.TokenRequests() - before, 1) << "the refused refresh token is not tried again";
    EXPECT_EQ(oauth.Pop3Logins(user), 0);
    EXPECT_TRUE(log.join('\n').contains("sign in again"));
}

TEST_F(OAuthSignIn, TheDeviceFlowShowsACodeAndPollsUntilItIsApproved) {
    QProcess process;
    process.setProcessEnvironment(environment(QString()));
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(TARNPOST_BINARY, {"--sign-in", "--device", "--settings", settingsFile(),
                                    "--oauth-provider", oauth.ProviderFile()});
    QByteArray output;
    QString code;
    ASSERT_TRUE(testutil::Eventually(
        [&] {
            process.waitForReadyRead(200);
            output += process.readAll();
            const qsizetype at = output.indexOf("enter the code ");
            if (at >= 0) code = QString::fromLatin1(output.mid(at + 15, 9));
            return !code.isEmpty();
        },
        20))
        << output.toStdString();
    QThread::sleep(2);  // a poll or two while the user types the code
    ASSERT_TRUE(oauth.ApproveDevice(code, user));
    ASSERT_TRUE(process.waitForFinished(30000));
    output += process.readAll();
    EXPECT_EQ(process.exitCode(), 0) << output.toStdString();
    EXPECT_TRUE(output.contains(oauth.baseUrl().toUtf8() + "/device"));
    expectNoTokenIn(output);
    mail::RealComponent relay = component();
    EXPECT_EQ(connectAndList(relay), 0) << relay.pop3->LastError().toStdString();
}

TEST_F(OAuthSignIn, ARealHeadlessChromiumDrivesTheBrowserStep) {
    if (QStandardPaths::findExecutable("chromium").isEmpty()) GTEST_SKIP() << "no chromium";
    const QString browser =
        QStringLiteral(
            "chromium --headless --no-sandbox --disable-gpu --ignore-certificate-errors "
            "--user-data-dir=%1 --dump-dom")
            .arg(folder.filePath("chromium"));
    QByteArray output;
    ASSERT_EQ(signIn(environment(browser), &output), 0) << output.toStdString();
    mail::RealComponent relay = component();
    EXPECT_EQ(connectAndList(relay), 0) << relay.pop3->LastError().toStdString();
}

TEST_F(OAuthSignIn, TokensGoToTheKeyringWhenOneAnswersOnTheSessionBus) {
    for (const char* tool : {"dbus-run-session", "gnome-keyring-daemon"})
        if (QStandardPaths::findExecutable(tool).isEmpty()) GTEST_SKIP() << "no " << tool;
    QProcess process;
    QProcessEnvironment env = environment(scriptedBrowser());
    env.insert("XDG_DATA_HOME", folder.filePath("data"));
    process.setProcessEnvironment(env);
    process.setProcessChannelMode(QProcess::MergedChannels);
    // A private bus with an unlocked keyring of its own, then the sign-in on it.
    const QString script = QStringLiteral(
        "echo -n test | gnome-keyring-daemon --unlock --components=secrets >/dev/null && "
        "exec \"$0\" --sign-in --settings \"$1\" --oauth-provider \"$2\"");
    process.start("dbus-run-session", {"--", "sh", "-c", script, TARNPOST_BINARY, settingsFile(),
                                       oauth.ProviderFile()});
    ASSERT_TRUE(process.waitForFinished(120000));
    const QByteArray output = process.readAll();
    ASSERT_EQ(process.exitCode(), 0) << output.toStdString();
    EXPECT_TRUE(output.contains("tokens kept in the keyring")) << output.toStdString();
    EXPECT_FALSE(QFile::exists(tokenFile()));
    EXPECT_FALSE(output.contains(".eyJ"));
}

}  // namespace
