#include "ui/AppIcon.h"

#include "platform/appkit/Workspace.h"

namespace tonvale {

std::optional<std::filesystem::path> AppIcon::applicationURL() const {
    return appkit::Workspace::sharedWorkspace().URLForApplicationWithBundleIdentifier(bundleID);
}

Label AppIcon::placeholder() { return {{}, "app.fill", appkit::Color::secondaryLabelColor}; }

}  // namespace tonvale
