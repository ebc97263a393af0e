// Mail that nobody here wrote (tests/realmail/ORIGINS.md), read by ReadMessage and by
// Python's email package. Every field on which the two differ must be listed, with
// its reason, in tests/realmail/differences.tsv; the README explains each reason.

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <map>
#include <set>

#include "../util/QtPrinters.h"
#include "mail/mime/MessageReader.h"

namespace {

const QString kFolder = QStringLiteral(TARNPOST_SOURCE_DIR "/tests/realmail/");

QJsonArray readWithPython() {
    QProcess python;
    python.start(QStringLiteral("python3"), {kFolder + "reference.py", kFolder + "mails"});
    if (!python.waitForFinished(120000)) python.kill();
    EXPECT_EQ(python.exitCode(), 0) << python.readAllStandardError().toStdString();
    return QJsonDocument::fromJson(python.readAllStandardOutput()).array();
}

// "file field" -> reason, from differences.tsv.
std::map<QString, QString> explained() {
    std::map<QString, QString> known;
    QFile file(kFolder + "differences.tsv");
    if (!file.open(QIODevice::ReadOnly)) return known;
    for (const QByteArray& line : file.readAll().split('\n')) {
        const QList<QByteArray> columns = line.split('\t');
        if (columns.size() >= 3 && !line.startsWith('#'))
            known[QString::fromUtf8(columns[0] + ' ' + columns[1])] = QString::fromUtf8(columns[2]);
    }
    return known;
}

// The digest's rule, applied to the reference too: controls become blanks.
QString asField(const QJsonValue& value) {
    QString text = value.toString();
    for (QChar& c : text)
        if (c.unicode() < 0x20 || (c.unicode() >= 0x7f && c.unicode() <= 0x9f)) c = u' ';
    return text;
}

// The start of a body, blanks and line ends as single blanks.
QString bodyStart(const QString& body) { return body.simplified().left(80); }

TEST(RealMail, AgreesWithPythonsEmailPackageOrTheDifferenceIsExplained) {
    const QJsonArray reference = readWithPython();
    ASSERT_GE(reference.size(), 150);
    const auto known = explained();
    std::set<QString> seen;
    QStringList unexplained;
    const QDateTime retrieved(QDate(2026, 12, 20), QTime(6, 30));
    for (const QJsonValue& entry : reference) {
        const QJsonObject python = entry.toObject();
        const QString name = python["file"].toString();
        QFile file(kFolder + "mails/" + name);
        ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << name.toStdString();
        const mime::ReadMail ours = mime::ReadMessage(file.readAll(), retrieved);
        const auto compare = [&](const char* field, const QString& mine, const QString& theirs) {
            if (mine == theirs) return;
            const QString key = name + ' ' + QLatin1String(field);
            seen.insert(key);
            if (!known.count(key))
                unexplained << key + QStringLiteral("\n  ours:   ") + mine +
                                   QStringLiteral("\n  python: ") + theirs;
        };
        if (!python["subject"].isNull())
            compare("subject", ours.subject, asField(python["subject"]));
        if (!python["fromName"].isNull()) {
            compare("fromName", ours.displayName, asField(python["fromName"]));
            compare("fromAddress", ours.address, asField(python["fromAddress"]));
        }
        if (python["bodyKind"].toString() == "plain")
            compare("body", bodyStart(ours.body), bodyStart(python["body"].toString()));
        if (!python["attachments"].isNull())
            compare("attachments", QString::number(ours.attachCount),
                    QString::number(python["attachments"].toInt()));
    }
    EXPECT_TRUE(unexplained.isEmpty()) << unexplained.size() << " unexplained differences:\n"
                                       << unexplained.join(u'\n').toStdString();
    QStringList stale;
    for (const auto& [key, reason] : known)
        if (!seen.count(key)) stale << key;
    EXPECT_TRUE(stale.isEmpty()) << "listed but no longer different:\n"
                                 << stale.join(u'\n').toStdString();
    std::printf("%lld mails, %zu differences, all explained: %s\n",
                static_cast<long long>(reference.size()), seen.size(),
                unexplained.isEmpty() ? "yes" : "no");
}

}  // namespace
