#include "WindowSignIn.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QProgressDialog>

#include "SignIn.h"
#include "Texts.h"
#include "ui/Texts.h"

namespace app {

bool SignInFromWindow(const core::SharedState& state, const QString& settingsFile,
                      const QString& providerFile, QWidget* parent) {
    QProgressDialog box(kSigningIn, ui::kCancelButton, 0, 0, parent);
    box.setWindowTitle(kSignInTitle);
    box.setWindowModality(Qt::WindowModal);
    box.setMinimumDuration(0);
    box.show();
    SignInRequest request{settingsFile, providerFile, false, &QDesktopServices::openUrl, {}};
    // The flow's own waits take no user input; the box's button is read here.
    request.cancelled = [&box] {
        QCoreApplication::processEvents();
        return box.wasCanceled();
    };
    return SignInFor(state, request, stdout, stderr) == 0;
}

}  // namespace app
