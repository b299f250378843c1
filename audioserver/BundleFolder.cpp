#include "audioserver/BundleFolder.h"

#include <unistd.h>
#include <array>
#include <cctype>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <string>

namespace audioserver {

namespace {

std::string xmlEscaped(const std::string& text) {
    std::string escaped;
    for (const char c : text) {
        switch (c) {
            case '&':
                escaped += "&amp;";
                break;
            case '<':
                escaped += "&lt;";
                break;
            case '>':
                escaped += "&gt;";
                break;
            case '"':
                escaped += "&quot;";
                break;
            default:
                escaped += c;
                break;
        }
    }
    return escaped;
}

// The colours of the drawn icons; an application keeps its colour from run to run.
constexpr std::array<const char*, 8> kIconColours{"#e5484d", "#f76b15", "#e2a336", "#30a46c",
                                                  "#12a594", "#0090ff", "#6e56cf", "#d6409f"};

const char* iconColour(const std::string& key) {
    std::uint32_t hash = 2166136261U;  // FNV-1a: stable, unlike std::hash
    for (const unsigned char c : key) {
        hash = (hash ^ c) * 16777619U;
    }
    return kIconColours[hash % kIconColours.size()];
}

// The name's first character, a letter in upper case.
std::string initialOf(const std::string& name) {
    if (name.empty()) {
        return "?";
    }
    const auto lead = static_cast<unsigned char>(name.front());
    if (lead < 0x80) {
        return std::string(1, static_cast<char>(std::toupper(lead)));
    }
    std::size_t length = 1;
    while (length < name.size() && (static_cast<unsigned char>(name[length]) & 0xC0) == 0x80) {
        ++length;
    }
    return name.substr(0, length);
}

// Writes the bundle's icon into Contents/Resources and answers its file name.
std::string writeIcon(const std::filesystem::path& bundle, const std::string& key, const std::string& name,
                      const std::optional<std::string>& iconPath) {
    const std::filesystem::path resources = bundle / "Contents" / "Resources";
    std::filesystem::create_directories(resources);
    if (iconPath) {
        const std::string file = "AppIcon" + std::filesystem::path(*iconPath).extension().string();
        std::filesystem::copy_file(*iconPath, resources / file, std::filesystem::copy_options::overwrite_existing);
        return file;
    }
    std::ofstream svg(resources / "AppIcon.svg", std::ios::trunc);
    svg << "<svg xmlns=\"http://www.w3.org/2000/svg\" viewBox=\"0 0 64 64\" width=\"64\" height=\"64\">\n"
        << "<rect x=\"4\" y=\"4\" width=\"56\" height=\"56\" rx=\"13\" fill=\"" << iconColour(key) << "\"/>\n"
        << "<text x=\"32\" y=\"43\" font-family=\"sans-serif\" font-size=\"30\" font-weight=\"bold\" "
        << "text-anchor=\"middle\" fill=\"#ffffff\">" << xmlEscaped(initialOf(name)) << "</text>\n</svg>\n";
    return "AppIcon.svg";
}

void writeInfoPlist(const std::filesystem::path& bundle, const std::optional<std::string>& bundleID,
                    const std::string& bundleName, const std::string& iconFile) {
    std::filesystem::create_directories(bundle / "Contents" / "MacOS");
    std::ofstream plist(bundle / "Contents" / "Info.plist", std::ios::trunc);
    plist << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
          << "<plist version=\"1.0\">\n<dict>\n";
    if (bundleID) {
        plist << "\t<key>CFBundleIdentifier</key>\n\t<string>" << xmlEscaped(*bundleID) << "</string>\n";
    }
    plist << "\t<key>CFBundleName</key>\n\t<string>" << xmlEscaped(bundleName) << "</string>\n"
          << "\t<key>CFBundleDisplayName</key>\n\t<string>" << xmlEscaped(bundleName) << "</string>\n"
          << "\t<key>CFBundleIconFile</key>\n\t<string>" << xmlEscaped(iconFile) << "</string>\n"
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
                                               const std::optional<std::string>& name,
                                               const std::optional<std::string>& iconPath) {
    const std::filesystem::path given(path);
    if (given.is_absolute()) {
        return given;
    }
    if (!root_) {
        std::string pattern = (std::filesystem::temp_directory_path() / "tonvale-apps-XXXXXX").string();
        if (mkdtemp(pattern.data()) != nullptr) {
            root_ = std::filesystem::path(pattern);
        } else {
            root_ = std::filesystem::temp_directory_path() / ("tonvale-apps-" + std::to_string(getpid()));
            std::filesystem::create_directories(*root_);
        }
    }
    const std::filesystem::path bundle = *root_ / given.lexically_normal();
    const std::string bundleName = name.value_or(bundle.stem().string());
    const std::string iconFile = writeIcon(bundle, bundleID.value_or(bundleName), bundleName, iconPath);
    writeInfoPlist(bundle, bundleID, bundleName, iconFile);
    return bundle;
}

}  // namespace audioserver
