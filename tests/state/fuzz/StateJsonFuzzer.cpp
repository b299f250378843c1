// libFuzzer entry for the persisted document's decoder and the store's load path: any input
// must be refused with a message or survive normalise, encode and decode unchanged; and as
// the stored settings file it must be refused without a write, or load as the document the
// decoder reads, which a save stores and the next load returns; anything else aborts.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <string_view>

#include "state/PersistenceStore.h"
#include "tests/state/StateJsonProperties.h"

namespace {

namespace fs = std::filesystem;

// One settings folder per fuzzing process, in memory where the machine has one.
struct ScratchFolder {
    ScratchFolder() {
        std::string pattern = ((fs::is_directory("/dev/shm") ? fs::path("/dev/shm") : fs::temp_directory_path()) /
                               "tonvale-fuzz-XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr) {
            std::abort();
        }
        path = pattern;
    }
    ~ScratchFolder() { fs::remove_all(path); }

    fs::path path;
};

std::string contents(const fs::path& path) {
    std::ifstream stream(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(stream), std::istreambuf_iterator<char>());
}

std::optional<std::string> brokenStoreLoadProperty(std::string_view input) {
    static const ScratchFolder scratch;
    const fs::path folder = scratch.path / "tonvale";
    fs::remove_all(folder);
    fs::create_directories(folder);
    std::ofstream(folder / tonvale::PersistenceStore::kStateKey, std::ios::binary) << input;
    tonvale::PersistenceStore store{foundation::UserDefaults(folder)};

    tonvale::PersistenceResult<tonvale::PersistedStateV1> loaded = store.load();
    if (contents(folder / tonvale::PersistenceStore::kStateKey) != input ||
        std::distance(fs::directory_iterator(folder), fs::directory_iterator()) != 1) {
        return "a load wrote to the settings folder";
    }
    if (!loaded) {
        return loaded.error().localizedDescription().empty() ? "a load failure without a message" : std::optional<std::string>();
    }
    tonvale::PersistedStateV1 expected = tonvale::decodePersistedState(input).value();
    expected.normalize();
    if (!(loaded.value() == expected) || loaded.value().schemaVersion != 1) {
        return "a load returned another document than the one stored";
    }
    if (const auto error = store.save(loaded.value())) {
        return "a loaded document could not be saved: " + error->localizedDescription();
    }
    tonvale::PersistenceResult<tonvale::PersistedStateV1> reloaded = store.load();
    if (!reloaded || !(reloaded.value() == loaded.value())) {
        return "a saved document read back differently";
    }
    return std::nullopt;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    for (const auto& broken : {tonvale::testing::brokenDecodingProperty(input), brokenStoreLoadProperty(input)}) {
        if (broken) {
            std::fprintf(stderr, "state_json_fuzzer: %s\n", broken->c_str());
            std::abort();
        }
    }
    return 0;
}
