// The one document the program remembers between runs: per-app profiles, pinned apps and
// preferences. The app state controller owns the single live copy on the main queue; the
// store passes every loaded and every saved copy through `normalize`.
// Thread-safety: a value; copies may move freely between threads.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <string>

#include "model/AppProfile.h"
#include "model/FutureCompatibleState.h"
#include "model/Preferences.h"

namespace tonvale {

struct PersistedStateV1 {
    static constexpr std::int64_t kCurrentSchemaVersion = 1;

    std::int64_t schemaVersion = kCurrentSchemaVersion;
    std::map<std::string, AppProfile> appProfiles;
    std::set<std::string> favoriteBundleIDs;
    Preferences preferences;
    std::optional<FutureCompatibleState> future;

    // The document of a first run, or of a run whose stored document could not be read.
    [[nodiscard]] static PersistedStateV1 newDocument();

    // Establishes the document's invariants: every text valid UTF-8 (bytes that are not
    // become U+FFFD, so identifiers that would be written alike are one key here); the
    // visibility preference within its bounds; every profile filed under its own non-empty
    // bundle identifier with a volume in 0...1 (not a number reads as 0); no empty
    // favourite. When several profiles claim one bundle identifier, the one already filed
    // under it is kept, so a misfiled copy never overwrites the app's own entry; among
    // misfiled ones, and among ones whose keys differed only in invalid bytes, the last in
    // key order wins. `schemaVersion` and the entries of `future` are otherwise left as they are.
    void normalize();

    bool operator==(const PersistedStateV1&) const = default;
};

}  // namespace tonvale
