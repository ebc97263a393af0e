// Property tests: random texts written as headers in every charset the reader claims
// must read back unchanged, and mail written by BuildMessage must read back unchanged
// through Python's email package. Seeded and bounded.

#include <glib.h>
#include <gtest/gtest.h>

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <random>

#include "../util/QtPrinters.h"
#include "mail/mime/GLibHandle.h"
#include "mail/mime/MessageReader.h"
#include "mail/mime/OutgoingMessage.h"

namespace {

const QDateTime kRetrieved(QDate(2026, 12, 20), QTime(6, 30, 0), Qt::LocalTime);

const QString kAscii =
    QStringLiteral("abcdefghijklmnopqrstuvwxyzABCXYZ0123456789 .,-!?=_()\"<>@:;");
const QString kJapanese = QStringLiteral(
    "あいうえおかきくけこさしすせそがぎぐアイウエオカキクケコガギグヴ日本語会議資料送付明日報告漢字"
    "東京大阪株式会社、。「」ー");
const QString kCp932Extensions = QStringLiteral("①②⑳㈱㈲髙﨑№℡Ⅰ");
const QString kEmoji = QStringLiteral("✨😀🎉");
const QString kWestern = QStringLiteral("àáâãäåçèéêëìíîïñòóôõöùúûüýÿßÀÉÖÜ£€«»");
const QString kCentral = QStringLiteral("ąćęłńóśźżĄĆĘŁŃŚŹŻčďěňřšťůžČŘŠŽ");
const QString kCyrillic = QStringLiteral("абвгдежзийклмнопрстуфхцчшщъыьэюяАБВГДЕЁЖЗИЙ");
const QString kKorean = QStringLiteral("가나다라마바사아자차카타파하한국어회의안녕하세요");
const QString kSimplified = QStringLiteral("中文简体会议资料发送明天报告这是测试");
const QString kTraditional = QStringLiteral("中文繁體會議資料發送明天報告這是測試");

struct Charset {
    const char* label;  // as written in the mail
    const char* iconvName;
    QString pool;
};

const std::vector<Charset>& charsets() {
    static const std::vector<Charset> all = {
        {"ISO-2022-JP", "ISO-2022-JP", kJapanese},
        {"Shift_JIS", "CP932", kJapanese + kCp932Extensions},
        {"EUC-JP", "EUC-JP", kJapanese},
        {"UTF-8", "UTF-8", kJapanese + kCp932Extensions + kEmoji + kWestern + kCyrillic + kKorean},
        {"ISO-8859-1", "ISO-8859-1", kWestern},
        {"ISO-8859-2", "ISO-8859-2", kCentral},
        {"ISO-8859-5", "ISO-8859-5", kCyrillic},
        {"ISO-8859-15", "ISO-8859-15", kWestern},
        {"Windows-1250", "WINDOWS-1250", kCentral},
        {"Windows-1251", "WINDOWS-1251", kCyrillic},
        {"Windows-1252", "WINDOWS-1252", kWestern},
        {"KOI8-R", "KOI8-R", kCyrillic},
        {"GB2312", "GB2312", kSimplified},
        {"GBK", "GBK", kSimplified},
        {"Big5", "BIG5", kTraditional},
        {"EUC-KR", "EUC-KR", kKorean},
    };
    return all;
}

std::optional<QByteArray> encode(const QString& text, const char* charset) {
    const QByteArray utf8 = text.toUtf8();
    gsize written = 0;
    const mime::GCharPtr out(
        g_convert(utf8.constData(), utf8.size(), charset, "UTF-8", nullptr, &written, nullptr));
    if (!out) return std::nullopt;
    return QByteArray(out.get(), static_cast<qsizetype>(written));
}

// Random text of characters the charset can carry; no blank at either end.
QString randomText(std::mt19937& random, const Charset& charset) {
    const QString pool = charset.pool + kAscii;
    const int length = std::uniform_int_distribution<int>(1, 40)(random);
    QString text;
    while (text.size() < length) {
        const QString c =
            pool.mid(std::uniform_int_distribution<qsizetype>(0, pool.size() - 1)(random), 1);
        if (c[0].isSurrogate()) continue;  // emoji are added whole below
        if (encode(c, charset.iconvName)) text += c;
    }
    if (charset.pool.contains(kEmoji) && random() % 2)
        text.insert(random() % text.size(), kEmoji.mid(1, 2));
    text = text.simplified();
    return text.isEmpty() ? QStringLiteral("x") : text;
}

QByteArray qEncode(const QByteArray& bytes) {
    QByteArray out;
    for (char c : bytes) {
        if (c == ' ')
            out += '_';
        else if (isalnum(static_cast<unsigned char>(c)))
            out += c;
        else
            out += '=' + QByteArray::number(static_cast<unsigned char>(c), 16)
                             .rightJustified(2, '0')
                             .toUpper();
    }
    return out;
}

// The bytes split at random positions into encoded words, folded at random.
QByteArray encodedWords(std::mt19937& random, const QByteArray& bytes, const char* label) {
    const bool base64 = random() % 2;
    std::vector<qsizetype> cuts = {0, bytes.size()};
    for (int i = random() % 4; i > 0; --i) cuts.push_back(random() % (bytes.size() + 1));
    std::sort(cuts.begin(), cuts.end());
    QByteArray out;
    for (size_t i = 0; i + 1 < cuts.size(); ++i) {
        const QByteArray piece = bytes.mid(cuts[i], cuts[i + 1] - cuts[i]);
        if (piece.isEmpty()) continue;
        if (!out.isEmpty()) out += std::array{" ", "\r\n ", "\r\n\t"}[random() % 3];
        out += QByteArray("=?") + label +
               (base64 ? "?B?" + piece.toBase64() : "?Q?" + qEncode(piece)) + "?=";
    }
    return out;
}

TEST(HeaderRoundTrip, EveryClaimedCharsetInBAndQSplitAnywhereReadsBack) {
    std::mt19937 random(20261207);
    int checked = 0;
    for (const Charset& charset : charsets()) {
        for (int i = 0; i < 40; ++i) {
            const QString text = randomText(random, charset);
            const auto bytes = encode(text, charset.iconvName);
            ASSERT_TRUE(bytes) << charset.label << " " << text.toStdString();
            const QByteArray subject = encodedWords(random, *bytes, charset.label);
            const QByteArray name = encodedWords(random, *bytes, charset.label);
            const QByteArray raw =
                "From: " + name + " <s@example.com>\r\nSubject: " + subject + "\r\n\r\nx\r\n";
            const mime::ReadMail read = mime::ReadMessage(raw, kRetrieved);
            EXPECT_EQ(read.subject, text) << charset.label << "\n" << subject.toStdString();
            EXPECT_EQ(read.displayName, text) << charset.label << "\n" << name.toStdString();
            EXPECT_EQ(read.address, "s@example.com") << name.toStdString();
            ++checked;
        }
    }
    EXPECT_EQ(checked, 40 * static_cast<int>(charsets().size()));
}

// Undeclared 8-bit header text, as old mailers and mobile phones send it: Japanese in
// Shift_JIS or EUC-JP, Western words with accented letters in Windows-1252, Russian in
// Windows-1251.
TEST(HeaderRoundTrip, UndeclaredJapaneseAndWesternTextIsRecognised) {
    std::mt19937 random(1207);
    const QString kana =
        QStringLiteral("あいうえおかきくけこさしすせそたちつてとアイウエオカキクケコ");
    const QString kanji =
        QStringLiteral("山田太郎佐藤鈴木会議資料送付明日報告東京大阪株式会社営業部");
    const QString accents = QStringLiteral("àáâãäçèéêëíîïñóôõöúûüß");
    const QString plain = QStringLiteral("abcdefghilmnoprstu");
    const QString cyrillic = QStringLiteral("абвгдежзийклмнопрстуфхцчшщыэюя");
    const auto pick = [&](const QString& pool) {
        return pool[std::uniform_int_distribution<qsizetype>(0, pool.size() - 1)(random)];
    };
    for (int i = 0; i < 100; ++i) {
        QString japanese, western, russian;
        for (int n = 2 + random() % 8; n > 0; --n) japanese += pick(random() % 2 ? kana : kanji);
        for (int word = 1 + random() % 3; word > 0; --word) {
            if (!western.isEmpty()) western += u' ';
            for (int n = 3 + random() % 6; n > 0; --n)
                western += pick(n % 3 == 1 ? accents : plain);
        }
        for (int n = 3 + random() % 8; n > 0; --n) russian += pick(cyrillic);
        for (const auto& [text, charset] :
             {std::pair{japanese, "CP932"}, std::pair{japanese, "EUC-JP"},
              std::pair{western, "WINDOWS-1252"}, std::pair{russian, "WINDOWS-1251"}}) {
            const QByteArray raw =
                "From: x@example.com\r\nSubject: " + *encode(text, charset) + "\r\n\r\nx\r\n";
            EXPECT_EQ(mime::ReadMessage(raw, kRetrieved).subject, text) << charset;
        }
    }
}

// What Python's email package (policy=default) reads from each file of a folder.
QJsonArray readWithPython(const QString& folder) {
    QProcess python;
    python.start(QStringLiteral("python3"),
                 {QStringLiteral(TARNPOST_SOURCE_DIR "/tests/realmail/reference.py"), folder});
    if (!python.waitForFinished(120000)) python.kill();
    EXPECT_EQ(python.exitCode(), 0) << python.readAllStandardError().toStdString();
    return QJsonDocument::fromJson(python.readAllStandardOutput()).array();
}

TEST(OutgoingRoundTrip, DigestAndForwardTextsReadBackIdenticalInPythonsEmailPackage) {
    std::mt19937 random(7122026);
    QTemporaryDir folder;
    std::vector<mime::OutgoingMail> written;
    for (int i = 0; i < 60; ++i) {
        const Charset& charset = charsets()[random() % charsets().size()];
        mime::OutgoingMail mail;
        mail.fromAddress = QStringLiteral("relay@example.jp");
        mail.fromName = randomText(random, charset);
        // A name of controls and blanks only (what a hostile sender's name can become).
        if (i % 7 == 3) mail.fromName = QString(80, u' ') + QChar(u'\x1f');
        mail.to = QStringLiteral("me@example.jp");
        mail.subject = randomText(random, charset);
        // Text that looks like encoded words stays text.
        if (i % 4 == 1)
            mail.subject.insert(random() % mail.subject.size(),
                                QStringLiteral(" =?-8?B? =?UTF-8?B?YWJj?= "));
        // Digest-like bodies: lines in CR LF, Latin-1-only text included, a NUL inside.
        for (int line = 0; line < 5; ++line) mail.body += randomText(random, charset) + "\r\n";
        if (i % 3 == 0) mail.body += QChar(u'\0') + QStringLiteral("after the NUL\r\n");
        if (i % 5 == 0) mail.body += QStringLiteral("Frösche £7\r\n");
        QFile file(folder.filePath(QStringLiteral("%1.eml").arg(i, 3, 10, QChar(u'0'))));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(mime::BuildMessage(mail));
        written.push_back(mail);
    }
    const QJsonArray read = readWithPython(folder.path());
    ASSERT_EQ(read.size(), static_cast<qsizetype>(written.size()));
    for (size_t i = 0; i < written.size(); ++i) {
        const QJsonObject python = read[static_cast<qsizetype>(i)].toObject();
        EXPECT_EQ(python["subject"].toString(), mime::NeutraliseHeaderText(written[i].subject))
            << i;
        // Python keeps the fold between two encoded words of a display name when the
        // second begins with a blank (RFC 2047 drops it): blanks are compared as runs.
        const QString name = mime::NeutraliseHeaderText(written[i].fromName);
        EXPECT_EQ(python["fromName"].toString().simplified(), name) << i;
        const QByteArray raw =
            folder.filePath(QStringLiteral("%1.eml").arg(i, 3, 10, QChar(u'0'))).toUtf8();
        QFile file(QString::fromUtf8(raw));
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        const mime::ReadMail ours = mime::ReadMessage(file.readAll(), kRetrieved);
        EXPECT_EQ(ours.displayName, name) << i;
        EXPECT_EQ(ours.body, written[i].body) << i;
        EXPECT_EQ(ours.subject, mime::NeutraliseHeaderText(written[i].subject)) << i;
        EXPECT_EQ(python["fromAddress"].toString(), written[i].fromAddress) << i;
        EXPECT_EQ(python["body"].toString(), written[i].body) << i;
        EXPECT_TRUE(python["defects"].toArray().isEmpty()) << i;
    }
}

}  // namespace
