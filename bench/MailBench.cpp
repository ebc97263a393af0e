// Benchmarks of the mail component against the real servers; prints one line per run.
//
//   mail_bench pop3 N     retrieve and delete N messages of about 10 KB from Dovecot
//   mail_bench curl N     the same retrievals with curl's command line (the reference)
//   mail_bench smtp N     send N messages to the SMTP server
//   mail_bench decode N   decode N messages of a mixed corpus
//   mail_bench attachments N   decode one mail with N small attachments (peak RSS)
//
// Each run is its own process, so the peak RSS it prints is that run's alone.

#include <sys/resource.h>

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <cstdio>

#include "../tests/util/TestMails.h"
#include "../tests/util/TestServers.h"
#include "mail/adapter/QtPop3Mail.h"
#include "mail/adapter/QtSmtpMail.h"
#include "mail/adapter/RealComponent.h"
#include "mail/ledger/DeliveryLedger.h"
#include "mail/mime/MessageReader.h"

namespace {

double peakRssMb() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss / 1024.0;
}

QByteArray tenKilobyteMail(int i) {
    QByteArray body;
    while (body.size() < 10 * 1024)
        body += "これはベンチマーク用の本文です。Line " + QByteArray::number(body.size()) + "\r\n";
    return "From: sender" + QByteArray::number(i % 50) + "@example.jp\r\nSubject: bench " +
           QByteArray::number(i) +
           "\r\nDate: Mon, 7 Dec 2026 09:05:00 +0900\r\nContent-Type: text/plain; charset=UTF-8\r\n"
           "Content-Transfer-Encoding: 8bit\r\n\r\n" +
           body;
}

void report(const char* what, int count, qint64 ms) {
    std::printf("%-8s %6d messages  %8.2f s  %9.1f msg/s  peak RSS %6.1f MB\n", what, count,
                ms / 1000.0, count * 1000.0 / std::max<qint64>(ms, 1), peakRssMb());
}

int pop3Bench(int count, bool withCurl) {
    auto& servers = testutil::TestServers::Get();
    servers.AddUser("bench", "pw");
    for (int i = 0; i < count; ++i) servers.Deliver("bench", tenKilobyteMail(i));
    QElapsedTimer clock;
    if (withCurl) {
        // One curl process, one connection, every message retrieved in turn.
        QTemporaryDir dir;
        QFile config(dir.filePath("urls"));
        config.open(QIODevice::WriteOnly);
        for (int i = 1; i <= count; ++i)
            config.write(
                QStringLiteral("url = \"pop3://127.0.0.1:%1/%2\"\noutput = \"/dev/null\"\n")
                    .arg(servers.pop3Port)
                    .arg(i)
                    .toUtf8());
        config.close();
        clock.start();
        const int rc = QProcess::execute("curl", {"-s", "--ssl", "--cacert", servers.caFile(), "-u",
                                                  "bench:pw", "-K", config.fileName()});
        report("curl", count, clock.elapsed());
        return rc;
    }
    QTemporaryDir journal;
    auto ledger = std::make_shared<ledger::DeliveryLedger>(journal.filePath("journal"));
    ledger->SmtpSetUp(true);  // Forwarding mode
    mail::QtPop3Mail pop3(ledger);
    clock.start();
    if (!pop3.Connect(QStringLiteral("127.0.0.1:%1").arg(servers.pop3Port), "bench", "pw") ||
        pop3.RecvMail() != count) {
        std::fprintf(stderr, "pop3: %s\n", qPrintable(pop3.LastError()));
        return 1;
    }
    QString body;
    for (std::int32_t n; (n = pop3.OpenNewMail(body)) > 0;) pop3.DeleteMail(n, 2);
    pop3.Refresh();
    report("pop3", count, clock.elapsed());
    return servers.MailboxCount("bench") == 0 ? 0 : 1;
}

int smtpBench(int count) {
    auto& servers = testutil::TestServers::Get();
    QTemporaryDir journal;
    mail::QtSmtpMail smtp(std::make_shared<ledger::DeliveryLedger>(journal.filePath("journal")));
    QElapsedTimer clock;
    clock.start();
    if (!smtp.Connect(QStringLiteral("127.0.0.1:%1").arg(servers.smtpPort)) ||
        !smtp.SetSender("bench@example.jp", "自動転送")) {
        std::fprintf(stderr, "smtp: %s\n", qPrintable(smtp.LastError()));
        return 1;
    }
    const QString body = QString::fromUtf8(tenKilobyteMail(0));
    for (int i = 0; i < count; ++i) {
        smtp.ClearMail();
        smtp.SetRecipient(1, "to@example.jp", {});
        smtp.SetSubject(QStringLiteral("%1件のメール").arg(i));
        smtp.SetDetail(body);
        if (!smtp.Mail()) {
            std::fprintf(stderr, "smtp: %s\n", qPrintable(smtp.LastError()));
            return 1;
        }
    }
    report("smtp", count, clock.elapsed());
    return 0;
}

int decodeBench(int count) {
    QList<QByteArray> corpus;
    for (const QString& name :
         QDir(QStringLiteral(TARNPOST_SOURCE_DIR "/tests/corpus")).entryList({"*.eml"})) {
        QFile file(QStringLiteral(TARNPOST_SOURCE_DIR "/tests/corpus/") + name);
        file.open(QIODevice::ReadOnly);
        corpus << file.readAll();
    }
    corpus << tenKilobyteMail(1);
    QElapsedTimer clock;
    clock.start();
    qsizetype characters = 0;
    for (int i = 0; i < count; ++i)
        characters +=
            mime::ReadMessage(corpus[i % corpus.size()], QDateTime::currentDateTime()).body.size();
    report("decode", count, clock.elapsed());
    return characters > 0 ? 0 : 1;
}

int attachmentsBench(int count) {
    const QByteArray raw = testutil::ManyAttachments(count);
    QElapsedTimer clock;
    clock.start();
    const mime::ReadMail read = mime::ReadMessage(raw, QDateTime::currentDateTime());
    std::printf("attachments %d in a %.1f MB mail: counted %d, %.2f s, peak RSS %.1f MB\n", count,
                raw.size() / 1048576.0, read.attachCount, clock.elapsed() / 1000.0, peakRssMb());
    return read.attachCount == count ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication application(argc, argv);
    const QStringList args = application.arguments();
    if (args.size() != 3) {
        std::fprintf(stderr, "usage: mail_bench pop3|curl|smtp|decode|attachments N\n");
        return 2;
    }
    mail::InitMailLibraries();
    // The servers' own CA, as in the integration tests.
    qputenv("SSL_CERT_FILE", testutil::TestServers::Get().caFile().toUtf8());
    const int count = args[2].toInt();
    if (args[1] == "pop3") return pop3Bench(count, false);
    if (args[1] == "curl") return pop3Bench(count, true);
    if (args[1] == "smtp") return smtpBench(count);
    if (args[1] == "decode") return decodeBench(count);
    if (args[1] == "attachments") return attachmentsBench(count);
    return 2;
}
