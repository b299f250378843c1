// The settings document in the application's user defaults, as compact JSON with sorted
// keys under "Tonvale.persistedState". A document stored only under the program's earlier
// name ("Brindle.persistedState") is read and copied forward, the old entry left in place.
// The store never writes over a document it did not read or write itself: before a save it
// compares the file with the one its caller's document came from. A document found in its
// place is taken as the caller's when the caller holds nothing of its own (nothing was
// loaded, nothing changed), and otherwise kept aside before it is replaced, as "...changed-
// <UTC time>"; one this program cannot read (not JSON, missing keys, another schema version,
// above kMaximumDocumentBytes) as "...unreadable-<UTC time>". The same bytes are kept once.
// Created at start-up and owned by the app state controller.
// Thread-safety: called on the main queue. Other processes may use the same defaults at the
// same time: loads and saves hold the domain's exclusive access.
#pragma once

#include <chrono>
#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "platform/foundation/FileIdentity.h"
#include "platform/foundation/UserDefaults.h"
#include "state/StatePersisting.h"

namespace tonvale {

class PersistenceStore final : public StatePersisting {
public:
    static constexpr std::string_view kStateKey = "Tonvale.persistedState";
    static constexpr std::string_view kLegacyStateKey = "Brindle.persistedState";
    static constexpr std::string_view kUnreadableCopyKeyPrefix = "Tonvale.persistedState.unreadable-";
    static constexpr std::string_view kChangedCopyKeyPrefix = "Tonvale.persistedState.changed-";
    // Settings take a few kilobytes; a file far larger is refused unread.
    static constexpr std::size_t kMaximumDocumentBytes = 4 * 1024 * 1024;

    using Clock = std::function<std::chrono::system_clock::time_point()>;

    // `now` names the time in a kept-aside copy's key.
    explicit PersistenceStore(foundation::UserDefaults defaults, Clock now = std::chrono::system_clock::now);

    [[nodiscard]] PersistenceResult<PersistedStateV1> load() override;
    [[nodiscard]] PersistenceResult<SaveOutcome> save(const PersistedStateV1& state) override;

    [[nodiscard]] const foundation::UserDefaults& defaults() const { return defaults_; }

private:
    // save, while the caller holds the domain's exclusive access.
    [[nodiscard]] PersistenceResult<SaveOutcome> saveHoldingAccess(const PersistedStateV1& state);
    // Copies the stored file under a new key starting with `prefix`, unless a copy kept
    // earlier holds the same bytes: the new key, or nullopt.
    [[nodiscard]] PersistenceResult<std::optional<std::string>> keepStoredFileAside(std::string_view prefix);

    foundation::UserDefaults defaults_;
    Clock now_;
    // The file the caller's document came from or went to: what the last load read, or the
    // last save wrote. nullopt while the caller holds no document of a file.
    std::optional<foundation::FileIdentity> documentFile_;
};

}  // namespace tonvale
