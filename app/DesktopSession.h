// What the modes with widgets (the interactive application and the idle benchmark) need
// from the desktop before the application runs, kept until its run has ended: the Qt
// application object, made on the main thread before any widget; Qt's event loop draining
// the main queue; the desktop's clipboard behind the general pasteboard and its opener
// behind the workspace. The command-line modes never make one, so they need no display.
// Made and owned by the process entry (runTonvale). Main thread only.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "app/AppDelegate.h"
#include "app/ConsoleOutput.h"
#include "app/LaunchMode.h"
#include "platform/appkit/Application.h"

namespace tonvale {

class DesktopSession {
public:
    virtual ~DesktopSession() = default;
};

// Makes the session a mode needs, or prints why there can be none and answers nothing.
using DesktopSessionFactory = std::function<std::unique_ptr<DesktopSession>(
    appkit::Application& application, LaunchMode mode, const EnvironmentLookup& environment, ConsoleOutput& console)>;

// The interactive application and the idle benchmark.
[[nodiscard]] bool needsDesktopSession(LaunchMode mode);

// The Qt platform a session runs on: the desktop's own where there is a display (or where
// QT_QPA_PLATFORM names one); the offscreen platform for the idle benchmark without a
// display, so that it can be measured headless, and for a picture of the popover.
struct DesktopPlatform {
    std::optional<std::string> qtPlatform;  // none: Qt's own choice
    bool hasDisplay = true;                 // false: the interactive application cannot run
    bool operator==(const DesktopPlatform&) const = default;
};
[[nodiscard]] DesktopPlatform chooseDesktopPlatform(LaunchMode mode, const EnvironmentLookup& environment);

// The program's session, on Qt 6 widgets.
[[nodiscard]] std::unique_ptr<DesktopSession> makeQtDesktopSession(appkit::Application& application, LaunchMode mode,
                                                                   const EnvironmentLookup& environment,
                                                                   ConsoleOutput& console);

}  // namespace tonvale
