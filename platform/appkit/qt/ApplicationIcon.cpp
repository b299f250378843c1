#include "platform/appkit/qt/ApplicationIcon.h"

#include <string>

#include "platform/foundation/Bundle.h"

namespace appkit {

std::optional<Image> iconForFile(const std::filesystem::path& bundlePath) {
    const auto bundle = foundation::Bundle::at(bundlePath);
    if (!bundle) {
        return std::nullopt;
    }
    const auto iconFile = bundle->infoValue("CFBundleIconFile");
    // The entry names a file inside Contents/Resources; anything that would lead out of
    // it (a path, "..") is not an icon of this bundle.
    if (!iconFile || iconFile->empty() || *iconFile == "." || *iconFile == ".." ||
        iconFile->find('/') != std::string::npos) {
        return std::nullopt;
    }
    const std::filesystem::path resources = std::filesystem::path(bundle->bundlePath()) / "Contents" / "Resources";
    for (const char* extension : {"", ".svg", ".png", ".icns"}) {
        if (auto image = Image::imageWithContentsOfFile(resources / (*iconFile + extension))) {
            return image;
        }
    }
    return std::nullopt;
}

}  // namespace appkit
