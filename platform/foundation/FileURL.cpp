#include "platform/foundation/FileURL.h"

namespace foundation {
namespace {

bool isUnreservedInPath(unsigned char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '.' ||
           c == '_' || c == '~' || c == '/';
}

}  // namespace

std::string fileURLWithPath(const std::filesystem::path& path, bool isDirectory) {
    static constexpr char kHexDigits[] = "0123456789ABCDEF";
    std::string url = "file://";
    for (const char c : path.string()) {
        const auto byte = static_cast<unsigned char>(c);
        if (isUnreservedInPath(byte)) {
            url.push_back(c);
            continue;
        }
        url.push_back('%');
        url.push_back(kHexDigits[byte >> 4]);
        url.push_back(kHexDigits[byte & 0x0F]);
    }
    if (isDirectory && url.back() != '/') {
        url.push_back('/');
    }
    return url;
}

}  // namespace foundation
