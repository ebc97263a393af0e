#pragma once
// The window's texts: the field captions, what the save command says, the boxes' buttons.

#include <QString>

namespace ui {

inline const QString kCaptionAccount = QStringLiteral("送信アカウント");
inline const QString kCaptionForwardTo = QStringLiteral("転送先");
inline const QString kCaptionInterval = QStringLiteral("チェック間隔");
inline const QString kCaptionLength = QStringLiteral("本文有効文字数");

// %1 is the caption of the field that holds the faulty value.
inline const QString kNumberOutOfRange = QStringLiteral("%1の値が範囲外です");
inline const QString kNotAnAddress = QStringLiteral("%1のメールアドレスが正しくありません");

// The tray icon's right-click menu.
inline const QString kTrayMenuShow = QStringLiteral("表示");
inline const QString kTrayMenuCheckNow = QStringLiteral("今すぐチェック");
inline const QString kTrayMenuQuit = QStringLiteral("終了");

// The question box's Cancel button.
inline const QString kCancelButton = QStringLiteral("キャンセル");

}  // namespace ui
