// One forwarding cycle over a large mailbox, against the real servers, beside its peer
// (fetchmail relaying the same mailbox to the same SMTP server) and its floor (curl's
// command line retrieving the mailbox over one connection). Each run is its own process.
//
//   cycle_bench digest N     every mail listed in the Digest mail
//   cycle_bench whole N      every mail forwarded whole
//   cycle_bench fetchmail N  fetchmail relays the mailbox (the peer)
//   cycle_bench floor N      curl retrieves the mailbox (the floor)
//   cycle_bench sendonly N   the SMTP object sends N mails of the same text, no POP3:
//                            the ceiling the SMTP server sets for the whole-mail cycle
//   cycle_bench pipelined N  pop3_floor.py empties the mailbox over one connection with
//                            every RETR and every DELE pipelined (the floor over a network)
//
//   cycle_bench wholefloor N pop3_floor.py empties the mailbox, then smtp_floor.py sends N
//                            mails over one connection with every command pipelined: the
//                            floor of a whole-mail cycle over a network
//
// With --rtt MS, POP3 goes through delay_proxy.py, which makes each round trip cost MS
// milliseconds; --smtp-delayed puts SMTP behind it too. --smtp-sink sends to Postfix's
// smtp-sink (a C server made for benchmarking clients) instead of the Python server.

#include <sys/resource.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <cstdio>
#include <optional>

#include "../tests/util/RecordingWindow.h"
#include "../tests/util/TestServers.h"
#include "core/CheckAndForward.h"
#include "mail/adapter/QtSmtpMail.h"
#include "mail/adapter/RealComponent.h"
#include "mail/ledger/DeliveryLedger.h"

namespace {

double peakRssMb(int who = RUSAGE_SELF) {
    rusage usage{};
    getrusage(who, &usage);
    return usage.ru_maxrss / 1024.0;
}

// Mixed sizes: most around 18 KB, one in ten of 200 KB or more. The same sequence for
// every mode, made one body at a time so that the benchmark holds no mailbox of its own.
class MixedBodies {
public:
    QByteArray next() {
        const QByteArray line =
            "今日の作業報告です。The quick brown fox jumps over the lazy dog.\r\n";
        const int size = count_++ % 10 == 9 ? 200 * 1024 + random_.bounded(100 * 1024)
                                            : 8 * 1024 + random_.bounded(20 * 1024);
        QByteArray body;
        body.reserve(size + line.size());
        while (body.size() < size) body += line;
        return body;
    }

private:
    QRandomGenerator random_{42};
    int count_ = 0;
};

// Where the clients reach the servers: the servers themselves, or the delay proxy.
struct Endpoints {
    int pop3Port = 0;
    int smtpPort = 0;
};

// delay_proxy.py in front of the given ports, for as long as this object lives.
class DelayProxy {
public:
    DelayProxy(double rttMs, const QList<int>& targets) {
        QStringList arguments = {QStringLiteral(TARNPOST_SOURCE_DIR "/bench/delay_proxy.py"),
                                 "--rtt", QString::number(rttMs)};
        for (int port : targets) arguments << QString::number(port);
        process_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process_.start("/usr/bin/python3", arguments);
        if (!process_.waitForStarted(10000)) return;
        while (!process_.canReadLine())
            if (!process_.waitForReadyRead(10000)) return;
        const QList<QByteArray> fields = process_.readLine().trimmed().split(' ');
        if (fields.value(0) != "ready" || fields.size() != targets.size() + 1) return;
        for (int i = 1; i < fields.size(); ++i) ports_ << fields[i].toInt();
    }
    ~DelayProxy() {
        process_.terminate();
        if (!process_.waitForFinished(5000)) process_.kill();
        process_.waitForFinished(5000);
    }
    // The listening ports in the order of the targets; empty when the proxy did not start.
    const QList<int>& ports() const { return ports_; }

private:
    QProcess process_;
    QList<int> ports_;
};

void seed(testutil::TestServers& servers, const QString& user, int count) {
    MixedBodies bodies;
    for (int i = 0; i < count; ++i) {
        const QByteArray body = bodies.next();
        servers.Deliver(user,
                        "From: Sender " + QByteArray::number(i % 97) + " <s" +
                            QByteArray::number(i % 97) + "@example.jp>\r\nSubject: report " +
                            QByteArray::number(i) +
                            "\r\nDate: Mon, 7 Dec 2026 09:05:00 +0900\r\nMIME-Version: 1.0\r\n"
                            "Content-Type: text/plain; charset=UTF-8\r\n"
                            "Content-Transfer-Encoding: 8bit\r\n\r\n" +
                            body);
    }
}

void report(const char* what, int count, qint64 ms, double rssMb) {
    std::printf("%-10s %6d mails  %8.2f s  %8.1f mails/s  peak RSS %7.1f MB\n", what, count,
                ms / 1000.0, count * 1000.0 / std::max<qint64>(ms, 1), rssMb);
    std::fflush(stdout);
}

int cycle(testutil::TestServers& servers, const Endpoints& at, int count, bool whole) {
    QTemporaryDir journal;
    core::SharedState state;
    mail::RealComponent made = mail::MakeRealComponent(journal.path());
    state.smtp = std::move(made.smtp);
    state.pop3 = std::move(made.pop3);
    state.forwardTo = "to@example.jp";
    state.maxBodyChars = 100;
    if (whole) state.fullTextList = {"@example.jp"};
    testutil::RecordingWindow window;
    QElapsedTimer clock;
    clock.start();
    if (!state.smtp->Connect(QStringLiteral("127.0.0.1:%1").arg(at.smtpPort)) ||
        !state.pop3->Connect(QStringLiteral("127.0.0.1:%1").arg(at.pop3Port), "bench", "pw") ||
        !state.smtp->SetSender("relay@example.jp", "自動転送") ||
        core::CheckAndForward(state, window) != 0) {
        std::fprintf(stderr, "cycle failed: %s %s\n", qPrintable(state.pop3->LastError()),
                     qPrintable(state.smtp->LastError()));
        return 1;
    }
    report(whole ? "whole" : "digest", count, clock.elapsed(), peakRssMb());
    return servers.MailboxCount("bench") == 0 ? 0 : 1;
}

int sendOnly(const Endpoints& at, int count) {
    MixedBodies bodies;
    QTemporaryDir journal;
    mail::QtSmtpMail smtp(std::make_shared<ledger::DeliveryLedger>(journal.filePath("journal")));
    QElapsedTimer clock;
    clock.start();
    if (!smtp.Connect(QStringLiteral("127.0.0.1:%1").arg(at.smtpPort)) ||
        !smtp.SetSender("relay@example.jp", "自動転送")) {
        std::fprintf(stderr, "set-up failed: %s\n", qPrintable(smtp.LastError()));
        return 1;
    }
    for (int i = 0; i < count; ++i) {
        smtp.ClearMail();
        smtp.SetRecipient(1, "to@example.jp", {});
        smtp.SetSubject(QStringLiteral("転送:report %1").arg(i));
        smtp.SetDetail(QString::fromUtf8(bodies.next()));
        if (!smtp.Mail()) {
            std::fprintf(stderr, "send failed: %s\n", qPrintable(smtp.LastError()));
            return 1;
        }
    }
    report("sendonly", count, clock.elapsed(), peakRssMb());
    return 0;
}

int fetchmail(testutil::TestServers& servers, const Endpoints& at, int count) {
    QTemporaryDir dir;
    QFile rc(dir.filePath("fetchmailrc"));
    rc.open(QIODevice::WriteOnly);
    rc.write(QStringLiteral("poll 127.0.0.1 service %1 protocol pop3 uidl\n"
                            "  user bench password pw is root here\n"
                            "  smtphost 127.0.0.1/%2 smtpname to@example.jp\n"
                            "  sslcertfile %3 no sslcertck\n")
                 .arg(at.pop3Port)
                 .arg(at.smtpPort)
                 .arg(servers.caFile())
                 .toUtf8());
    rc.close();
    QFile::setPermissions(rc.fileName(), QFile::ReadOwner | QFile::WriteOwner);
    QElapsedTimer clock;
    clock.start();
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("FETCHMAILHOME", dir.path());
    process.setProcessEnvironment(environment);
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process.start("fetchmail",
                  {"-f", rc.fileName(), "--nokeep", "--silent", "--idfile", dir.filePath("ids")});
    process.waitForFinished(-1);
    report("fetchmail", count, clock.elapsed(), peakRssMb(RUSAGE_CHILDREN));
    return servers.MailboxCount("bench") == 0 ? 0 : 1;
}

int floor(testutil::TestServers& servers, const Endpoints& at, int count) {
    QTemporaryDir dir;
    QFile config(dir.filePath("urls"));
    config.open(QIODevice::WriteOnly);
    for (int i = 1; i <= count; ++i)
        config.write(QStringLiteral("url = \"pop3://127.0.0.1:%1/%2\"\noutput = \"/dev/null\"\n")
                         .arg(at.pop3Port)
                         .arg(i)
                         .toUtf8());
    config.close();
    QElapsedTimer clock;
    clock.start();
    const int rc = QProcess::execute("curl", {"-s", "--ssl", "--cacert", servers.caFile(), "-u",
                                              "bench:pw", "-K", config.fileName()});
    report("floor", count, clock.elapsed(), peakRssMb(RUSAGE_CHILDREN));
    return rc;
}

// Runs a floor script that times itself and prints "NAME N SECONDS"; the seconds, or a
// negative number when it failed.
double floorScript(const char* script, const QStringList& arguments, int count) {
    QProcess process;
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process.start("/usr/bin/python3",
                  QStringList{QStringLiteral(TARNPOST_SOURCE_DIR "/bench/") + script} + arguments);
    process.waitForFinished(-1);
    const QList<QByteArray> fields = process.readAllStandardOutput().trimmed().split(' ');
    if (process.exitCode() != 0 || fields.size() != 3 || fields[1].toInt() != count) return -1;
    return fields[2].toDouble();
}

int wholeFloor(testutil::TestServers& servers, const Endpoints& at, int count) {
    const double pop3 = floorScript(
        "pop3_floor.py", {QString::number(at.pop3Port), "bench", "pw", servers.caFile()}, count);
    const double smtp =
        floorScript("smtp_floor.py", {QString::number(at.smtpPort), QString::number(count)}, count);
    if (pop3 < 0 || smtp < 0) return 1;
    report("wholefloor", count, qRound64((pop3 + smtp) * 1000), peakRssMb(RUSAGE_CHILDREN));
    std::printf("  (POP3 %.2f s + SMTP %.2f s)\n", pop3, smtp);
    return servers.MailboxCount("bench") == 0 ? 0 : 1;
}

// Postfix's smtp-sink on a free port, for as long as the benchmark runs.
class SmtpSink {
public:
    SmtpSink() : port_(testutil::FreePort()) {
        process_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process_.start("/usr/sbin/smtp-sink",
                       {"-u", "nobody", QStringLiteral("127.0.0.1:%1").arg(port_), "256"});
        if (!process_.waitForStarted(10000) || !testutil::WaitForPort(port_)) port_ = 0;
    }
    ~SmtpSink() {
        process_.kill();
        process_.waitForFinished(5000);
    }
    int port() const { return port_; }

private:
    QProcess process_;
    int port_;
};

int pipelined(testutil::TestServers& servers, const Endpoints& at, int count) {
    QProcess process;
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process.start("/usr/bin/python3",
                  {QStringLiteral(TARNPOST_SOURCE_DIR "/bench/pop3_floor.py"),
                   QString::number(at.pop3Port), "bench", "pw", servers.caFile()});
    process.waitForFinished(-1);
    // The script times its own session, without the interpreter's start.
    const QList<QByteArray> fields = process.readAllStandardOutput().trimmed().split(' ');
    if (process.exitCode() != 0 || fields.size() != 3 || fields[1].toInt() != count) return 1;
    report("pipelined", count, qRound64(fields[2].toDouble() * 1000), peakRssMb(RUSAGE_CHILDREN));
    return servers.MailboxCount("bench") == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication application(argc, argv);
    QStringList args = application.arguments();
    std::optional<double> rttMs;
    const bool smtpDelayed = args.removeAll("--smtp-delayed") > 0;
    const bool smtpSink = args.removeAll("--smtp-sink") > 0;
    if (const qsizetype at = args.indexOf("--rtt"); at > 0 && at + 1 < args.size()) {
        rttMs = args[at + 1].toDouble();
        args.remove(at, 2);
    }
    if (args.size() != 3 || (smtpDelayed && !rttMs)) {
        std::fprintf(
            stderr,
            "usage: cycle_bench digest|whole|fetchmail|floor|pipelined|wholefloor|sendonly N "
            "[--smtp-sink] [--rtt MS [--smtp-delayed]]\n");
        return 2;
    }
    mail::InitMailLibraries();
    auto& servers = testutil::TestServers::Get();
    qputenv("SSL_CERT_FILE", servers.caFile().toUtf8());
    Endpoints at{servers.pop3Port, servers.smtpPort};
    std::optional<SmtpSink> sink;
    if (smtpSink) {
        sink.emplace();
        if (sink->port() == 0) {
            std::fprintf(stderr, "smtp-sink did not start (Debian package postfix)\n");
            return 1;
        }
        at.smtpPort = sink->port();
    }
    std::optional<DelayProxy> proxy;
    if (rttMs) {
        const QList<int> targets =
            smtpDelayed ? QList<int>{at.pop3Port, at.smtpPort} : QList<int>{at.pop3Port};
        proxy.emplace(*rttMs, targets);
        if (proxy->ports().isEmpty()) {
            std::fprintf(stderr, "the delay proxy did not start\n");
            return 1;
        }
        at.pop3Port = proxy->ports()[0];
        if (smtpDelayed) at.smtpPort = proxy->ports()[1];
    }
    const int count = args[2].toInt();
    if (args[1] == "sendonly") return sendOnly(at, count);
    servers.AddUser("bench", "pw");
    seed(servers, "bench", count);
    if (args[1] == "digest") return cycle(servers, at, count, false);
    if (args[1] == "whole") return cycle(servers, at, count, true);
    if (args[1] == "fetchmail") return fetchmail(servers, at, count);
    if (args[1] == "floor") return floor(servers, at, count);
    if (args[1] == "pipelined") return pipelined(servers, at, count);
    if (args[1] == "wholefloor") return wholeFloor(servers, at, count);
    return 2;
}
