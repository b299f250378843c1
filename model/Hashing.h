// Hash combining for the persisted model's value types, used by their std::hash
// specialisations so that profiles and identities can key unordered containers.
// Pure functions on values; no state.
// Thread-safety: safe from any thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>

namespace tonvale {

// Mixes one field's hash into a running seed; the order of calls matters, so two
// values with the same fields in another order hash differently.
inline void hashCombine(std::size_t& seed, std::size_t value) noexcept {
    seed ^= value + std::size_t{0x9e3779b97f4a7c15ULL} + (seed << 12) + (seed >> 4);
}

template <typename... Fields>
[[nodiscard]] std::size_t hashFields(const Fields&... fields) noexcept {
    std::size_t seed = 0;
    (hashCombine(seed, std::hash<Fields>{}(fields)), ...);
    return seed;
}

}  // namespace tonvale
