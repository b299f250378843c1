// A bag of texts reserved for later versions of the document. This version never reads or
// writes its entries; it only carries them through load and save so that a newer version's
// data survives a round trip through this one.
// Thread-safety: a value; copies may move freely between threads.
#pragma once

#include <map>
#include <string>

#include "model/Hashing.h"

namespace tonvale {

struct FutureCompatibleState {
    std::map<std::string, std::string> reserved;

    bool operator==(const FutureCompatibleState&) const = default;
};

}  // namespace tonvale

template <>
struct std::hash<tonvale::FutureCompatibleState> {
    std::size_t operator()(const tonvale::FutureCompatibleState& state) const noexcept {
        std::size_t seed = std::hash<std::size_t>{}(state.reserved.size());
        for (const auto& [key, value] : state.reserved) {
            tonvale::hashCombine(seed, tonvale::hashFields(key, value));
        }
        return seed;
    }
};
