// Where the app state controller loads its document from and saves it to. The program puts
// the PersistenceStore behind it; the idle benchmark an in-memory store. Held by reference
// by the controller and called on the main queue.
// Thread-safety: implementations decide; the controller calls from the main queue only.
#pragma once

#include "model/PersistedStateV1.h"
#include "state/PersistenceError.h"
#include "state/PersistenceResult.h"
#include "state/SaveOutcome.h"

namespace tonvale {

class StatePersisting {
public:
    virtual ~StatePersisting() = default;

    // The stored document after `normalize`, or the new document when nothing is stored.
    [[nodiscard]] virtual PersistenceResult<PersistedStateV1> load() = 0;
    // Stores a normalised copy of `state`; the caller's value is left as it is. What the save
    // found and did about it beyond that is the outcome.
    [[nodiscard]] virtual PersistenceResult<SaveOutcome> save(const PersistedStateV1& state) = 0;
};

}  // namespace tonvale
