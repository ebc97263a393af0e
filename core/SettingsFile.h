#pragma once
// Tarnpost.ini: one "NAME,value" line per setting, UTF-8 without a byte-order mark.

#include <QString>
#include <QStringList>
#include <cstdint>

#include "SharedState.h"

namespace core {

inline const QString kSettingsFileName = QStringLiteral("Tarnpost.ini");

// The settings file in folder, with exactly one separator before the file name.
QString SettingsFilePath(const QString& folder);

// Reads the settings file into state. 0 when the whole file was read and the POP3
// server, user name and password are all non-empty; -1 otherwise (missing or unreadable
// file, a number out of range, a line over 32,767 characters, a required value empty).
// What earlier lines stored stays stored on failure. Shows nothing.
std::int16_t LoadSettings(SharedState& state, const QString& path);

// The window's fields as the save command writes them, each text unchanged.
struct SettingsForm {
    QString pop3, smtp, userName, password, forwardTo, mailAccount, interval, length;
    QStringList reject, fullText;
};

// The file's bytes for form: the eight single settings in their fixed order, then one
// REJECT line per reject entry and one ALLTRANS line per full-text entry, each CR LF.
QByteArray SettingsFileBytes(const SettingsForm& form);

// Replaces the file at path with form atomically, readable by its owner only (it holds
// the password). On failure the old file is untouched and error says why.
bool WriteSettingsFile(const QString& path, const SettingsForm& form, QString* error);

}  // namespace core
