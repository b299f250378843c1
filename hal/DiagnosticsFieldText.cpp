#include "hal/DiagnosticsFieldText.h"

#include <array>
#include <cstdio>
#include <utility>

namespace tonvale {

namespace {

// "\x1F" for a byte, "\u2028" for a character.
template <typename Value>
void appendEscape(std::string& escaped, const char* format, Value value) {
    std::array<char, 8> text{};
    std::snprintf(text.data(), text.size(), format, static_cast<unsigned>(value));
    escaped += text.data();
}

// The UTF-8 character at the start of `text` when it breaks lines or controls a terminal:
// a C1 control (U+0080 to U+009F, NEL among them), or the line or paragraph separator.
// Its code point and length in bytes; {0, 0} for anything else.
std::pair<unsigned, std::size_t> breakingCharacter(std::string_view text) {
    const auto byte = [&text](std::size_t index) { return static_cast<unsigned char>(text[index]); };
    if (text.size() >= 2 && byte(0) == 0xC2 && byte(1) >= 0x80 && byte(1) <= 0x9F) {
        return {byte(1), 2};
    }
    if (text.size() >= 3 && byte(0) == 0xE2 && byte(1) == 0x80 && (byte(2) == 0xA8 || byte(2) == 0xA9)) {
        return {0x2000U | (byte(2) - 0x80U), 3};
    }
    return {0, 0};
}

}  // namespace

std::string diagnosticsFieldText(std::string_view text) {
    std::string escaped;
    escaped.reserve(text.size());
    for (std::size_t index = 0; index < text.size(); ++index) {
        const char c = text[index];
        const auto byte = static_cast<unsigned char>(c);
        switch (c) {
            case '\\':
                escaped += "\\\\";
                continue;
            case '\n':
                escaped += "\\n";
                continue;
            case '\r':
                escaped += "\\r";
                continue;
            case '\t':
                escaped += "\\t";
                continue;
            default:
                break;
        }
        if (byte < 0x20 || byte == 0x7F) {
            appendEscape(escaped, "\\x%02X", byte);
            continue;
        }
        if (const auto [codePoint, length] = breakingCharacter(text.substr(index)); length != 0) {
            appendEscape(escaped, "\\u%04X", codePoint);
            index += length - 1;
            continue;
        }
        escaped.push_back(c);
    }
    return escaped;
}

}  // namespace tonvale
