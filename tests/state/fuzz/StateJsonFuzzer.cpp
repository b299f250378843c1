// libFuzzer entry for the persisted document's decoder: any input must be refused with a
// message or survive normalise, encode and decode unchanged; anything else aborts.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string_view>

#include "tests/state/StateJsonProperties.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    if (const auto broken = tonvale::testing::brokenDecodingProperty(input)) {
        std::fprintf(stderr, "state_json_fuzzer: %s\n", broken->c_str());
        std::abort();
    }
    return 0;
}
