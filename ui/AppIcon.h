// An application's icon as the row shows it: the workspace is asked where the application
// with the bundle identifier is installed, and that bundle's declared icon is drawn; an
// application that cannot be found shows the placeholder symbol. No cache: every look-up
// asks the workspace again, so an application installed later shows its icon.
// Thread-safety: a value; applicationURL may be called from any thread.
#pragma once

#include <filesystem>
#include <optional>
#include <string>

#include "ui/Label.h"

namespace tonvale {

struct AppIcon {
    static constexpr int kSize = 30;

    std::string bundleID;

    // The application's bundle folder, whose declared icon is drawn; none when the
    // workspace does not know it.
    [[nodiscard]] std::optional<std::filesystem::path> applicationURL() const;
    // What is drawn when the application or its icon cannot be found: "app.fill".
    [[nodiscard]] static Label placeholder();

    bool operator==(const AppIcon&) const = default;
};

}  // namespace tonvale
