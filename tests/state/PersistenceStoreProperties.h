// What must hold for any bytes found under the settings key, shared by the store tests and
// the libFuzzer target: the store's load either refuses them with a message and writes
// nothing, or returns the normalised version-1 document the decoder reads from them, which
// a save stores and the next load returns unchanged.
#pragma once

#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <string_view>

#include "state/PersistenceStore.h"
#include "state/StateJson.h"

namespace tonvale::testing {

// `folder` is a scratch settings folder; it is emptied first.
inline std::optional<std::string> brokenStoreLoadProperty(const std::filesystem::path& folder, std::string_view input) {
    std::filesystem::remove_all(folder);
    std::filesystem::create_directories(folder);
    const std::filesystem::path document = folder / PersistenceStore::kStateKey;
    std::ofstream(document, std::ios::binary) << input;
    PersistenceStore store{foundation::UserDefaults(folder)};

    PersistenceResult<PersistedStateV1> loaded = store.load();
    const auto isUntouched = [&] {
        std::ifstream stream(document, std::ios::binary);
        const std::string bytes((std::istreambuf_iterator<char>(stream)), std::istreambuf_iterator<char>());
        return bytes == input && std::distance(std::filesystem::directory_iterator(folder),
                                               std::filesystem::directory_iterator()) == 1;
    };
    if (!isUntouched()) {
        return "a load wrote to the settings folder";
    }
    if (!loaded) {
        if (loaded.error().localizedDescription().empty()) {
            return "a load failure without a message";
        }
        return std::nullopt;
    }
    PersistedStateV1 expected = decodePersistedState(input).value();
    expected.normalize();
    if (!(loaded.value() == expected) || loaded.value().schemaVersion != PersistedStateV1::kCurrentSchemaVersion) {
        return "a load returned another document than the one stored";
    }
    if (const std::optional<PersistenceError> error = store.save(loaded.value())) {
        return "a loaded document could not be saved: " + error->localizedDescription();
    }
    PersistenceResult<PersistedStateV1> reloaded = store.load();
    if (!reloaded || !(reloaded.value() == loaded.value())) {
        return "a saved document read back differently";
    }
    return std::nullopt;
}

}  // namespace tonvale::testing
