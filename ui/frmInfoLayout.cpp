// The window's controls as laid out: positions in twips divided by 15 (pixels at 96 dpi).

#include <QButtonGroup>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>

#include "ServerEdit.h"
#include "Texts.h"
#include "frmInfo.h"

namespace ui {
namespace {

constexpr int kTwipsPerPixel = 15;
const QColor kWindowColour(192, 255, 192);  // &H00C0FFC0&
const QColor kStatusColour(255, 224, 192);  // &H00C0E0FF&

QRect twips(int left, int top, int width, int height) {
    return QRect(left / kTwipsPerPixel, top / kTwipsPerPixel, width / kTwipsPerPixel,
                 height / kTwipsPerPixel);
}

// "ＭＳ Ｐゴシック" where installed, else a metric-compatible Japanese Gothic.
QFont gothic(int pointSize) {
    QFont font;
    font.setFamilies({QStringLiteral("ＭＳ Ｐゴシック"), QStringLiteral("IPAPGothic"),
                      QStringLiteral("Noto Sans CJK JP")});
    font.setPointSize(pointSize);
    font.setWeight(QFont::Normal);
    return font;
}

void fill(QWidget* widget, const QColor& colour) {
    QPalette palette = widget->palette();
    palette.setColor(QPalette::Window, colour);
    widget->setPalette(palette);
    widget->setAutoFillBackground(true);
}

template <class Box = QLineEdit>
Box* textBox(QWidget* parent, const char* name, QRect where) {
    auto* box = new Box(parent);
    box->setObjectName(QLatin1String(name));
    box->setGeometry(where);
    box->setFont(gothic(12));
    return box;
}

// Labels size themselves to their caption and let the window's green show through.
QLabel* label(QWidget* parent, const QString& name, const QString& caption, QPoint at) {
    auto* text = new QLabel(caption, parent);
    text->setObjectName(name);
    text->move(at);
    text->adjustSize();
    return text;
}

QLabel* statusLabel(QWidget* parent, const char* name, QRect where) {
    auto* status = new QLabel(parent);
    status->setObjectName(QLatin1String(name));
    status->setGeometry(where);
    fill(status, kStatusColour);
    return status;
}

QPushButton* button(QWidget* parent, const char* name, const QString& caption, QRect where) {
    auto* push = new QPushButton(caption, parent);
    push->setObjectName(QLatin1String(name));
    push->setGeometry(where);
    return push;
}

QListWidget* listBox(QWidget* parent, const char* name, QRect where) {
    auto* list = new QListWidget(parent);
    list->setObjectName(QLatin1String(name));
    list->setGeometry(where);
    list->setSortingEnabled(false);
    return list;
}

QRadioButton* option(QWidget* parent, const char* name, const QString& caption, QRect where) {
    auto* radio = new QRadioButton(caption, parent);
    radio->setObjectName(QLatin1String(name));
    radio->setGeometry(where);
    fill(radio, kWindowColour);
    // A button fills its background in the Button role, grey, unless told otherwise.
    radio->setBackgroundRole(QPalette::Window);
    return radio;
}

}  // namespace

void frmInfo::buildLayout() {
    setObjectName(QStringLiteral("frmInfo"));
    setWindowTitle(QStringLiteral("Tarnpost"));
    setWindowIcon(QIcon(QStringLiteral(":/icons/window.ico")));
    setFixedSize(4500 / kTwipsPerPixel, 6360 / kTwipsPerPixel);
    setFont(gothic(9));
    fill(this, kWindowColour);

    auto lblAt = [this](int index, const QString& caption, int left, int top) {
        lblText[index] = label(this, QStringLiteral("lblText%1").arg(index), caption,
                               QPoint(left / kTwipsPerPixel, top / kTwipsPerPixel));
    };

    txtPop3 = textBox(this, "txtPop3", twips(1320, 240, 2895, 375));
    lblAt(0, QStringLiteral("POP3Server"), 120, 360);
    txtUser = textBox(this, "txtUser", twips(1320, 720, 2895, 375));
    lblAt(4, QStringLiteral("UserName"), 120, 840);
    txtPass = textBox(this, "txtPass", twips(1320, 1200, 2895, 375));
    lblAt(3, QStringLiteral("Password"), 120, 1320);
    txtSMTP = textBox<ServerEdit>(this, "txtSMTP", twips(1320, 1800, 2895, 375));
    lblAt(1, QStringLiteral("SMTPServer"), 120, 1920);
    txtAcc = textBox(this, "txtAcc", twips(1320, 2280, 2895, 375));
    lblAt(10, kCaptionAccount, 120, 2400);

    imgIcon = new QLabel(this);
    imgIcon->setObjectName(QStringLiteral("imgIcon"));
    imgIcon->setGeometry(twips(120, 2760, 480, 480));
    trayIcon_ = QIcon(QStringLiteral(":/icons/tray.ico"));
    imgIcon->setPixmap(trayIcon_.pixmap(32, 32));
    imgIcon->hide();

    txtSend = textBox(this, "txtSend", twips(1320, 2760, 2895, 375));
    lblAt(9, kCaptionForwardTo, 360, 2880);
    lblMode = label(this, QStringLiteral("lblMode"), QStringLiteral("転送無効"),
                    QPoint(240 / kTwipsPerPixel, 3240 / kTwipsPerPixel));
    optIgnor = option(this, "optIgnor", QStringLiteral("無効設定"), twips(1320, 3240, 1095, 180));
    optAll = option(this, "optAll", QStringLiteral("全文転送設定"), twips(2520, 3240, 1455, 180));
    auto* group = new QButtonGroup(this);
    group->addButton(optIgnor);
    group->addButton(optAll);
    optIgnor->setChecked(true);

    txtEdit = textBox(this, "txtEdit", twips(1320, 3480, 2895, 360));
    cmdAdd = button(this, "cmdAdd", QStringLiteral("追加"), twips(360, 3720, 615, 375));
    lstRej = listBox(this, "lstRej", twips(1320, 3840, 2895, 780));
    lstAll = listBox(this, "lstAll", twips(1320, 3840, 2895, 780));
    lstAll->hide();
    comdel = button(this, "comdel", QStringLiteral("削除"), twips(360, 4200, 615, 375));
    txtTime = textBox(this, "txtTime", twips(1440, 4680, 615, 375));
    lblAt(5, kCaptionInterval, 120, 4800);
    lblAt(6, QStringLiteral("（秒）"), 2040, 4800);
    txtLength = textBox(this, "txtLength", twips(1440, 5160, 615, 375));
    cmdUpdate = button(this, "cmdUpdate", QStringLiteral("更新"), twips(3360, 5160, 975, 375));
    lblAt(8, kCaptionLength, 120, 5280);
    lblAt(7, QStringLiteral("（文字 ）"), 2040, 5280);
    lblInfo = statusLabel(this, "lblInfo", twips(240, 5640, 4095, 375));
    lblInfo->setFont(gothic(kInfoPointSize));
    lblInfo->setWordWrap(true);
    lblTime = statusLabel(this, "lblTime", twips(240, 6000, 4095, 255));

    // The password box shows one "*" per character.
    txtPass->setEchoMode(QLineEdit::Password);
    txtPass->setStyleSheet(QStringLiteral("QLineEdit { lineedit-password-character: 42; }"));
    for (QLineEdit* box : {txtEdit, txtTime, txtLength, txtPass})
        box->setAttribute(Qt::WA_InputMethodEnabled, false);

    tmInt = new QTimer(this);
    tmInt->setObjectName(QStringLiteral("tmInt"));
    tmInt->setInterval(0);

    const QList<QWidget*> focusOrder = {txtPop3, txtUser,   txtPass, txtSMTP, txtAcc,    txtSend,
                                        txtTime, txtLength, cmdAdd,  comdel,  cmdUpdate, lstRej,
                                        txtEdit, optIgnor,  optAll,  lstAll};
    for (qsizetype i = 0; i + 1 < focusOrder.size(); ++i)
        setTabOrder(focusOrder[i], focusOrder[i + 1]);
    // Labels and the hidden image take no focus.
    for (QLabel* text : findChildren<QLabel*>()) text->setFocusPolicy(Qt::NoFocus);
}

}  // namespace ui
