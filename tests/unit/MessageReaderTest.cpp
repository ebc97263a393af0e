#include <gtest/gtest.h>

#include <QFile>

#include "../util/QtPrinters.h"
#include "../util/TestMails.h"
#include "mail/mime/MessageReader.h"

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
    const mime::ReadMail read = mime::ReadMessage(corpus(c.file), kRetrieved);
    EXPECT_EQ(read.body, c.body);
    EXPECT_EQ(read.displayName, c.name);
    EXPECT_EQ(read.address, c.address);
    EXPECT_EQ(read.dateText, c.date);
    EXPECT_EQ(read.subject, c.subject);
    EXPECT_EQ(read.attachCount, c.attachments);
}

const QString kFallbackDate =
    kRetrieved.toString(QStringLiteral("yyyy/MM/dd HH:mm:ss ")) +
    QStringLiteral("%1%2")
        .arg(kRetrieved.offsetFromUtc() < 0 ? "-" : "+")
        .arg(QTime(0, 0).addSecs(std::abs(kRetrieved.offsetFromUtc())).toString("HHmm"));

INSTANTIATE_TEST_SUITE_P(
    Mails, Corpus,
    ::testing::Values(CorpusCase{"utf8-base64.eml", "明日は会議です。\r\nよろしく。\r\n",
                                 "Yamada, Taro", "taro@example.jp", "2026/12/07 09:05:00 +0900",
                                 "会議のお知らせ", 0},
                      CorpusCase{"iso2022jp-folded.eml", "本日の資料を送ります。\r\n", "佐藤",
                                 "sato@example.co.jp", "2026/12/08 13:30:00 +0900", "資料送付", 0},
                      CorpusCase{"sjis-unlabelled.eml", "お世話になっております。鈴木です。\r\n",
                                 "", "suzuki@example.jp", "2026/12/08 10:15:00 +0900", "sjis", 0},
                      CorpusCase{"eucjp.eml", "今週の報告です。\r\n", "", "kato@example.jp",
                                 "2026/12/09 18:00:00 +0900", "週報", 0},
                      CorpusCase{"cp932-labelled-sjis.eml", "①㈱髙橋\r\n", "", "ito@example.jp",
                                 "2026/12/10 08:00:00 +0900", "cp932", 0},
                      CorpusCase{"iso2022jp-nec-extensions.eml", "①② 株式会社 ㈱\r\n", "",
                                 "nec@example.jp", "2026/12/17 08:00:00 +0900", "①", 0},
                      CorpusCase{"raw-jis-header.eml", "テスト\r\n", "山本", "yamamoto@example.jp",
                                 "2026/12/11 07:07:07 +0900", "案件", 0},
                      CorpusCase{"html-only.eml",
                                 "Title\r\nFirst\u00a0para & more\r\nLine\r\nBreak\r\none\r\ntwo",
                                 "", "news@example.com", "2026/12/12 12:00:00 +0000", "News", 0},
                      CorpusCase{"alternative.eml", "Plain version: café\r\n", "Shop",
                                 "shop@example.com", "2026/12/13 21:45:00 -0800", "Alt", 0},
                      CorpusCase{"related-inline.eml", "See the picture.", "", "a@example.com",
                                 "2026/12/14 01:02:03 +0100", "Related", 2},
                      CorpusCase{"rfc822-attached.eml", "Forwarding this.", "", "fwd@example.com",
                                 "2026/12/15 10:00:00 +0900", "Fwd: original", 1},
                      CorpusCase{"latin1-qp.eml", "Bonjour à tous, merci.\r\n", "André",
                                 "andre@example.fr", "2026/12/16 09:00:00 +0000", "réunion", 0},
                      CorpusCase{"group-from.eml", "hi\r\n", "Lead", "lead@example.com",
                                 "2026/12/16 23:00:00 +0900", "group", 0},
                      CorpusCase{"no-date-no-from.eml", "body only\r\n", "", "", kFallbackDate,
                                 "nothing else", 0},
                      // Carrier emoji: au's ISO-2022-JP rows, SoftBank's Shift_JIS codes.
                      CorpusCase{"au-jis-emoji.eml", "ありがとう😃\r\n", "加藤",
                                 "kana.kato@ezweb.ne.jp", "2026/12/18 20:15:00 +0900", "題名⚠", 0},
                      CorpusCase{"softbank-sjis-emoji.eml", "お茶どうぞ☕\r\n", "",
                                 "hanako@softbank.ne.jp", "2026/12/19 08:30:00 +0900", "了解☝", 0}),
    [](const auto& info) {
        std::string name = info.param.file;
        for (char& c : name)
            if (!isalnum(static_cast<unsigned char>(c))) c = '_';
        return name;
    });

TEST(MessageReader, BrokenMailStillYieldsWhatCanBeRead) {
    const mime::ReadMail read = mime::ReadMessage(corpus("broken.eml"), kRetrieved);
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
    const mime::ReadMail read = mime::ReadMessage(GetParam().raw, kRetrieved);
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
                    "Content-Type: multipart/mixed; boundary=\"z\"\r\n\r\n--z\r\nContent-Type: "
                    "text/plain\r\n"},
        HostileCase{"headerOnly", "From: a@b.c"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(MessageReader, DeepNestingIsBoundedButTheSenderIsRead) {
    const mime::ReadMail read = mime::ReadMessage(deeplyNested(500), kRetrieved);
    EXPECT_EQ(read.address, "deep@example.com");
    EXPECT_TRUE(read.body.isEmpty()) << "the body lies deeper than the walk goes";
    const mime::ReadMail shallow = mime::ReadMessage(deeplyNested(5), kRetrieved);
    EXPECT_EQ(shallow.body, "innermost\r\n");
}

struct DateCase {
    const char* header;
    const char* expected;
};

class DateForms : public ::testing::TestWithParam<DateCase> {};

TEST_P(DateForms, KeepTheSendersClockAndOffset) {
    const QByteArray raw =
        QByteArray("From: a@b.c\r\nDate: ") + GetParam().header + "\r\n\r\nx\r\n";
    EXPECT_EQ(mime::ReadMessage(raw, kRetrieved).dateText, GetParam().expected)
        << GetParam().header;
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

namespace faults {

// One case per class of mail that real mailers send and that was once read wrong.
struct FaultCase {
    const char* name;
    QByteArray raw;
    QString mime::ReadMail::*field;
    QString expected;
};

QByteArray withHeaders(const QByteArray& headers, const QByteArray& body = "x\r\n") {
    return headers + "\r\n\r\n" + body;
}

QByteArray hugeCharsetName() {
    return withHeaders(
        "From: a@example.com\r\nSubject: big\r\nContent-Type: text/plain; charset=\"" +
            QByteArray(9 * 1024 * 1024, 'a') + "\"",
        "still here\r\n");
}

class Faults : public ::testing::TestWithParam<FaultCase> {};

TEST_P(Faults, ReadAsTheSenderWroteIt) {
    const FaultCase& c = GetParam();
    EXPECT_EQ(mime::ReadMessage(c.raw, kRetrieved).*c.field, c.expected);
}

using M = mime::ReadMail;
INSTANTIATE_TEST_SUITE_P(
    Mails, Faults,
    ::testing::Values(
        FaultCase{"blankInsideEncodedWord",
                  withHeaders("Subject: =?UTF-8?B?44GCIA==?=\r\n =?UTF-8?B?4pyo?="), &M::subject,
                  "あ ✨"},
        FaultCase{"blankInsideJisWord",
                  withHeaders(
                      "Subject: =?ISO-2022-JP?B?GyRCJCIbKEIg?=\r\n =?ISO-2022-JP?B?GyRCJCQbKEI=?="),
                  &M::subject, "あ い"},
        FaultCase{"characterSplitAcrossWords",
                  withHeaders("Subject: =?UTF-8?B?44E=?= =?UTF-8?B?guOBhA==?= tail"), &M::subject,
                  "あい tail"},
        FaultCase{"undecodableBytesKeepTheRest",
                  withHeaders("Subject: =?UTF-8?B?/w==?= =?UTF-8?Q?after?= end"), &M::subject,
                  "\uFFFDafter end"},
        FaultCase{"shiftJisWordAsCp932", withHeaders("Subject: =?Shift_JIS?B?7uCHQIeK?="),
                  &M::subject, "髙①㈱"},
        FaultCase{"docomoEmojiInShiftJis", withHeaders("Subject: =?SHIFT_JIS?B?+J8=?="),
                  &M::subject, "☀"},
        FaultCase{"unmappedAuEmojiIsOneGeta",
                  withHeaders("Subject: =?ISO-2022-JP?B?GyRCQmpMPn5+GyhC?="), &M::subject,
                  "題名〓"},
        FaultCase{"unmappedJisCharacterUsesBothBytes",
                  withHeaders("Subject: =?ISO-2022-JP?B?GyRCQmoqISQiGyhC?="), &M::subject,
                  "題\uFFFDあ"},
        FaultCase{"raw8BitInsideEncodedWord",
                  withHeaders("Subject: =?iso-8859-1?Q?Die_Hasen_und_die_Fr\xf6sche?="),
                  &M::subject, "Die Hasen und die Frösche"},
        FaultCase{"lastLineWithDashesBeforeTheBoundary",
                  withHeaders("Content-Type: multipart/mixed; boundary=\"----------B---\"",
                              "------------B---\r\nContent-Type: text/plain\r\n\r\n"
                              "bounced\r\n--- a copy of the mail follows\r\n\r\n"
                              "------------B---\r\nContent-Type: text/plain\r\n"
                              "Content-Disposition: attachment\r\n\r\ncopy\r\n"
                              "------------B-----\r\n"),
                  &M::body, "bounced\r\n--- a copy of the mail follows\r\n"},
        FaultCase{"jisHalfWidthKatakanaBody",
                  withHeaders("Content-Type: text/plain; charset=ISO-2022-JP",
                              "\x1b(I12\x1b(B \x0e"
                              "34\x0f"
                              " end\r\n"),
                  &M::body, "ｱｲ ｳｴ end\r\n"},
        FaultCase{"jisHalfWidthKatakanaWord",
                  withHeaders("Subject: =?ISO-2022-JP?B?GyhJMTIbKEI=?="), &M::subject, "ｱｲ"},
        FaultCase{
            "mobileCarrierAddress",
            withHeaders("From: =?ISO-2022-JP?B?GyRCOzNFRBsoQg==?= <taro..keitai.@docomo.ne.jp>"),
            &M::address, "taro..keitai.@docomo.ne.jp"},
        FaultCase{
            "mobileCarrierName",
            withHeaders("From: =?ISO-2022-JP?B?GyRCOzNFRBsoQg==?= <taro..keitai.@docomo.ne.jp>"),
            &M::displayName, "山田"},
        FaultCase{"raw8BitName", withHeaders("From: \xe5\xb1\xb1\xe7\x94\xb0 <y@example.jp>"),
                  &M::displayName, "山田"},
        FaultCase{"encodedWordOnlyFrom", withHeaders("From: =?ISO-2022-JP?B?GyRCOzNFRBsoQg==?="),
                  &M::displayName, "山田"},
        FaultCase{"mailerDaemonKeepsItsName", withHeaders("From: MAILER DAEMON <>"),
                  &M::displayName, "MAILER DAEMON"},
        FaultCase{"undeclaredLatin1", withHeaders("Subject: Forma\xe7\xe3o de pre\xe7os"),
                  &M::subject, "Formação de preços"},
        FaultCase{"undeclaredPound",
                  withHeaders("Subject: Salary \xa3"
                              "7,000 per month for the right candidate"),
                  &M::subject, "Salary £7,000 per month for the right candidate"},
        FaultCase{
            "undeclaredShiftJis",
            withHeaders("Subject: \x82\xa8\x90\xa2\x98\x62\x82\xc9\x82\xc8\x82\xc1\x82\xc4\x82"
                        "\xa8\x82\xe8\x82\xdc\x82\xb7"),
            &M::subject, "お世話になっております"},
        FaultCase{"controlsInName",
                  withHeaders("From: =?UTF-8?B?RXZpbA0KWC1JbmplY3RlZDogMQ==?= <e@example.com>"),
                  &M::displayName, "Evil  X-Injected: 1"},
        FaultCase{
            "fakeDigestEntryInSubject",
            withHeaders(
                "Subject: =?UTF-8?B?5Lu25ZCNDQpOby45OSAwOTowMA0KZnJvbSBjZW9AZXhhbXBsZS5jb20=?="),
            &M::subject, "件名  No.99 09:00  from ceo@example.com"},
        FaultCase{"utf7Word", withHeaders("Subject: =?UTF-7?B?K1plVm5MSXFlIGNhZitBT2st?="),
                  &M::subject, "日本語 café"},
        FaultCase{
            "titleOutsideTheHeadIsNoText",
            withHeaders("Content-Type: text/html; charset=UTF-8", "<p>a</p><title>T</title>x\r\n"),
            &M::body, "a\r\nx"},
        FaultCase{"blankLineOfSpacesEndsHeader",
                  "From: a@example.com\r\nSubject: s\r\n \r\nthe body\r\n", &M::body,
                  "the body\r\n"},
        FaultCase{"rawNulKeepsTheRest",
                  withHeaders("Subject: n", QByteArray("before\0after\r\n", 14)), &M::body,
                  QString::fromUtf8("before\0after\r\n", 14)},
        FaultCase{"base64NulKeepsTheRest",
                  withHeaders("Content-Transfer-Encoding: base64", "YmVmb3JlAGFmdGVyDQo=\r\n"),
                  &M::body, QString::fromUtf8("before\0after\r\n", 14)},
        FaultCase{"hugeCharsetNameIsCut", hugeCharsetName(), &M::body, "still here\r\n"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(MessageReader, AttachmentsPastThePartBoundAreCountedFromTheirHeaders) {
    const mime::ReadMail read = mime::ReadMessage(testutil::ManyAttachments(5000), kRetrieved);
    EXPECT_EQ(read.attachCount, 5000);
    EXPECT_EQ(read.body, "the text");
}

}  // namespace faults
