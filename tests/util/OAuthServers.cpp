#include "OAuthServers.h"

#include <pwd.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <cstdio>
#include <cstdlib>

#include "TestServers.h"

namespace testutil {
namespace {

void fatal(const QString& why) {
    std::fprintf(stderr, "OAuth test servers: %s\n", qPrintable(why));
    std::abort();
}

void writeFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        fatal("cannot write " + path);
}

QByteArray readFile(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void stop(std::unique_ptr<QProcess>& process) {
    if (!process) return;
    process->closeWriteChannel();
    process->terminate();
    if (!process->waitForFinished(10000)) process->kill();
    process->waitForFinished(5000);
    process.reset();
}

}  // namespace

OAuthServers& OAuthServers::Get() {
    static OAuthServers servers;
    return servers;
}

QString OAuthServers::dir() const { return TestServers::Get().dir() + "/oauth"; }
QString OAuthServers::baseUrl() const {
    return QStringLiteral("https://127.0.0.1:%1").arg(authPort);
}
QString OAuthServers::smtpSpool() const { return dir() + "/spool"; }

OAuthServers::OAuthServers() {
    TestServers& base = TestServers::Get();
    for (const char* sub : {"", "/state", "/run", "/spool", "/keys/default/HS256"})
        QDir().mkpath(dir() + QLatin1String(sub));
    // One key signs the tokens and validates them, in the base64 form Dovecot reads.
    QByteArray key(32, '\0');
    QRandomGenerator::system()->fillRange(reinterpret_cast<quint32*>(key.data()), 8);
    writeFile(dir() + "/signing.key", key.toBase64() + '\n');
    writeFile(dir() + "/keys/default/HS256/default", key.toBase64());
    QFile::setPermissions(dir(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner |
                                     QFile::ReadOther | QFile::ExeOther | QFile::ReadGroup |
                                     QFile::ExeGroup);

    authPort = FreePort();
    authority_ = StartPythonServer(
        "oauth_server.py",
        {QString::number(authPort), dir() + "/state", "--signing-key", dir() + "/signing.key",
         "--cert", base.dir() + "/server.crt", "--key", base.dir() + "/server.key"},
        authPort);
    if (!authority_) fatal("the authorization server did not start");
    smtpPort = FreePort();
    smtp_ = StartPythonServer(
        "smtp_server.py",
        {QString::number(smtpPort), smtpSpool(), "--cert", base.dir() + "/server.crt", "--key",
         base.dir() + "/server.key", "--user", kSmtpUser, "--oauth-key", dir() + "/signing.key"},
        smtpPort);
    if (!smtp_) fatal("the token SMTP server did not start");
    startDovecot();
}

OAuthServers::~OAuthServers() {
    stop(dovecot_);
    stop(smtp_);
    stop(authority_);
}

void OAuthServers::startDovecot() {
    const TestServers& base = TestServers::Get();
    const passwd* owner = geteuid() == 0 ? getpwnam("mail") : getpwuid(geteuid());
    if (!owner) fatal("no user for the test mailboxes");
    pop3Port = FreePort();
    pop3sPort = FreePort();
    writeFile(dir() + "/oauth2.conf.ext",
              QStringLiteral("introspection_mode = local\n"
                             "local_validation_key_dict = fs:posix:prefix=%1/keys/\n"
                             "username_attribute = email\n")
                  .arg(dir())
                  .toUtf8());
    QByteArray config = QStringLiteral(
                            "protocols = pop3\n"
                            "listen = 127.0.0.1\n"
                            "base_dir = @OAUTH@/run\n"
                            "state_dir = @OAUTH@/state\n"
                            "log_path = @OAUTH@/dovecot.log\n"
                            "ssl = yes\n"
                            "ssl_cert = <@DIR@/server.crt\n"
                            "ssl_key = <@DIR@/server.key\n"
                            "disable_plaintext_auth = no\n"
                            "auth_mechanisms = xoauth2 oauthbearer\n"
                            "auth_failure_delay = 0\n"
                            "first_valid_uid = @UID@\n"
                            "mail_location = maildir:~/Maildir\n"
                            "pop3_uidl_format = %08Xu%08Xv\n"
                            "passdb {\n  driver = oauth2\n  mechanisms = xoauth2 oauthbearer\n"
                            "  args = @OAUTH@/oauth2.conf.ext\n}\n"
                            "userdb {\n  driver = static\n"
                            "  args = uid=@UID@ gid=@GID@ home=@DIR@/home/%u\n}\n"
                            "service pop3-login {\n"
                            "  inet_listener pop3 {\n    port = @POP3@\n  }\n"
                            "  inet_listener pop3s {\n    port = @POP3S@\n    ssl = yes\n  }\n"
                            "}\n")
                            .replace("@OAUTH@", dir())
                            .replace("@DIR@", base.dir())
                            .replace("@POP3@", QString::number(pop3Port))
                            .replace("@POP3S@", QString::number(pop3sPort))
                            .replace("@UID@", QString::number(owner->pw_uid))
                            .replace("@GID@", QString::number(owner->pw_gid))
                            .toUtf8();
    if (geteuid() != 0)
        config += QByteArray("default_login_user = ") + owner->pw_name +
                  "\ndefault_internal_user = " + owner->pw_name + "\n";
    writeFile(dir() + "/dovecot.conf", config);
    dovecot_ = std::make_unique<QProcess>();
    dovecot_->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    dovecot_->start("/usr/sbin/dovecot", {"-F", "-c", dir() + "/dovecot.conf"});
    if (!dovecot_->waitForStarted(10000) || !WaitForPort(pop3Port) || !WaitForPort(pop3sPort))
        fatal("Dovecot (oauth2) did not start; see " + dir() + "/dovecot.log");
}

QString OAuthServers::ProviderFile(bool withDevice) const {
    const QString path = dir() + (withDevice ? "/provider.json" : "/provider-no-device.json");
    QByteArray json = "{\n  \"authorization_endpoint\": \"" + baseUrl().toUtf8() +
                      "/authorize\",\n  \"token_endpoint\": \"" + baseUrl().toUtf8() +
                      "/token\",\n";
    if (withDevice)
        json += "  \"device_authorization_endpoint\": \"" + baseUrl().toUtf8() +
                "/device_authorization\",\n";
    json += QByteArray("  \"client_id\": \"") + kClientId + "\",\n  \"scope\": \"mail\"\n}\n";
    writeFile(path, json);
    return path;
}

void OAuthServers::SetConfig(const QByteArray& json) const {
    writeFile(dir() + "/state/config.json", json.isEmpty() ? QByteArray("{}") : json);
}

void OAuthServers::RevokeUser(const QString& user) const {
    QFile file(dir() + "/state/revoked");
    if (!file.open(QIODevice::Append)) fatal("cannot write the revocation list");
    file.write(user.toUtf8() + '\n');
}

int OAuthServers::TokenRequests(const QString& grant) const {
    int count = 0;
    for (const QByteArray& line : readFile(dir() + "/state/token-requests.log").split('\n')) {
        const QList<QByteArray> fields = line.split(' ');
        if (fields.size() == 3 && (grant.isEmpty() || fields[1] == grant.toUtf8())) ++count;
    }
    return count;
}

bool OAuthServers::ApproveDevice(const QString& userCode, const QString& user) const {
    QProcess curl;
    curl.start("curl", {"-sf", "--cacert", TestServers::Get().caFile(),
                        baseUrl() + "/device/verify?user_code=" + userCode + "&user=" + user});
    return curl.waitForFinished(15000) && curl.exitCode() == 0;
}

QList<QByteArray> OAuthServers::SmtpAuthLog() const {
    QList<QByteArray> lines = readFile(smtpSpool() + "/auth").split('\n');
    lines.removeAll(QByteArray());
    return lines;
}

int OAuthServers::Pop3Logins(const QString& user) const {
    return static_cast<int>(
        readFile(dir() + "/dovecot.log").count("Login: user=<" + user.toUtf8() + ">"));
}

}  // namespace testutil
