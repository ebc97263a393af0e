#include "TestServers.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <pwd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QThread>
#include <cstdio>
#include <cstdlib>

namespace testutil {
namespace {

void fatal(const QString& why) {
    std::fprintf(stderr, "test servers: %s\n", qPrintable(why));
    std::abort();
}

void run(const QString& program, const QStringList& arguments, const QString& folder) {
    QProcess process;
    process.setWorkingDirectory(folder);
    process.start(program, arguments);
    if (!process.waitForFinished(60000) || process.exitCode() != 0)
        fatal(program + " " + arguments.join(' ') + ": " + process.readAllStandardError());
}

void writeFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        fatal("cannot write " + path);
}

// Maildir owners: the "mail" user when running as root (Dovecot never delivers as root).
struct MailOwner {
    uid_t uid;
    gid_t gid;
    QString name;
};

MailOwner mailOwner() {
    const passwd* entry = geteuid() == 0 ? getpwnam("mail") : getpwuid(geteuid());
    if (!entry) fatal("no user for the test mailboxes");
    return {entry->pw_uid, entry->pw_gid, QString::fromLocal8Bit(entry->pw_name)};
}

void chownTree(const QString& path, const MailOwner& owner) {
    if (geteuid() != 0) return;
    [[maybe_unused]] int rc = ::chown(QFile::encodeName(path).constData(), owner.uid, owner.gid);
}

}  // namespace

int FreePort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0)
        fatal("no free port");
    ::close(fd);
    return ntohs(address.sin_port);
}

bool WaitForPort(int port, int timeoutMs) {
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < timeoutMs) {
        const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(static_cast<uint16_t>(port));
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        const bool up = ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
        ::close(fd);
        if (up) return true;
        QThread::msleep(50);
    }
    return false;
}

TestServers& TestServers::Get() {
    static TestServers servers;
    return servers;
}

TestServers::TestServers() {
    if (!dir_.isValid()) fatal("no temporary folder");
    QFile::setPermissions(dir(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner |
                                     QFile::ReadGroup | QFile::ExeGroup | QFile::ReadOther |
                                     QFile::ExeOther);
    makeCertificates();
    for (const char* sub : {"run", "state", "home", "spool-plain", "spool-tls"})
        QDir(dir()).mkpath(QLatin1String(sub));
    QDir(dir()).mkpath("passwd.d");
    chownTree(dir() + "/home", mailOwner());

    pop3Port = FreePort();
    pop3sPort = FreePort();
    StartDovecot();
    smtpPort = FreePort();
    startSmtp(smtpPort, smtpSpool(), false);
    smtpTlsPort = FreePort();
    startSmtp(smtpTlsPort, smtpTlsSpool(), true);
}

TestServers::~TestServers() {
    StopDovecot();
    for (auto& process : smtp_) {
        process->closeWriteChannel();
        process->terminate();
        process->waitForFinished(5000);
    }
}

void TestServers::makeCertificates() {
    const QStringList ec = {"-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes"};
    run("openssl",
        QStringList{"req", "-x509"} + ec +
            QStringList{"-keyout", "ca.key", "-out", "ca.crt", "-days", "2", "-subj",
                        "/CN=Tarnpost Test CA"},
        dir());
    run("openssl",
        QStringList{"req", "-x509"} + ec +
            QStringList{"-keyout", "other-ca.key", "-out", "other-ca.crt", "-days", "2", "-subj",
                        "/CN=Untrusted CA"},
        dir());
    run("openssl",
        QStringList{"req"} + ec +
            QStringList{"-keyout", "server.key", "-out", "server.csr", "-subj", "/CN=127.0.0.1"},
        dir());
    writeFile(dir() + "/san.ext", "subjectAltName=IP:127.0.0.1,DNS:localhost\n");
    run("openssl",
        {"x509", "-req", "-in", "server.csr", "-CA", "ca.crt", "-CAkey", "ca.key",
         "-CAcreateserial", "-out", "server.crt", "-days", "2", "-extfile", "san.ext"},
        dir());
    QFile::setPermissions(dir() + "/server.key",
                          QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther);
}

void TestServers::StartDovecot() {
    const MailOwner owner = mailOwner();
    const QString d = dir();
    QByteArray config =
        QStringLiteral(
            "protocols = pop3\n"
            "listen = 127.0.0.1\n"
            "base_dir = @DIR@/run\n"
            "state_dir = @DIR@/state\n"
            "log_path = @DIR@/dovecot.log\n"
            "ssl = yes\n"
            "ssl_cert = <@DIR@/server.crt\n"
            "ssl_key = <@DIR@/server.key\n"
            "disable_plaintext_auth = no\n"
            "auth_mechanisms = plain login\n"
            "first_valid_uid = @UID@\n"
            "mail_location = maildir:~/Maildir\n"
            "pop3_uidl_format = %08Xu%08Xv\n"
            "passdb {\n  driver = passwd-file\n  args = scheme=PLAIN username_format=%u "
            "@DIR@/passwd.d/%u\n}\n"
            "userdb {\n  driver = static\n  args = uid=@UID@ gid=@GID@ home=@DIR@/home/%u\n}\n"
            "service pop3-login {\n"
            "  inet_listener pop3 {\n    port = @POP3@\n  }\n"
            "  inet_listener pop3s {\n    port = @POP3S@\n    ssl = yes\n  }\n"
            "}\n")
            .replace("@DIR@", d)
            .replace("@POP3@", QString::number(pop3Port))
            .replace("@POP3S@", QString::number(pop3sPort))
            .replace("@UID@", QString::number(owner.uid))
            .replace("@GID@", QString::number(owner.gid))
            .toUtf8();
    if (geteuid() != 0)
        config += "default_login_user = " + owner.name.toUtf8() +
                  "\ndefault_internal_user = " + owner.name.toUtf8() + "\n";
    writeFile(d + "/dovecot.conf", config);

    dovecot_ = std::make_unique<QProcess>();
    dovecot_->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    dovecot_->start("/usr/sbin/dovecot", {"-F", "-c", d + "/dovecot.conf"});
    if (!dovecot_->waitForStarted(10000) || !WaitForPort(pop3Port) || !WaitForPort(pop3sPort))
        fatal("Dovecot did not start; see " + d + "/dovecot.log");
}

void TestServers::KillPop3Sessions() {
    if (!dovecot_) return;
    QProcess::execute("pkill",
                      {"-KILL", "-P", QString::number(dovecot_->processId()), "-x", "pop3"});
}

void TestServers::StopDovecot() {
    if (!dovecot_) return;
    dovecot_->terminate();
    if (!dovecot_->waitForFinished(10000)) dovecot_->kill();
    dovecot_->waitForFinished(5000);
    dovecot_.reset();
}

std::unique_ptr<QProcess> StartPythonServer(const QString& script, const QStringList& arguments,
                                            int port) {
    auto process = std::make_unique<QProcess>();
    process->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process->start(
        "/usr/bin/python3",
        QStringList{QStringLiteral(TARNPOST_SOURCE_DIR "/tests/util/") + script} + arguments);
    if (!process->waitForStarted(10000) || !WaitForPort(port)) return nullptr;
    return process;
}

void TestServers::startSmtp(int port, const QString& spool, bool tls) {
    QStringList arguments = {QString::number(port), spool};
    if (tls)
        arguments << "--cert" << dir() + "/server.crt"
                  << "--key" << dir() + "/server.key"
                  << "--user" << kSmtpUser << "--password" << kSmtpPassword;
    auto process = StartPythonServer("smtp_server.py", arguments, port);
    if (!process) fatal("the SMTP server did not start on port " + QString::number(port));
    smtp_.push_back(std::move(process));
}

QString TestServers::maildir(const QString& user) const {
    return dir() + "/home/" + user + "/Maildir";
}

void TestServers::AddUser(const QString& user, const QString& password) {
    // One passwd file per user: Dovecot rereads a file only when its mtime changes, which
    // two users added within a second would not show.
    writeFile(dir() + "/passwd.d/" + user, (user + ":{PLAIN}" + password + "::::::\n").toUtf8());
    const MailOwner owner = mailOwner();
    for (const char* sub : {"", "/new", "/cur", "/tmp"}) {
        QDir().mkpath(maildir(user) + QLatin1String(sub));
        chownTree(maildir(user) + QLatin1String(sub), owner);
    }
    chownTree(dir() + "/home/" + user, owner);
}

void TestServers::Deliver(const QString& user, const QByteArray& message) {
    const QString name = QStringLiteral("%1.M%2P%3.test")
                             .arg(1700000000 + deliveries_)
                             .arg(deliveries_)
                             .arg(getpid());
    ++deliveries_;
    const QString temporary = maildir(user) + "/tmp/" + name;
    writeFile(temporary, message);
    chownTree(temporary, mailOwner());
    if (!QFile::rename(temporary, maildir(user) + "/new/" + name)) fatal("cannot deliver");
}

int TestServers::MailboxCount(const QString& user) const {
    return static_cast<int>(QDir(maildir(user) + "/new").entryList(QDir::Files).size() +
                            QDir(maildir(user) + "/cur").entryList(QDir::Files).size());
}

QList<QByteArray> TestServers::Received(const QString& spool) const {
    QList<QByteArray> messages;
    for (const QString& name : QDir(spool).entryList({"*.eml"}, QDir::Files, QDir::Name)) {
        QFile file(spool + "/" + name);
        if (file.open(QIODevice::ReadOnly)) messages << file.readAll();
    }
    return messages;
}

int TestServers::ReceivedCount(const QString& spool) const {
    return static_cast<int>(QDir(spool).entryList({"*.eml"}, QDir::Files).size());
}

void TestServers::ClearReceived(const QString& spool) const {
    for (const QString& name : QDir(spool).entryList({"*.eml", "*.env"}, QDir::Files))
        QFile::remove(spool + "/" + name);
}

int TestServers::SmtpConnections(const QString& spool) const {
    QFile file(spool + "/greetings");
    return file.open(QIODevice::ReadOnly) ? static_cast<int>(file.readAll().count('\n')) : 0;
}

int TestServers::Pop3Logins(const QString& user) const {
    QFile log(dir() + "/dovecot.log");
    if (!log.open(QIODevice::ReadOnly)) return 0;
    return static_cast<int>(log.readAll().count("Login: user=<" + user.toUtf8() + ">"));
}

void TestServers::SetSmtpFaults(const QString& spool, const QByteArray& faults) const {
    writeFile(spool + "/faults", faults);
}

}  // namespace testutil
