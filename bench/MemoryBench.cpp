// Peak memory of one forwarding check with the real component and its default limits,
// against the scripted POP3 server (tests/util/hostile_pop3.py) and the suite's SMTP
// server. Each run is its own process, so the peak is that check's.
//
//   memory_bench big [MB]        one mail of MB megabytes (200 by default)
//   memory_bench endless [MB]    a RETR that streams without end; the server stops
//                                sending after MB megabytes (512 by default) so that a
//                                program without a bound still ends

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <cstdio>

#include "../tests/util/RecordingWindow.h"
#include "../tests/util/TestServers.h"
#include "core/CheckAndForward.h"
#include "mail/adapter/RealComponent.h"

namespace {

// VmHWM: the most resident memory this process has had.
double peakRssMb() {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly)) return -1;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').value(0).toDouble() / 1024;
    return -1;
}

bool writeMail(const QString& path, qint64 megabytes) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly)) return false;
    file.write(
        "From: a@x.jp\r\nTo: taro@example.jp\r\nSubject: big\r\n"
        "Date: Mon, 7 Dec 2026 09:05:00 +0900\r\nMIME-Version: 1.0\r\n"
        "Content-Type: text/plain; charset=UTF-8\r\n\r\n");
    const QByteArray block =
        QByteArray("The quick brown fox jumps over the lazy dog 0123456789.\r\n").repeated(18000);
    for (qint64 written = 0; written < megabytes * 1024 * 1024; written += block.size())
        if (file.write(block) != block.size()) return false;
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication application(argc, argv);
    const QString mode = argc > 1 ? QString::fromLatin1(argv[1]) : QString();
    if (mode != "big" && mode != "endless") {
        std::fprintf(stderr, "usage: memory_bench big|endless [MB]\n");
        return 2;
    }
    const bool endless = mode == "endless";
    const qint64 megabytes = argc > 2 ? QByteArray(argv[2]).toLongLong() : (endless ? 512 : 200);

    testutil::TestServers& servers = testutil::TestServers::Get();
    mail::InitMailLibraries();  // library set-up, main thread
    servers.ClearReceived(servers.smtpSpool());
    QTemporaryDir box, journal;
    if (!writeMail(box.filePath("big.eml"), endless ? 1 : megabytes)) return 1;
    if (endless) {
        QFile faults(box.filePath("faults"));
        if (!faults.open(QIODevice::WriteOnly)) return 1;
        faults.write("ENDLESS_RETR big 0 " + QByteArray::number(megabytes * 1024 * 1024) + "\n");
    }
    const int port = testutil::FreePort();
    auto pop3Server = testutil::StartPythonServer(
        "hostile_pop3.py",
        {box.path(), "--port", QString::number(port), "--user", "u", "--password", "pw"}, port);
    if (!pop3Server) return 1;

    // Default limits; a short idle timeout, so that the capped stream ends soon.
    net::Timeouts timeouts;
    timeouts.idleSeconds = 5;
    mail::RealComponent component = mail::MakeRealComponent(journal.path(), timeouts);
    core::SharedState state;
    state.smtp = std::move(component.smtp);
    state.pop3 = std::move(component.pop3);
    state.forwardTo = "to@x.jp";
    state.maxBodyChars = 100;
    testutil::RecordingWindow window;
    if (!state.smtp->Connect(QStringLiteral("127.0.0.1:%1").arg(servers.smtpPort)) ||
        !state.pop3->Connect(QStringLiteral("127.0.0.1:%1").arg(port), "u", "pw") ||
        !state.smtp->SetSender("relay@x.jp", "bench"))
        return 1;
    const double before = peakRssMb();
    QElapsedTimer clock;
    clock.start();
    const int result = core::CheckAndForward(state, window);
    std::printf(
        "%-8s %5lld MB  check %2d in %6.2f s  peak RSS %7.1f MB (%.1f MB before the check)\n",
        qPrintable(mode), megabytes, result, clock.elapsed() / 1000.0, peakRssMb(), before);
    return 0;
}
