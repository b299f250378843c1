// An application's icon, as the workspace gives it for an application's bundle folder:
// the file its Info.plist names (CFBundleIconFile, with or without its extension) in
// Contents/Resources. None when the folder is no bundle, declares no icon, or the
// file cannot be read.
// Thread-safety: main thread only (draws through Qt).
#pragma once

#include <filesystem>
#include <optional>

#include "platform/appkit/qt/Image.h"

namespace appkit {

[[nodiscard]] std::optional<Image> iconForFile(const std::filesystem::path& bundlePath);

}  // namespace appkit
