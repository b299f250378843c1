// What a save did besides storing the caller's document, when the stored file was not the
// one the store last read or wrote: the document found there when it was taken instead
// (the caller held nothing of its own), and what the user should be told. Answered by
// StatePersisting::save; the app state controller adopts the document and shows the notice.
// Thread-safety: a value; copies may move freely between threads.
#pragma once

#include <optional>
#include <string>

#include "model/PersistedStateV1.h"

namespace tonvale {

struct SaveOutcome {
    // Left in place, normalised, and from now on the caller's document.
    std::optional<PersistedStateV1> foundDocument;
    // Which document was loaded, or where the one found was kept aside.
    std::optional<std::string> notice;

    bool operator==(const SaveOutcome&) const = default;
};

}  // namespace tonvale
