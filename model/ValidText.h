// Text made valid UTF-8: every maximal ill-formed byte sequence becomes U+FFFD, the way
// the Unicode standard recommends. Texts enter the persisted document through this, so
// two identifiers that differ only in bytes that are not UTF-8 are one key in memory, as
// they would be once written.
// Thread-safety: pure functions; safe from any thread.
#pragma once

#include <string>
#include <string_view>

namespace tonvale {

[[nodiscard]] bool isValidText(std::string_view text) noexcept;
[[nodiscard]] std::string validText(std::string_view text);

}  // namespace tonvale
