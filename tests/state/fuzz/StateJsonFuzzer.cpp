// libFuzzer entry for the persisted document's decoder and the store's load path: any input
// must be refused with a message or survive normalise, encode and decode unchanged, and the
// same bytes found in the settings folder must be refused without a write or load as that
// document; anything else aborts.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>
#include <system_error>

#include "tests/state/PersistenceStoreProperties.h"
#include "tests/state/StateJsonProperties.h"

namespace {

// One scratch settings folder per fuzzing process, in memory where the machine has it,
// removed when the process ends.
const std::filesystem::path& scratchFolder() {
    static const std::filesystem::path folder = [] {
        std::error_code error;
        const std::filesystem::path base =
            std::filesystem::is_directory("/dev/shm", error) ? "/dev/shm" : std::filesystem::temp_directory_path();
        std::string pattern = (base / "tonvale-fuzz-XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr) {
            std::abort();
        }
        std::atexit([] { std::filesystem::remove_all(scratchFolder()); });
        return std::filesystem::path(pattern);
    }();
    return folder;
}

void abortWith(const std::string& broken) {
    std::fprintf(stderr, "state_json_fuzzer: %s\n", broken.c_str());
    std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    if (const auto broken = tonvale::testing::brokenDecodingProperty(input)) {
        abortWith(*broken);
    }
    if (const auto broken = tonvale::testing::brokenStoreLoadProperty(scratchFolder() / "tonvale", input)) {
        abortWith(*broken);
    }
    return 0;
}
