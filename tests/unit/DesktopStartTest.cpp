// Start-up pieces of the installed program: the command line, where the settings live,
// and the rotated log file.

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "app/Autostart.h"
#include "app/HeadlessWindow.h"
#include "app/LogFile.h"
#include "app/Options.h"
#include "app/SettingsLocation.h"
#include "app/SignalBridge.h"

namespace {

struct OptionCase {
    QStringList arguments;
    bool headless;
    QString settings;
    int autostart;  // -1 none, 0 off, 1 on
    bool error;
};

class CommandLine : public ::testing::TestWithParam<OptionCase> {};

TEST_P(CommandLine, ParsesOrRefuses) {
    const OptionCase& c = GetParam();
    const app::Options options = app::ParseOptions(QStringList{"tarnpost"} + c.arguments);
    EXPECT_EQ(!options.error.isEmpty(), c.error) << options.error.toStdString();
    if (c.error) return;
    EXPECT_EQ(options.headless, c.headless);
    EXPECT_EQ(options.settingsFile, c.settings);
    EXPECT_EQ(options.autostart ? int(*options.autostart) : -1, c.autostart);
}

INSTANTIATE_TEST_SUITE_P(
    Options, CommandLine,
    ::testing::Values(OptionCase{{}, false, {}, -1, false},
                      OptionCase{
                          {"--headless", "--settings", "/x/T.ini"}, true, "/x/T.ini", -1, false},
                      OptionCase{{"--settings=rel.ini"}, false, "rel.ini", -1, false},
                      OptionCase{{"--autostart", "on"}, false, {}, 1, false},
                      OptionCase{{"--autostart", "off"}, false, {}, 0, false},
                      OptionCase{{"--autostart", "yes"}, false, {}, -1, true},
                      OptionCase{{"--autostart"}, false, {}, -1, true},
                      OptionCase{{"--settings"}, false, {}, -1, true},
                      OptionCase{{"--frobnicate"}, false, {}, -1, true},
                      OptionCase{{"stray"}, false, {}, -1, true}));

// The portable rule wins when it can work; an installed copy falls back to XDG.
TEST(SettingsLocation, PortableWhenTheFolderAllowsItOtherwiseXdg) {
    QTemporaryDir root;
    const QString program = root.filePath("bin");
    ASSERT_TRUE(QDir().mkpath(program));
    QProcessEnvironment environment;
    environment.insert("HOME", root.filePath("home"));
    environment.insert("XDG_CONFIG_HOME", root.filePath("config"));

    auto where = app::LocateSettings({}, program, environment);
    EXPECT_EQ(where.settingsFile, program + "/Tarnpost.ini") << "writable program folder";
    EXPECT_EQ(where.stateFolder, program);

    QFile::setPermissions(program, QFile::ReadOwner | QFile::ExeOwner);  // read-only, even for root
    where = app::LocateSettings({}, program, environment);
    EXPECT_EQ(where.settingsFile, root.filePath("config") + "/tarnpost/Tarnpost.ini");
    EXPECT_EQ(where.stateFolder, root.filePath("home") + "/.local/state/tarnpost")
        << "XDG_STATE_HOME unset: the default under HOME";
    EXPECT_EQ(where.lockFile, root.filePath("config") + "/tarnpost/Tarnpost.lock");

    environment.insert("XDG_STATE_HOME", root.filePath("state"));
    EXPECT_EQ(app::LocateSettings({}, program, environment).stateFolder,
              root.filePath("state") + "/tarnpost");

    QFile::setPermissions(program, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QFile(program + "/Tarnpost.ini").open(QIODevice::WriteOnly);
    QFile::setPermissions(program, QFile::ReadOwner | QFile::ExeOwner);
    EXPECT_EQ(app::LocateSettings({}, program, environment).settingsFile, program + "/Tarnpost.ini")
        << "a settings file already there is used";

    where = app::LocateSettings(root.filePath("elsewhere/My.ini"), program, environment);
    EXPECT_EQ(where.settingsFile, root.filePath("elsewhere/My.ini"));
    EXPECT_EQ(where.stateFolder, root.filePath("elsewhere"));
    QFile::setPermissions(program, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

// The command says what it wrote or removed, naming the file.
TEST(Autostart, SaysWhatItDid) {
    QTemporaryDir home;
    const QString entry = home.path() + "/autostart/tarnpost.desktop";
    QString message;
    ASSERT_TRUE(app::SetAutostart(true, home.path(), "/usr/bin/tarnpost", {}, &message));
    EXPECT_TRUE(QFile::exists(entry));
    EXPECT_TRUE(message.startsWith("wrote " + entry)) << message.toStdString();
    ASSERT_TRUE(app::SetAutostart(false, home.path(), "/usr/bin/tarnpost", {}, &message));
    EXPECT_FALSE(QFile::exists(entry));
    EXPECT_TRUE(message.startsWith("removed " + entry)) << message.toStdString();
}

TEST(LogFile, RotatesBySizeKeepingThreeFiles) {
    QTemporaryDir folder;
    const QString path = folder.filePath("tarnpost.log");
    app::LogFile log(path, 100, 3);
    for (int i = 0; i < 20; ++i) log.Write(QByteArray(29, 'a' + i) + '\n');  // 30 bytes a line
    const auto read = [](const QString& name) {
        QFile file(name);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("missing");
    };
    EXPECT_EQ(read(path), QByteArray(29, 'a' + 18) + '\n' + QByteArray(29, 'a' + 19) + '\n');
    EXPECT_EQ(read(path + ".1").size(), 90);
    EXPECT_TRUE(read(path + ".1").startsWith(QByteArray(29, 'a' + 15)));
    EXPECT_EQ(read(path + ".2").size(), 90);
    EXPECT_FALSE(QFile::exists(path + ".3"));
}

TEST(HeadlessRetry, BacksOffFromIntervalDoublingToACap) {
    QList<int> delays;
    for (int failures = 1; failures <= 12; ++failures)
        delays << app::RetryDelaySeconds(10, failures);
    EXPECT_EQ(delays.mid(0, 4), (QList<int>{10, 20, 40, 80}));
    EXPECT_EQ(delays.last(), app::kMaxRetrySeconds);
    EXPECT_EQ(app::RetryDelaySeconds(0, 1), app::kRetryWithoutSettingsSeconds) << "no INTERVAL yet";
    EXPECT_EQ(app::RetryDelaySeconds(7200, 5), 7200) << "an INTERVAL above the cap is kept";
}

// A bridge made and dropped (as each program start does) leaves no descriptor open.
TEST(SignalBridge, ClosesItsDescriptorsWhenItGoes) {
    int argc = 1;
    char name[] = "unit_desktop";
    char* argv[] = {name, nullptr};
    QCoreApplication application(argc, argv);
    const auto open = [] { return QDir("/proc/self/fd").entryList(QDir::NoDotAndDotDot).size(); };
    const auto before = open();
    for (int i = 0; i < 3; ++i) app::SignalBridge bridge([] {});
    EXPECT_EQ(open(), before);
}

}  // namespace
