// The documents the durability tests' writer processes save: writer w's n-th save is one
// exact document that names (w, n) in its reserved bag and carries some hundred favourites,
// so it spans several pages and a torn or mixed file could not pass for a written one.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>

#include "state/PersistedStateV1.h"

namespace tonvale::testing {

inline constexpr int kFavouritesPerWrittenDocument = 400;

inline PersistedStateV1 writtenDocument(int writer, std::int64_t sequence) {
    PersistedStateV1 state;
    const std::string tag = std::to_string(writer) + "." + std::to_string(sequence);
    AppProfile profile{"com.example.writer" + std::to_string(writer), "Save " + tag, {}};
    profile.defaultConfiguration.volume = static_cast<float>(sequence % 101) / 100.0F;
    profile.defaultConfiguration.muted = sequence % 2 == 1;
    state.appProfiles.emplace(profile.bundleID, profile);
    for (int index = 0; index < kFavouritesPerWrittenDocument; ++index) {
        state.favoriteBundleIDs.insert("com.example.app" + std::to_string(index) + "." + tag);
    }
    state.preferences.recentAppVisibilitySeconds = 30 + sequence % 1000;
    state.future = FutureCompatibleState{{{"writer", std::to_string(writer)}, {"sequence", std::to_string(sequence)}}};
    return state;
}

// The (writer, sequence) of a document that is exactly that written document; nullopt for
// anything else.
inline std::optional<std::pair<int, std::int64_t>> writtenAs(const PersistedStateV1& state) {
    if (!state.future || !state.future->reserved.contains("writer") || !state.future->reserved.contains("sequence")) {
        return std::nullopt;
    }
    try {
        const int writer = std::stoi(state.future->reserved.at("writer"));
        const std::int64_t sequence = std::stoll(state.future->reserved.at("sequence"));
        if (!(writtenDocument(writer, sequence) == state)) {
            return std::nullopt;
        }
        return std::pair{writer, sequence};
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

}  // namespace tonvale::testing
