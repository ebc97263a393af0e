#include "../util/QtPrinters.h"
#include "mail/adapter/MessageReader.h"

#include <QFile>
#include <gtest/gtest.h>

namespace {

const QDateTime kRetrieved(QDate(2026, 12, 20), QTime(6, 30, 0), Qt::LocalTime);

QByteArray corpus(const char* name) {
    QFile file(QStringLiteral(TARNPOST_SOURCE_DIR "/tests/corpus/") + QLatin1String(name));
    EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << name;
    return file.readAll();
}

struct CorpusCase {
    const char* file;
    QString body, name, address, date, subject;
    int attachments;
};

class Corpus : public ::testing::TestWithParam<CorpusCase> {};

TEST_P(Corpus, ReadsAsAMailClientShowsIt) {
    const CorpusCase& c = GetParam();
    const mail::ReadMail read = mail::ReadMessage(corpus(c.file), kRetrieved);
    EXPECT_EQ(read.body, c.body);
    EXPECT_EQ(read.displayName, c.name);
    EXPECT_EQ(read.address, c.address);
    EXPECT_EQ(read.dateText, c.date);
    EXPECT_EQ(read.subject, c.subject);
    EXPECT_EQ(read.attachCount, c.attachments);
}

const QString kFallbackDate =
    kRetrieved.toString(QStringLiteral("yyyy/MM/dd HH:mm:ss ")) +
    QStringLiteral("%1%2").arg(kRetrieved.offsetFromUtc() < 0 ? "-" : "+").arg(
        QTime(0, 0).addSecs(std::abs(kRetrieved.offsetFromUtc())).toString("HHmm"));

INSTANTIATE_TEST_SUITE_P(
    Mails, Corpus,
    ::testing::Values(
        CorpusCase{"utf8-base64.eml", "明日は会議です。\r\nよろしく。\r\n", "Yamada, Taro",
                   "taro@example.jp", "2026/12/07 09:05:00 +0900", "会議のお知らせ", 0},
        CorpusCase{"iso2022jp-folded.eml", "本日の資料を送ります。\r\n", "佐藤",
                   "sato@example.co.jp", "2026/12/08 13:30:00 +0900", "資料送付", 0},
        CorpusCase{"sjis-unlabelled.eml", "お世話になっております。鈴木です。\r\n", "",
                   "suzuki@example.jp", "2026/12/08 10:15:00 +0900", "sjis", 0},
        CorpusCase{"eucjp.eml", "今週の報告です。\r\n", "", "kato@example.jp",
                   "2026/12/09 18:00:00 +0900", "週報", 0},
        CorpusCase{"cp932-labelled-sjis.eml", "①㈱髙橋\r\n", "", "ito@example.jp",
                   "2026/12/10 08:00:00 +0900", "cp932", 0},
        CorpusCase{"iso2022jp-nec-extensions.eml", "①② 株式会社 ㈱\r\n", "", "nec@example.jp",
                   "2026/12/17 08:00:00 +0900", "①", 0},
        CorpusCase{"raw-jis-header.eml", "テスト\r\n", "山本", "yamamoto@example.jp",
                   "2026/12/11 07:07:07 +0900", "案件", 0},
        CorpusCase{"html-only.eml", "Title\r\nFirst\u00a0para & more\r\nLine\r\nBreak\r\none\r\ntwo",
                   "", "news@example.com", "2026/12/12 12:00:00 +0000", "News", 0},
        CorpusCase{"alternative.eml", "Plain version: café\r\n", "Shop", "shop@example.com",
                   "2026/12/13 21:45:00 -0800", "Alt", 0},
        CorpusCase{"related-inline.eml", "See the picture.", "", "a@example.com",
                   "2026/12/14 01:02:03 +0100", "Related", 2},
        CorpusCase{"rfc822-attached.eml", "Forwarding this.", "", "fwd@example.com",
                   "2026/12/15 10:00:00 +0900", "Fwd: original", 1},
        CorpusCase{"latin1-qp.eml", "Bonjour à tous, merci.\r\n", "André", "andre@example.fr",
                   "2026/12/16 09:00:00 +0000", "réunion", 0},
        CorpusCase{"group-from.eml", "hi\r\n", "Lead", "lead@example.com",
                   "2026/12/16 23:00:00 +0900", "group", 0},
        CorpusCase{"no-date-no-from.eml", "body only\r\n", "", "", kFallbackDate,
                   "nothing else", 0}),
    [](const auto& info) {
        std::string name = info.param.file;
        for (char& c : name)
            if (!isalnum(static_cast<unsigned char>(c))) c = '_';
        return name;
    });

TEST(MessageReader, BrokenMailStillYieldsWhatCanBeRead) {
    const mail::ReadMail read = mail::ReadMessage(corpus("broken.eml"), kRetrieved);
    EXPECT_EQ(read.address, "x@example.com");
    EXPECT_EQ(read.subject, "broken");
    EXPECT_EQ(read.dateText, kFallbackDate) << "an unreadable Date falls back to retrieval";
    EXPECT_EQ(read.attachCount, 1);
}

struct HostileCase {
    const char* name;
    QByteArray raw;
};

QByteArray deeplyNested(int depth) {
    QByteArray raw = "From: deep@example.com\r\nSubject: deep\r\nMIME-Version: 1.0\r\n";
    for (int i = 0; i < depth; ++i)
        raw += "Content-Type: multipart/mixed; boundary=\"b" + QByteArray::number(i) +
               "\"\r\n\r\n--b" + QByteArray::number(i) + "\r\n";
    raw += "Content-Type: text/plain\r\n\r\ninnermost\r\n";
    return raw;
}

class Hostile : public ::testing::TestWithParam<HostileCase> {};

TEST_P(Hostile, NeverCrashesAndKeepsTheSender) {
    const mail::ReadMail read = mail::ReadMessage(GetParam().raw, kRetrieved);
    EXPECT_FALSE(read.dateText.isEmpty());
    EXPECT_GE(read.attachCount, 0);
}

INSTANTIATE_TEST_SUITE_P(
    Inputs, Hostile,
    ::testing::Values(
        HostileCase{"empty", ""},
        HostileCase{"binaryGarbage", QByteArray(4096, '\xff') + QByteArray(100, '\0')},
        HostileCase{"hugeHeaderLine",
                    "From: a@b.c\r\nSubject: " + QByteArray(100 * 1024, 'x') + "\r\n\r\nbody\r\n"},
        HostileCase{"deepNesting", deeplyNested(500)},
        HostileCase{"truncatedMultipart",
                    "Content-Type: multipart/mixed; boundary=\"z\"\r\n\r\n--z\r\nContent-Type: text/plain\r\n"},
        HostileCase{"headerOnly", "From: a@b.c"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(MessageReader, DeepNestingIsBoundedButTheSenderIsRead) {
    const mail::ReadMail read = mail::ReadMessage(deeplyNested(500), kRetrieved);
    EXPECT_EQ(read.address, "deep@example.com");
    EXPECT_TRUE(read.body.isEmpty()) << "the body lies deeper than the walk goes";
    const mail::ReadMail shallow = mail::ReadMessage(deeplyNested(5), kRetrieved);
    EXPECT_EQ(shallow.body, "innermost\r\n");
}

struct DateCase {
    const char* header;
    const char* expected;
};

class DateForms : public ::testing::TestWithParam<DateCase> {};

TEST_P(DateForms, KeepTheSendersClockAndOffset) {
    const QByteArray raw = QByteArray("From: a@b.c\r\nDate: ") + GetParam().header + "\r\n\r\nx\r\n";
    EXPECT_EQ(mail::ReadMessage(raw, kRetrieved).dateText, GetParam().expected) << GetParam().header;
}

INSTANTIATE_TEST_SUITE_P(
    Headers, DateForms,
    ::testing::Values(DateCase{"Mon, 7 Dec 2026 09:05:00 +0900", "2026/12/07 09:05:00 +0900"},
                      DateCase{"Mon, 7 Dec 2026 09:05:00 +0900 (JST)", "2026/12/07 09:05:00 +0900"},
                      DateCase{"7 Dec 2026 09:05:00 +0900", "2026/12/07 09:05:00 +0900"},
                      DateCase{"Mon, 7 Dec 26 09:05 +0900", "2026/12/07 09:05:00 +0900"},
                      DateCase{"Mon, 7 Dec 2026 09:05:00 GMT", "2026/12/07 09:05:00 +0000"},
                      DateCase{"Mon, 7 Dec 2026 09:05:00 UT", "2026/12/07 09:05:00 +0000"},
                      DateCase{"Mon, 7 Dec 2026 09:05:00 EST", "2026/12/07 09:05:00 -0500"},
                      DateCase{"Mon, 7 Dec 2026 09:05:00 JST", "2026/12/07 09:05:00 +0900"},
                      DateCase{"Mon, 7 Dec 2026 23:59:59 -1200", "2026/12/07 23:59:59 -1200"}));

}  // namespace
