// The app state controller's store and login item for tests: the store answers a chosen
// load result and keeps every document saved; both fail while the test sets an error.
// Owned through std::shared_ptr; main thread only.
#pragma once

#include <optional>
#include <vector>

#include "state/LoginItemServicing.h"
#include "state/StatePersisting.h"

namespace tonvale::testing {

struct InMemoryStateStore final : StatePersisting {
    PersistenceResult<PersistedStateV1> load() override { return loadResult; }
    PersistenceResult<SaveOutcome> save(const PersistedStateV1& state) override {
        if (saveError) {
            return *saveError;
        }
        saves.push_back(state);
        return saveOutcome;
    }

    PersistenceResult<PersistedStateV1> loadResult = PersistedStateV1::newDocument();
    std::optional<PersistenceError> saveError;
    SaveOutcome saveOutcome;
    std::vector<PersistedStateV1> saves;
};

struct FakeLoginItemService final : LoginItemServicing {
    [[nodiscard]] LoginItemStatus status() const override { return currentStatus; }
    std::optional<LoginItemError> setEnabled(bool enabled) override {
        currentStatus = error ? currentStatus : enabled ? LoginItemStatus::enabled() : LoginItemStatus::disabled();
        return error;
    }
    void openSystemSettingsLoginItems() override { ++settingsOpenings; }

    LoginItemStatus currentStatus = LoginItemStatus::disabled();
    int settingsOpenings = 0;
    std::optional<LoginItemError> error;
};

}  // namespace tonvale::testing
