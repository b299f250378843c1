#include "hal/FourCharCode.h"

#include <array>
#include <cstdio>

namespace tonvale {

namespace {

constexpr unsigned kFirstPrintable = 0x20;
constexpr unsigned kLastPrintable = 0x7E;

}  // namespace

std::string fourCharCodeText(std::uint32_t code) {
    const std::array<unsigned, 4> bytes{(code >> 24) & 0xFFU, (code >> 16) & 0xFFU, (code >> 8) & 0xFFU, code & 0xFFU};
    bool isPrintable = true;
    for (const unsigned byte : bytes) {
        isPrintable = isPrintable && byte >= kFirstPrintable && byte <= kLastPrintable;
    }
    if (isPrintable) {
        std::string text = "'";
        for (const unsigned byte : bytes) {
            text.push_back(static_cast<char>(byte));
        }
        text.push_back('\'');
        return text;
    }
    std::array<char, 11> hex{};
    std::snprintf(hex.data(), hex.size(), "0x%08X", static_cast<unsigned>(code));
    return std::string(hex.data());
}

}  // namespace tonvale
