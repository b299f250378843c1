#include "hal/PropertyListValues.h"

#include <cmath>
#include <limits>

namespace tonvale {

namespace {

bool isNumber(CFTypeRef value) { return value != nullptr && CFGetTypeID(value) == CFNumberGetTypeID(); }

bool isBoolean(CFTypeRef value) { return value != nullptr && CFGetTypeID(value) == CFBooleanGetTypeID(); }

}  // namespace

std::optional<std::int64_t> propertyListInteger(CFTypeRef value) {
    if (isBoolean(value)) {
        return CFBooleanGetValue(static_cast<CFBooleanRef>(value)) != 0 ? 1 : 0;
    }
    if (!isNumber(value)) {
        return std::nullopt;
    }
    const auto number = static_cast<CFNumberRef>(value);
    if (CFNumberIsFloatType(number) == 0) {
        std::int64_t integer = 0;
        CFNumberGetValue(number, kCFNumberSInt64Type, &integer);
        return integer;
    }
    double real = 0;
    CFNumberGetValue(number, kCFNumberFloat64Type, &real);
    if (std::isnan(real)) {
        return std::nullopt;
    }
    // 2^63 is exactly representable; anything at or beyond it saturates.
    constexpr double kLimit = 9223372036854775808.0;
    if (real >= kLimit) {
        return std::numeric_limits<std::int64_t>::max();
    }
    if (real < -kLimit) {
        return std::numeric_limits<std::int64_t>::min();
    }
    return static_cast<std::int64_t>(real);
}

std::optional<double> propertyListReal(CFTypeRef value) {
    if (isBoolean(value)) {
        return CFBooleanGetValue(static_cast<CFBooleanRef>(value)) != 0 ? 1.0 : 0.0;
    }
    if (!isNumber(value)) {
        return std::nullopt;
    }
    double real = 0;
    CFNumberGetValue(static_cast<CFNumberRef>(value), kCFNumberFloat64Type, &real);
    return real;
}

std::optional<std::string> propertyListText(CFTypeRef value) {
    if (value == nullptr || CFGetTypeID(value) != CFStringGetTypeID()) {
        return std::nullopt;
    }
    return CFStringGetUTF8(static_cast<CFStringRef>(value));
}

}  // namespace tonvale
