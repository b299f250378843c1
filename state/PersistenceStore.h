// The settings document in the application's user defaults, as compact JSON with sorted
// keys under "Tonvale.persistedState". A document stored only under the program's earlier
// name ("Brindle.persistedState") is read and copied forward, the old entry left in place.
// A document this program cannot read (not JSON, missing keys, another schema version) is
// refused by `load`, and before a save replaces it its bytes are kept aside once under
// "Tonvale.persistedState.unreadable-<UTC time>", so no failed load ever costs the user
// their settings. Created at start-up and owned by the app state controller.
// Thread-safety: called on the main queue; holds no state between calls, and other
// processes may use the same defaults at the same time.
#pragma once

#include <chrono>
#include <functional>
#include <optional>
#include <string_view>

#include "platform/foundation/UserDefaults.h"
#include "state/StatePersisting.h"

namespace tonvale {

class PersistenceStore final : public StatePersisting {
public:
    static constexpr std::string_view kStateKey = "Tonvale.persistedState";
    static constexpr std::string_view kLegacyStateKey = "Brindle.persistedState";
    static constexpr std::string_view kUnreadableCopyKeyPrefix = "Tonvale.persistedState.unreadable-";

    using Clock = std::function<std::chrono::system_clock::time_point()>;

    // `now` names the time in a kept-aside copy's key.
    explicit PersistenceStore(foundation::UserDefaults defaults, Clock now = std::chrono::system_clock::now);

    [[nodiscard]] PersistenceResult<PersistedStateV1> load() override;
    [[nodiscard]] std::optional<PersistenceError> save(const PersistedStateV1& state) override;

    [[nodiscard]] const foundation::UserDefaults& defaults() const { return defaults_; }

private:
    // Copies the stored bytes under a new key of their own when they are not a document
    // this program reads and no earlier copy holds the same bytes.
    [[nodiscard]] std::optional<PersistenceError> keepUnreadableDocumentAside();

    foundation::UserDefaults defaults_;
    Clock now_;
};

}  // namespace tonvale
