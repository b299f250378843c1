#include "sim/BundleFolder.h"

#include <cstdlib>
#include <fstream>
#include <string>
#include <unistd.h>

namespace sim {

namespace {

std::string xmlEscaped(const std::string& text) {
    std::string escaped;
    for (const char c : text) {
        switch (c) {
        case '&': escaped += "&amp;"; break;
        case '<': escaped += "&lt;"; break;
        case '>': escaped += "&gt;"; break;
        case '"': escaped += "&quot;"; break;
        default: escaped += c; break;
        }
    }
    return escaped;
}

void writeInfoPlist(const std::filesystem::path& bundle, const std::optional<std::string>& bundleID,
                    const std::optional<std::string>& name) {
    std::filesystem::create_directories(bundle / "Contents" / "MacOS");
    std::ofstream plist(bundle / "Contents" / "Info.plist", std::ios::trunc);
    const std::string bundleName = name.value_or(bundle.stem().string());
    plist << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
          << "<plist version=\"1.0\">\n<dict>\n";
    if (bundleID) {
        plist << "\t<key>CFBundleIdentifier</key>\n\t<string>" << xmlEscaped(*bundleID) << "</string>\n";
    }
    plist << "\t<key>CFBundleName</key>\n\t<string>" << xmlEscaped(bundleName) << "</string>\n"
          << "\t<key>CFBundleDisplayName</key>\n\t<string>" << xmlEscaped(bundleName) << "</string>\n"
          << "\t<key>CFBundlePackageType</key>\n\t<string>APPL</string>\n"
          << "\t<key>CFBundleShortVersionString</key>\n\t<string>1.0</string>\n"
          << "\t<key>CFBundleVersion</key>\n\t<string>1</string>\n"
          << "</dict>\n</plist>\n";
}

}  // namespace

BundleFolder::~BundleFolder() {
    if (root_) {
        std::error_code error;
        std::filesystem::remove_all(*root_, error);
    }
}

std::filesystem::path BundleFolder::bundlePath(const std::string& path, const std::optional<std::string>& bundleID,
                                               const std::optional<std::string>& name) {
    const std::filesystem::path given(path);
    if (given.is_absolute()) {
        return given;
    }
    if (!root_) {
        std::string pattern = (std::filesystem::temp_directory_path() / "tonvale-sim-apps-XXXXXX").string();
        if (mkdtemp(pattern.data()) != nullptr) {
            root_ = std::filesystem::path(pattern);
        } else {
            root_ = std::filesystem::temp_directory_path() / ("tonvale-sim-apps-" + std::to_string(getpid()));
            std::filesystem::create_directories(*root_);
        }
    }
    const std::filesystem::path bundle = *root_ / given.lexically_normal();
    writeInfoPlist(bundle, bundleID, name);
    return bundle;
}

}  // namespace sim
