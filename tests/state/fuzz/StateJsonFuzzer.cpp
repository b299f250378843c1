// libFuzzer entry for the persisted document's decoder and the store's load path. Any input
// must be refused with a message or survive normalise, encode and decode unchanged; stored as
// the settings file it must be refused without a write, or load as the document the decoder
// reads, which a save stores and the next load returns. Anything else aborts.
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
using tonvale::PersistenceStore;

// A settings folder for one input, in memory where the machine has one. libFuzzer ends
// without running destructors of statics, so each input removes its own.
struct ScratchFolder {
    ScratchFolder() {
        const fs::path base = fs::is_directory("/dev/shm") ? fs::path("/dev/shm") : fs::temp_directory_path();
        std::string pattern = (base / "tonvale-fuzz-XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr) {
            std::abort();
        }
        path = pattern;
    }
    ~ScratchFolder() { fs::remove_all(path); }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    fs::path path;
};

std::optional<std::string> brokenStoreLoadProperty(std::string_view input) {
    const ScratchFolder scratch;
    const fs::path folder = scratch.path;
    const fs::path file = folder / PersistenceStore::kStateKey;
    std::ofstream(file, std::ios::binary) << input;
    PersistenceStore store{foundation::UserDefaults(folder)};

    const auto loaded = store.load();
    std::ifstream stored(file, std::ios::binary);
    if (std::string(std::istreambuf_iterator<char>(stored), {}) != input ||
        std::distance(fs::directory_iterator(folder), fs::directory_iterator()) != 1) {
        return "a load wrote to the settings folder";
    }
    if (!loaded) {
        return loaded.error().localizedDescription().empty() ? std::optional<std::string>("a failure without a message")
                                                             : std::nullopt;
    }
    tonvale::PersistedStateV1 expected = tonvale::decodePersistedState(input).value();
    expected.normalize();
    if (!(loaded.value() == expected)) {
        return "a load returned another document than the one stored";
    }
    if (const auto saved = store.save(loaded.value()); !saved) {
        return "a loaded document could not be saved: " + saved.error().localizedDescription();
    }
    const auto reloaded = store.load();
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
