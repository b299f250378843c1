// Reading numbers out of property-list values the audio layer hands over (compositions),
// where a Boolean counts as the number 0 or 1 and a floating-point value may stand in for
// an integer. Guards against values no setting can hold (not-a-number, beyond 64 bits).
// Thread-safety: pure functions over immutable values; callable from any thread.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "platform/coreaudio/CoreFoundation.h"

namespace tonvale {

// The integer a number value stands for (fractions truncated toward zero, magnitudes
// beyond 64 bits saturated); nothing for non-numbers and not-a-number.
[[nodiscard]] std::optional<std::int64_t> propertyListInteger(CFTypeRef value);

// The floating-point value of a number; nothing for non-numbers.
[[nodiscard]] std::optional<double> propertyListReal(CFTypeRef value);

// The text of a string value; nothing for other values.
[[nodiscard]] std::optional<std::string> propertyListText(CFTypeRef value);

}  // namespace tonvale
