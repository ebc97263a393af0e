#include "Headless.h"

#include "HeadlessWindow.h"
#include "Main.h"
#include "SignalBridge.h"
#include "core/CheckAndForward.h"

namespace app {

int RunHeadless(const SettingsLocation& location, const mail::ComponentRegistry& components) {
    core::SharedState state;
    HeadlessWindow window(state, location.settingsFile);
    SignalBridge signals([&] {
        window.End();
        components.EndTransfers();
    });
    Main supervisor(state, window, components, location.settingsFile,
                    [&] { return core::CheckAndForward(state, window); });
    return supervisor.Run();
}

}  // namespace app
