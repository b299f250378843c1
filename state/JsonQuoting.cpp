#include "state/JsonQuoting.h"

#include <nlohmann/json.hpp>

#include <cstddef>

namespace tonvale {
namespace {

constexpr std::size_t kMaximumQuotedLength = 48;

}  // namespace

std::string quotedJSONString(std::string_view text) {
    return nlohmann::json(std::string(text)).dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

std::string quotedForMessage(std::string_view text) {
    std::string result = "\"";
    std::size_t length = text.size();
    const bool isCut = length > kMaximumQuotedLength;
    if (isCut) {
        length = kMaximumQuotedLength;
        while (length > 0 && (static_cast<unsigned char>(text[length]) & 0xC0U) == 0x80U) {
            --length;
        }
    }
    for (const char c : text.substr(0, length)) {
        const auto byte = static_cast<unsigned char>(c);
        result += (byte < 0x20U || byte == 0x7FU) ? '?' : c;
    }
    result += isCut ? "...\"" : "\"";
    return result;
}

}  // namespace tonvale
