// The temporary folder that holds the bundles a workspace service hands out for the
// applications it knows (Name.app/Contents/Info.plist, and the icon it declares in
// Contents/Resources), created on first use and removed with it.
//
// Owned by a workspace's server (the simulated one, or the desktop's); one per server.
// Thread-safety: not thread-safe; its owner serialises the calls.
#pragma once

#include <filesystem>
#include <optional>
#include <string>

namespace audioserver {

class BundleFolder {
public:
    BundleFolder() = default;
    ~BundleFolder();
    BundleFolder(const BundleFolder&) = delete;
    BundleFolder& operator=(const BundleFolder&) = delete;

    // The absolute path of a bundle: absolute paths stay as they are; a relative
    // one is created under this folder on first use, with its Info.plist and its icon: a
    // copy of iconPath, or a drawing of the name's initial on a colour of the identifier.
    [[nodiscard]] std::filesystem::path bundlePath(const std::string& path, const std::optional<std::string>& bundleID,
                                                   const std::optional<std::string>& name,
                                                   const std::optional<std::string>& iconPath);
    [[nodiscard]] const std::optional<std::filesystem::path>& root() const { return root_; }

private:
    std::optional<std::filesystem::path> root_;
};

}  // namespace audioserver
