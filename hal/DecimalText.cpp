#include "hal/DecimalText.h"

#include <array>
#include <charconv>
#include <cmath>
#include <string_view>

namespace tonvale {

namespace {

constexpr double kSmallestPlainMagnitude = 1e-4;
constexpr double kLargestPlainMagnitude = 9007199254740992.0;  // 2^53

// Shortest mantissa, then the exponent padded to two digits ("1e-05", "1e+16").
std::string exponentText(double value) {
    std::array<char, 64> buffer{};
    const auto result =
        std::to_chars(buffer.data(), buffer.data() + buffer.size(), value, std::chars_format::scientific);
    const std::string_view text(buffer.data(), static_cast<std::size_t>(result.ptr - buffer.data()));
    const auto exponent = text.find('e');
    const bool hasOneExponentDigit = exponent != std::string_view::npos && text.size() - exponent == 3;
    if (!hasOneExponentDigit) {
        return std::string(text);
    }
    std::string padded(text.substr(0, exponent + 2));
    padded += '0';
    padded += text.back();
    return padded;
}

}  // namespace

std::string shortestDecimalText(double value) {
    if (std::isnan(value)) {
        return "nan";
    }
    if (std::isinf(value)) {
        return value < 0 ? "-inf" : "inf";
    }
    const double magnitude = std::fabs(value);
    if (magnitude != 0 && (magnitude < kSmallestPlainMagnitude || magnitude >= kLargestPlainMagnitude)) {
        return exponentText(value);
    }
    std::array<char, 64> buffer{};
    const auto result = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value, std::chars_format::fixed);
    std::string text(buffer.data(), result.ptr);
    if (text.find('.') == std::string::npos) {
        text += ".0";
    }
    return text;
}

}  // namespace tonvale
