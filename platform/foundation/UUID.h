// A 128-bit universally unique identifier: random (version 4) creation, canonical text.
// A plain value type; free to copy between threads.
// Thread-safety: all operations are safe from any thread.
#pragma once

#include <array>
#include <compare>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace foundation {

struct UUID {
    std::array<std::uint8_t, 16> bytes{};

    // Version 4, variant 1, from the kernel's random source.
    [[nodiscard]] static UUID random();
    // Accepts exactly the canonical 8-4-4-4-12 hex form, in either case; no braces,
    // prefixes or surrounding whitespace.
    [[nodiscard]] static std::optional<UUID> parse(std::string_view text);
    // Upper-case canonical text, e.g. "E621E1F8-C36C-495A-93FC-0C247A3E6E5F".
    [[nodiscard]] std::string uuidString() const;

    bool operator==(const UUID&) const = default;
    auto operator<=>(const UUID&) const = default;
};

}  // namespace foundation
