#pragma once
// The sign-in the window starts by itself when a +oauth2 server has no usable token:
// the browser flow, behind a box whose button gives up.

#include <QString>

class QWidget;

namespace core {
struct SharedState;
}

namespace app {

// True once every +oauth2 server of the settings has its tokens.
bool SignInFromWindow(const core::SharedState& state, const QString& settingsFile,
                      const QString& providerFile, QWidget* parent);

}  // namespace app
