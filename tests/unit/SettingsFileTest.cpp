#include <gtest/gtest.h>

#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>

#include "../util/QtPrinters.h"
#include "core/NumberText.h"
#include "core/SettingsFile.h"

using core::LoadSettings;
using core::SharedState;

namespace {

class SettingsFileTest : public ::testing::Test {
protected:
    QTemporaryDir dir;
    QString path = core::SettingsFilePath(dir.path());
    SharedState state;

    void write(const QByteArray& bytes) {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
    }
    std::int16_t load(const QByteArray& bytes) {
        write(bytes);
        return LoadSettings(state, path);
    }
};

const QByteArray kRequired = "POP3,pop.example.jp\r\nUSER_NAME,taro\r\nPASSWD,secret\r\n";

TEST(SettingsPath, OneSeparatorBeforeTheFileName) {
    EXPECT_EQ(core::SettingsFilePath("/opt/tarnpost"), "/opt/tarnpost/Tarnpost.ini");
    EXPECT_EQ(core::SettingsFilePath("/"), "/Tarnpost.ini");
    EXPECT_EQ(core::SettingsFilePath("C:\\"), "C:\\Tarnpost.ini");
}

struct NumberCase {
    const char* text;
    std::optional<std::int32_t> expected;
};

class NumberReading : public ::testing::TestWithParam<NumberCase> {};

TEST_P(NumberReading, ReadsTheNumberAtTheStart) {
    EXPECT_EQ(core::ReadSettingNumber(QString::fromUtf8(GetParam().text)), GetParam().expected)
        << GetParam().text;
}

INSTANTIATE_TEST_SUITE_P(
    Values, NumberReading,
    ::testing::Values(
        NumberCase{"60", 60}, NumberCase{"2.5", 2}, NumberCase{"3.5", 4}, NumberCase{"-2.5", -2},
        NumberCase{"0.5", 0}, NumberCase{"1.5", 2}, NumberCase{"12abc", 12}, NumberCase{"abc", 0},
        NumberCase{"", 0}, NumberCase{"&H10", 16}, NumberCase{"&h1f", 31}, NumberCase{"&O17", 15},
        NumberCase{"&O19", 1}, NumberCase{"&Hzz", 0}, NumberCase{"&X1", 0}, NumberCase{"1e3", 1000},
        NumberCase{"1E+2", 100}, NumberCase{"5e", 5}, NumberCase{"1 2 3", 123},
        NumberCase{"\t4\n5", 45}, NumberCase{"+7", 7}, NumberCase{"-", 0}, NumberCase{".", 0},
        NumberCase{"1.", 1}, NumberCase{"-3x", -3}, NumberCase{"2147483647", 2147483647},
        NumberCase{"-2147483648", std::numeric_limits<std::int32_t>::min()},
        NumberCase{"2147483648", std::nullopt}, NumberCase{"-2147483649", std::nullopt},
        NumberCase{"2147483647.4", 2147483647}, NumberCase{"1e400", std::nullopt},
        NumberCase{"&H80000000", std::nullopt}, NumberCase{"&HFFFFFFFFFFFFFFFFFFFF", std::nullopt},
        NumberCase{"\u00A060", 60}, NumberCase{"\u300030\u3000", 30},
        NumberCase{"\u00A0&H10", 16}));

struct NumericCase {
    const char* text;
    bool numeric;
};

class NumericText : public ::testing::TestWithParam<NumericCase> {};

TEST_P(NumericText, AcceptsPlainDecimalNumbersOnly) {
    EXPECT_EQ(core::IsNumericText(QString::fromUtf8(GetParam().text)), GetParam().numeric)
        << GetParam().text;
}

INSTANTIATE_TEST_SUITE_P(Values, NumericText,
                         ::testing::Values(NumericCase{"60", true}, NumericCase{" 1.5 ", true},
                                           NumericCase{"-3", true}, NumericCase{"1e3", true},
                                           NumericCase{".5", true}, NumericCase{"", false},
                                           NumericCase{" ", false}, NumericCase{"abc", false},
                                           NumericCase{"12abc", false}, NumericCase{"1e", false},
                                           NumericCase{"&H10", false}, NumericCase{"1 2", false},
                                           NumericCase{"+", false}));

TEST_F(SettingsFileTest, ReadsEverySetting) {
    ASSERT_EQ(load("pop3,pop.example.jp\r\nSmtp,smtp.example.jp\r\nUSER_NAME,taro\r\n"
                   "PASSWD,p,a,s,s\r\nTRANS,to@example.jp\r\nMAILACC,me@example.jp\r\n"
                   "INTERVAL,60\r\nLENGTH,100\r\nREJECT,spam@example.jp\r\n"
                   "ALLTRANS,@example.com\r\nALLTRANS,boss@example.jp"),
              0);
    EXPECT_EQ(state.pop3Server, "pop.example.jp");
    EXPECT_EQ(state.smtpServer, "smtp.example.jp");
    EXPECT_EQ(state.userName, "taro");
    EXPECT_EQ(state.password, "p,a,s,s");
    EXPECT_EQ(state.forwardTo, "to@example.jp");
    EXPECT_EQ(state.mailAccount, "me@example.jp");
    EXPECT_EQ(state.intervalSec, 60);
    EXPECT_EQ(state.maxBodyChars, 100);
    EXPECT_EQ(state.rejectList, QStringList{"spam@example.jp"});
    EXPECT_EQ(state.rejectCount, 1);
    EXPECT_EQ(state.fullTextList, (QStringList{"@example.com", "boss@example.jp"}));
    EXPECT_EQ(state.fullTextCount, 2);
}

struct LineCase {
    const char* name;
    QByteArray file;
    QString expectedUser;
};

class LineRules : public SettingsFileTest, public ::testing::WithParamInterface<LineCase> {};

TEST_P(LineRules, StoresTheValueAsTheRulesSay) {
    load(GetParam().file);
    EXPECT_EQ(state.userName, GetParam().expectedUser) << GetParam().name;
}

INSTANTIATE_TEST_SUITE_P(
    Lines, LineRules,
    ::testing::Values(
        LineCase{"lower case name", "user_name,taro\r\n", "taro"},
        LineCase{"blank before the name", " USER_NAME,taro\r\n", ""},
        LineCase{"blank after the name", "USER_NAME ,taro\r\n", ""},
        LineCase{"spaces around the value", "USER_NAME,  taro  \r\n", "taro"},
        LineCase{"tab kept in the value", "USER_NAME,\ttaro\r\n", "\ttaro"},
        LineCase{"commas in the value", "USER_NAME,a,b,,c\r\n", "a,b,,c"},
        LineCase{"later line wins", "USER_NAME,one\r\nUSER_NAME,two\r\n", "two"},
        LineCase{"lone CR ends a line", "USER_NAME,one\rPASSWD,x", "one"},
        LineCase{"lone LF stays in the line", "USER_NAME,one\nPASSWD,x\r\n", "one\nPASSWD,x"},
        LineCase{"last line without an end", "X,1\r\nUSER_NAME,last", "last"},
        LineCase{"line without a comma ignored", "USER_NAME taro\r\n", ""},
        LineCase{"unknown name ignored", "USERNAME,taro\r\n", ""},
        LineCase{"Japanese value", "USER_NAME,山田 太郎\r\n", QStringLiteral("山田 太郎")},
        LineCase{"byte-order mark", "\xEF\xBB\xBFUSER_NAME,taro\r\n", "taro"}),
    [](const auto& info) {
        QString name = QString::fromUtf8(info.param.name);
        name.replace(QRegularExpression("[^A-Za-z]"), "_");
        return name.toStdString();
    });

TEST_F(SettingsFileTest, ListsKeepEmptyAndRepeatedEntriesInFileOrder) {
    load("REJECT,a@x.jp\r\nREJECT,\r\nREJECT,a@x.jp\r\nALLTRANS,  @y.jp \r\n");
    EXPECT_EQ(state.rejectList, (QStringList{"a@x.jp", "", "a@x.jp"}));
    EXPECT_EQ(state.rejectCount, 3);
    EXPECT_EQ(state.fullTextList, QStringList{"@y.jp"});
}

TEST_F(SettingsFileTest, LoadingTwiceLeavesEachEntryOnce) {
    write(kRequired + "REJECT,a@x.jp\r\nALLTRANS,b@y.jp\r\n");
    ASSERT_EQ(LoadSettings(state, path), 0);
    ASSERT_EQ(LoadSettings(state, path), 0);
    EXPECT_EQ(state.rejectList, QStringList{"a@x.jp"});
    EXPECT_EQ(state.fullTextList, QStringList{"b@y.jp"});
    EXPECT_EQ(state.rejectCount, 1);
    EXPECT_EQ(state.fullTextCount, 1);
}

TEST_F(SettingsFileTest, NumbersRoundHalfToEven) {
    load("INTERVAL,2.5\r\nLENGTH,3.5\r\n");
    EXPECT_EQ(state.intervalSec, 2);
    EXPECT_EQ(state.maxBodyChars, 4);
}

QStringList warnings;
void recordWarning(QtMsgType type, const QMessageLogContext&, const QString& text) {
    if (type == QtWarningMsg) warnings << text;
}

TEST_F(SettingsFileTest, NumberOutOfRangeFailsAndKeepsEarlierLines) {
    warnings.clear();
    QtMessageHandler previous = qInstallMessageHandler(recordWarning);
    const auto result = load(kRequired + "REJECT,a@x.jp\r\nINTERVAL,2147483648\r\nLENGTH,5\r\n");
    qInstallMessageHandler(previous);
    EXPECT_EQ(result, -1);
    ASSERT_EQ(warnings.size(), 1);
    EXPECT_TRUE(warnings[0].contains("line 5 (INTERVAL)")) << warnings[0].toStdString();
    EXPECT_EQ(state.userName, "taro");
    EXPECT_EQ(state.rejectList, QStringList{"a@x.jp"});
    EXPECT_EQ(state.maxBodyChars, 0) << "lines after the faulty one are not read";
}

TEST_F(SettingsFileTest, LineLongerThan32767CharactersFails) {
    EXPECT_EQ(load(kRequired + "TRANS," + QByteArray(32767 - 6, 'a') + "\r\n"), 0);
    EXPECT_EQ(state.forwardTo.size(), 32767 - 6);
    EXPECT_EQ(load(kRequired + "TRANS," + QByteArray(32768 - 6, 'a') + "\r\nLENGTH,9\r\n"), -1);
    EXPECT_EQ(state.maxBodyChars, 0);
}

TEST_F(SettingsFileTest, RequiredSettings) {
    EXPECT_EQ(load(""), -1);
    EXPECT_EQ(load(kRequired), 0);
    EXPECT_EQ(load("POP3,p\r\nUSER_NAME,u\r\nPASSWD,   \r\n"), -1) << "a password of blanks";
    EXPECT_EQ(state.pop3Server, "p") << "the file is still loaded";
}

TEST_F(SettingsFileTest, MissingFileEmptiesListsAndKeepsOtherFields) {
    state.userName = "kept";
    state.intervalSec = 30;
    state.rejectList = QStringList{"old"};
    state.rejectCount = 1;
    EXPECT_EQ(LoadSettings(state, dir.filePath("absent.ini")), -1);
    EXPECT_TRUE(state.rejectList.isEmpty());
    EXPECT_EQ(state.rejectCount, 0);
    EXPECT_EQ(state.userName, "kept");
    EXPECT_EQ(state.intervalSec, 30);
}

TEST_F(SettingsFileTest, WrittenFileHasTheFixedOrderAndLoadsBack) {
    core::SettingsForm form{"pop",     "smtp", "user", " pass ",          "to@x.jp",
                            "me@x.jp", "1.5",  "100",  {"  abc ", "b@x"}, {"@y.jp"}};
    QString error;
    ASSERT_TRUE(core::WriteSettingsFile(path, form, &error)) << error.toStdString();
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(),
              "POP3,pop\r\nSMTP,smtp\r\nUSER_NAME,user\r\nPASSWD, pass \r\nTRANS,to@x.jp\r\n"
              "MAILACC,me@x.jp\r\nINTERVAL,1.5\r\nLENGTH,100\r\nREJECT,  abc \r\nREJECT,b@x\r\n"
              "ALLTRANS,@y.jp\r\n");
    EXPECT_EQ(file.permissions() &
                  (QFile::ReadGroup | QFile::ReadOther | QFile::WriteGroup | QFile::WriteOther),
              QFileDevice::Permissions{})
        << "the file holds the password";
    ASSERT_EQ(LoadSettings(state, path), 0);
    EXPECT_EQ(state.password, "pass");
    EXPECT_EQ(state.intervalSec, 2);
    EXPECT_EQ(state.rejectList, (QStringList{"abc", "b@x"}));
}

TEST_F(SettingsFileTest, FailedWriteLeavesTheOldFileAndSaysWhy) {
    write(kRequired);
    QString error;
    EXPECT_FALSE(core::WriteSettingsFile(dir.filePath("no/such/folder/Tarnpost.ini"), {}, &error));
    EXPECT_FALSE(error.isEmpty());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), kRequired);
}

}  // namespace
