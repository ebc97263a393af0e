#include "SettingsFile.h"

#include <QFile>
#include <QSaveFile>

#include "Log.h"
#include "NumberText.h"

namespace core {
namespace {

// Positions within a line are 16-bit signed in the file's rules.
constexpr qsizetype kMaxLineLength = 32767;

QString asciiUpper(QStringView text) {
    QString out = text.toString();
    for (QChar& c : out)
        if (c >= u'a' && c <= u'z') c = QChar(c.unicode() - 32);
    return out;
}

// Only the ASCII space is trimmed: tabs and ideographic spaces may be part of a value.
QString trimSpaces(QStringView text) {
    qsizetype from = 0, to = text.size();
    while (from < to && text[from] == u' ') ++from;
    while (to > from && text[to - 1] == u' ') --to;
    return text.mid(from, to - from).toString();
}

// Splits at CR LF or a lone CR; a lone LF stays in the line. A last line without an
// end is a line too.
QStringList splitLines(const QString& text) {
    QStringList lines;
    qsizetype start = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] != u'\r') continue;
        lines << text.mid(start, i - start);
        if (i + 1 < text.size() && text[i + 1] == u'\n') ++i;
        start = i + 1;
    }
    if (start < text.size()) lines << text.mid(start);
    return lines;
}

// Stores one setting; false when a number is out of range.
bool applySetting(SharedState& state, const QString& name, const QString& value) {
    auto number = [&](std::int32_t& field) {
        auto n = ReadSettingNumber(value);
        if (!n) return false;
        field = *n;
        return true;
    };
    if (name == QStringLiteral("POP3"))
        state.pop3Server = value;
    else if (name == QStringLiteral("SMTP"))
        state.smtpServer = value;
    else if (name == QStringLiteral("USER_NAME"))
        state.userName = value;
    else if (name == QStringLiteral("PASSWD"))
        state.password = value;
    else if (name == QStringLiteral("TRANS"))
        state.forwardTo = value;
    else if (name == QStringLiteral("MAILACC"))
        state.mailAccount = value;
    else if (name == QStringLiteral("INTERVAL"))
        return number(state.intervalSec);
    else if (name == QStringLiteral("LENGTH"))
        return number(state.maxBodyChars);
    else if (name == QStringLiteral("REJECT")) {
        state.rejectList << value;
        ++state.rejectCount;
    } else if (name == QStringLiteral("ALLTRANS")) {
        state.fullTextList << value;
        ++state.fullTextCount;
    }
    return true;
}

void writeLine(QByteArray& out, const char* prefix, const QString& value) {
    out += prefix;
    out += value.toUtf8();
    out += "\r\n";
}

}  // namespace

QString SettingsFilePath(const QString& folder) {
    if (folder.endsWith(u'/') || folder.endsWith(u'\\')) return folder + kSettingsFileName;
    return folder + u'/' + kSettingsFileName;
}

std::int16_t LoadSettings(SharedState& state, const QString& path) {
    state.rejectList.clear();
    state.rejectCount = 0;
    state.fullTextList.clear();
    state.fullTextCount = 0;

    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return -1;
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError) return -1;
    file.close();

    // A byte-order mark left by another editor would otherwise hide the first name.
    QString text = QString::fromUtf8(bytes);
    if (text.startsWith(QChar(0xFEFF))) text.remove(0, 1);
    const QStringList lines = splitLines(text);
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const QString& line = lines[i];
        // The value is never logged: the line may hold the password.
        if (line.size() > kMaxLineLength) {
            qCWarning(lcCheck).noquote()
                << path << "line" << i + 1 << "is longer than" << kMaxLineLength
                << "characters; it and the lines after it are not read";
            return -1;
        }
        qsizetype comma = line.indexOf(u',');
        if (comma < 0) continue;
        const QString name = asciiUpper(QStringView(line).left(comma));
        if (!applySetting(state, name, trimSpaces(QStringView(line).mid(comma + 1)))) {
            qCWarning(lcCheck).noquote()
                << path << "line" << i + 1 << "(" + name + "):"
                << "the number is outside the 32-bit range; it and the lines after it are not "
                   "read";
            return -1;
        }
    }
    if (state.userName.isEmpty() || state.password.isEmpty() || state.pop3Server.isEmpty())
        return -1;
    return 0;
}

QByteArray SettingsFileBytes(const SettingsForm& form) {
    QByteArray out;
    writeLine(out, "POP3,", form.pop3);
    writeLine(out, "SMTP,", form.smtp);
    writeLine(out, "USER_NAME,", form.userName);
    writeLine(out, "PASSWD,", form.password);
    writeLine(out, "TRANS,", form.forwardTo);
    writeLine(out, "MAILACC,", form.mailAccount);
    writeLine(out, "INTERVAL,", form.interval);
    writeLine(out, "LENGTH,", form.length);
    for (const QString& entry : form.reject) writeLine(out, "REJECT,", entry);
    for (const QString& entry : form.fullText) writeLine(out, "ALLTRANS,", entry);
    return out;
}

bool WriteSettingsFile(const QString& path, const SettingsForm& form, QString* error) {
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        if (error) *error = file.errorString();
        return false;
    }
    file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    const QByteArray bytes = SettingsFileBytes(form);
    if (file.write(bytes) != bytes.size() || !file.commit()) {
        if (error) *error = file.errorString();
        return false;
    }
    return true;
}

}  // namespace core
