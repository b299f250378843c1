#include "model/ValidText.h"

#include <cstddef>

namespace tonvale {
namespace {

constexpr std::string_view kReplacementCharacter = "\xEF\xBF\xBD";

// The length of the well-formed prefix of the sequence at `at`: the whole character when it
// is valid, otherwise the lead byte and the continuation bytes that still fit (at least 1).
std::size_t wellFormedLength(std::string_view text, std::size_t at, bool& isComplete) noexcept {
    const auto lead = static_cast<unsigned char>(text[at]);
    isComplete = true;
    if (lead < 0x80U) {
        return 1;
    }
    std::size_t length = 0;
    unsigned char lowest = 0x80U;
    unsigned char highest = 0xBFU;
    if (lead >= 0xC2U && lead <= 0xDFU) {
        length = 2;
    } else if (lead == 0xE0U) {
        length = 3;
        lowest = 0xA0U;
    } else if (lead == 0xEDU) {
        length = 3;
        highest = 0x9FU;
    } else if (lead >= 0xE1U && lead <= 0xEFU) {
        length = 3;
    } else if (lead == 0xF0U) {
        length = 4;
        lowest = 0x90U;
    } else if (lead == 0xF4U) {
        length = 4;
        highest = 0x8FU;
    } else if (lead >= 0xF1U && lead <= 0xF3U) {
        length = 4;
    } else {
        isComplete = false;
        return 1;
    }
    std::size_t taken = 1;
    for (; taken < length && at + taken < text.size(); ++taken) {
        const auto next = static_cast<unsigned char>(text[at + taken]);
        // Only the second byte has a narrowed range (no overlong forms, surrogates or
        // code points above U+10FFFF).
        const unsigned char low = taken == 1 ? lowest : 0x80U;
        const unsigned char high = taken == 1 ? highest : 0xBFU;
        if (next < low || next > high) {
            break;
        }
    }
    isComplete = taken == length;
    return taken;
}

}  // namespace

bool isValidText(std::string_view text) noexcept {
    for (std::size_t at = 0; at < text.size();) {
        bool isComplete = false;
        at += wellFormedLength(text, at, isComplete);
        if (!isComplete) {
            return false;
        }
    }
    return true;
}

std::string validText(std::string_view text) {
    if (isValidText(text)) {
        return std::string(text);
    }
    std::string valid;
    valid.reserve(text.size() + kReplacementCharacter.size());
    for (std::size_t at = 0; at < text.size();) {
        bool isComplete = false;
        const std::size_t length = wellFormedLength(text, at, isComplete);
        if (isComplete) {
            valid.append(text.substr(at, length));
        } else {
            valid.append(kReplacementCharacter);
        }
        at += length;
    }
    return valid;
}

}  // namespace tonvale
