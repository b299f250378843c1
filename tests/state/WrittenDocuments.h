// The documents the durability tests' writer processes save: writer w's n-th save is one
// exact document naming (w, n) in its reserved bag, with some hundred favourites so that it
// spans several pages and no torn or mixed file could pass for a written one.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <string>
#include <utility>

#include "model/PersistedStateV1.h"

namespace tonvale::testing {

inline PersistedStateV1 writtenDocument(int writer, std::int64_t sequence) {
    PersistedStateV1 state;
    const std::string tag = std::to_string(writer) + "." + std::to_string(sequence);
    AppProfile profile{"com.example.writer", "Save " + tag, {static_cast<float>(sequence % 101) / 100.0F}};
    state.appProfiles.emplace(profile.bundleID, profile);
    for (int index = 0; index < 400; ++index) {
        state.favoriteBundleIDs.insert("com.example.app" + std::to_string(index) + "." + tag);
    }
    state.future = FutureCompatibleState{{{"writer", std::to_string(writer)}, {"sequence", std::to_string(sequence)}}};
    return state;
}

// The (writer, sequence) a document names, when it is exactly that written document;
// (-1, -1) for anything else.
inline std::pair<int, std::int64_t> writtenAs(const PersistedStateV1& state) {
    const auto named = [&state](const char* key) {
        return state.future && state.future->reserved.contains(key) ? std::atoll(state.future->reserved.at(key).c_str())
                                                                    : -1;
    };
    const std::pair<int, std::int64_t> written{static_cast<int>(named("writer")), named("sequence")};
    return writtenDocument(written.first, written.second) == state ? written : std::pair<int, std::int64_t>{-1, -1};
}

}  // namespace tonvale::testing
