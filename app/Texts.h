#pragma once
// The start-up texts of the program itself (the window's texts live with the window).

#include <QDateTime>
#include <QString>

namespace app {

// Shown by a second copy that found the lock taken; the lock file's path follows.
inline const QString kAlreadyRunning = QStringLiteral("Tarnpostは既に起動しています");
// The status line while a set-up that failed for a network reason waits for its next try.
inline QString SetUpRetryText(const QString& failure, const QDateTime& nextTry) {
    return QStringLiteral("%1（%2に再試行します）")
        .arg(failure, nextTry.toString(QStringLiteral("HH:mm:ss")));
}
// The set-up failure boxes' informative text: why the connection failed.
inline const QString kReasonAuthentication = QStringLiteral("認証に失敗しました");
inline const QString kReasonHostNotFound = QStringLiteral("サーバーが見つかりません");
inline const QString kReasonCannotConnect = QStringLiteral("接続できません");
inline const QString kReasonCertificate = QStringLiteral("証明書を確認できません");
inline const QString kReasonNoEncryption = QStringLiteral("暗号化された接続ができません");
inline const QString kReasonNoAnswer = QStringLiteral("サーバーが応答しません");
inline const QString kReasonSenderRefused = QStringLiteral("送信アカウントが受け付けられません");
// The status line after a check that an OAuth2 server refused for good.
inline const QString kSignInAgain =
    QStringLiteral("サインインし直してください（tarnpost --sign-in）");
// The box the window shows while it signs in by itself.
inline const QString kSignInTitle = QStringLiteral("サインイン");
inline const QString kSigningIn =
    QStringLiteral("ブラウザでサインインしてください。サインインが済むと接続します。");
inline constexpr int kExitUsage = 2;           // an unknown option or a bad value
inline constexpr int kExitAlreadyRunning = 3;  // another copy holds the lock

}  // namespace app
