// The application's standard about panel: its icon (the one its bundle declares),
// its name, its version from the bundle, and credits as rich text whose links open
// through the workspace. Asking again brings the open panel to the front instead of
// opening a second one.
// Main thread only; the panel lives until the user closes it.
#pragma once

#include <QWidget>

#include <optional>
#include <string>

#include "platform/appkit/AttributedString.h"

namespace appkit {

struct AboutPanelOptions {
    // The name shown; the application's display name when absent.
    std::optional<std::string> applicationName;
    std::optional<MutableAttributedString> credits;
};

void orderFrontStandardAboutPanelWithOptions(const AboutPanelOptions& options);

// The open about panel, if any.
[[nodiscard]] QWidget* standardAboutPanel();

}  // namespace appkit
