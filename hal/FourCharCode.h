// Display text of Core Audio four-character codes (property selectors, transport types,
// statuses), as used in every operation text and error description of the audio layer.
// Thread-safety: a pure function, callable from any thread.
#pragma once

#include <cstdint>
#include <string>

namespace tonvale {

// 'abcd' when all four bytes (most significant first) are printable ASCII, otherwise
// "0x" and eight upper-case hexadecimal digits. A negative status is passed by its
// 32-bit pattern, so -50 reads 0xFFFFFFCE.
[[nodiscard]] std::string fourCharCodeText(std::uint32_t code);

}  // namespace tonvale
