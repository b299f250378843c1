// The idle benchmark's store: the settings document lives in memory only, so a benchmark run
// never reads or writes the user's stored settings. Loading answers the document it holds;
// saving replaces it. Owned by the benchmark's app state controller.
// Thread-safety: main thread only, like the controller that calls it.
#pragma once

#include "state/StatePersisting.h"

namespace tonvale {

class BenchmarkStateStore final : public StatePersisting {
public:
    explicit BenchmarkStateStore(PersistedStateV1 state) : state_(std::move(state)) {}

    // The benchmark's document: no profiles and no favourites, launch at login off with the
    // question already answered, recent apps kept 30 seconds; normalised like a loaded one.
    [[nodiscard]] static PersistedStateV1 benchmarkDocument();

    [[nodiscard]] PersistenceResult<PersistedStateV1> load() override { return state_; }
    [[nodiscard]] PersistenceResult<SaveOutcome> save(const PersistedStateV1& state) override {
        state_ = state;
        return SaveOutcome{};
    }

    [[nodiscard]] const PersistedStateV1& state() const { return state_; }

private:
    PersistedStateV1 state_;
};

}  // namespace tonvale
