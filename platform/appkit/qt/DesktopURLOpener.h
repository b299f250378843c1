// The desktop's opener as the workspace's: a URL opens in the user's default browser
// or the application the desktop associates with it. The interactive application
// installs it with Workspace::setURLOpener.
// Thread-safety: open may be called from any thread; the opening itself happens on
// the GUI thread (at once when called there). Needs the QGuiApplication.
#pragma once

#include <string>

#include "platform/appkit/URLOpening.h"

namespace appkit {

class DesktopURLOpener final : public URLOpening {
public:
    // False for text that is no valid URL with a scheme, or when the desktop could not
    // start its opener; true once handed over from another thread.
    bool open(const std::string& url) override;
};

}  // namespace appkit
