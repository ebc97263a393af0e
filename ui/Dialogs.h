#pragma once
// The program's modal message boxes, built in one place so that tests can answer them.

#include <QPointer>
#include <QString>
#include <vector>

class QMessageBox;
class QWidget;

namespace ui {

inline const QString kTitle = QStringLiteral("Tarnpost");

class Dialogs {
public:
    virtual ~Dialogs() = default;
    // OK only, no icon, titled "Tarnpost"; informative is a line below the text, detail
    // (a server's answer) the box's tooltip.
    virtual void Inform(const QString& text, const QString& detail = {},
                        const QString& informative = {}) = 0;
    // OK and Cancel with the question icon; true for OK.
    virtual bool AskOkCancel(const QString& text) = 0;
    // Closes every box that is open as Cancel would: the program is ending (a signal, the
    // session ending) and nobody will answer it.
    virtual void DismissOpen() = 0;
};

class QtDialogs : public Dialogs {
public:
    explicit QtDialogs(QWidget* parent = nullptr) : parent_(parent) {}
    void SetParent(QWidget* parent) { parent_ = parent; }
    void Inform(const QString& text, const QString& detail = {},
                const QString& informative = {}) override;
    bool AskOkCancel(const QString& text) override;
    void DismissOpen() override;

private:
    int run(QMessageBox& box);

    QWidget* parent_;
    std::vector<QPointer<QMessageBox>> open_;  // innermost last
};

}  // namespace ui
