// What must hold for any input given to the document decoder, shared by the seeded
// random-input test and the libFuzzer target: a decoded and normalised document encodes,
// reads back equal, and encodes again to the same bytes.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "state/StateJson.h"

namespace tonvale::testing {

// Returns a description of the first property the input breaks, or nothing.
inline std::optional<std::string> brokenDecodingProperty(std::string_view input) {
    DecodeResult<PersistedStateV1> decoded = decodePersistedState(input);
    if (!decoded) {
        if (decoded.error().message.empty()) {
            return "a decoding failure without a message";
        }
        return std::nullopt;
    }
    PersistedStateV1 state = std::move(decoded).value();
    state.normalize();
    EncodeResult encoded = encodeJSON(state);
    if (!encoded) {
        return "a normalised document failed to encode: " + encoded.error().message;
    }
    DecodeResult<PersistedStateV1> reread = decodePersistedState(encoded.value());
    if (!reread) {
        return "an encoded document failed to decode: " + reread.error().message;
    }
    if (!(reread.value() == state)) {
        return "a document changed in a round trip: " + encoded.value();
    }
    EncodeResult reencoded = encodeJSON(reread.value());
    if (!reencoded || reencoded.value() != encoded.value()) {
        return "a document encoded to different bytes the second time: " + encoded.value();
    }
    return std::nullopt;
}

}  // namespace tonvale::testing
