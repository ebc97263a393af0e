// The built program, started offscreen from a folder of its own.

#include "../util/QtPrinters.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <gtest/gtest.h>
#include <csignal>
#include <unistd.h>

namespace {

// CPU seconds the process has used so far, from /proc.
double cpuSeconds(qint64 pid) {
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly)) return -1;
    const QByteArray line = stat.readAll();
    const QList<QByteArray> fields = line.mid(line.lastIndexOf(')') + 2).split(' ');
    return (fields.value(11).toDouble() + fields.value(12).toDouble()) / sysconf(_SC_CLK_TCK);
}

class Program : public ::testing::Test {
protected:
    QTemporaryDir folder;
    QProcess process;

    void start() {
        const QString binary = folder.filePath("tarnpost");
        ASSERT_TRUE(QFile::copy(QStringLiteral(TARNPOST_BINARY), binary));
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("QT_QPA_PLATFORM", "offscreen");
        process.setProcessEnvironment(environment);
        process.setProcessChannelMode(QProcess::ForwardedChannels);
        process.start(binary, {});
        ASSERT_TRUE(process.waitForStarted(10000));
    }
    void TearDown() override {
        if (process.state() != QProcess::NotRunning) {
            process.kill();
            process.waitForFinished(5000);
        }
    }
};

TEST_F(Program, WithoutSettingsItWaitsIdleAndEndsOnSigterm) {
    start();
    QThread::sleep(2);
    ASSERT_EQ(process.state(), QProcess::Running) << "waits for settings";
    const double before = cpuSeconds(process.processId());
    QThread::sleep(3);
    const double used = cpuSeconds(process.processId()) - before;
    EXPECT_LT(used, 1.0) << "waiting for settings must not keep a core busy";
    EXPECT_FALSE(QFile::exists(folder.filePath("Tarnpost.ini"))) << "nothing saved by itself";
    EXPECT_FALSE(QFile::exists(folder.filePath("Tarnpost.journal"))) << "no connection made";

    ::kill(static_cast<pid_t>(process.processId()), SIGTERM);
    ASSERT_TRUE(process.waitForFinished(10000));
    EXPECT_EQ(process.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(process.exitCode(), 0);
}

TEST_F(Program, SigintEndsItToo) {
    start();
    QThread::sleep(1);
    ::kill(static_cast<pid_t>(process.processId()), SIGINT);
    ASSERT_TRUE(process.waitForFinished(10000));
    EXPECT_EQ(process.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(process.exitCode(), 0);
}

}  // namespace
