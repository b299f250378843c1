// The outcome of turning the persisted model into JSON text or back: the value, or a typed
// error whose message is the system's own readable text (shown to the user as the reason
// settings could not be loaded or saved). Produced by the JSON coding of state/StateJson.h.
// Thread-safety: a value; copies may move freely between threads.
#pragma once

#include <string>

#include "platform/foundation/Result.h"

namespace tonvale {

struct DecodingError {
    enum class Kind {
        invalidJSON,      // not JSON text at all, or a number no machine type can hold
        tooDeeplyNested,  // arrays and objects nested beyond what any document needs
        missingKey,       // a required key is absent (or null)
        typeMismatch,     // a value of the wrong JSON type, or a fraction where a count belongs
        invalidValue,     // the right type but an unusable value: unknown kind, bad UUID, out of range
    };

    Kind kind;
    std::string message;

    bool operator==(const DecodingError&) const = default;
};

struct EncodingError {
    std::string message;

    bool operator==(const EncodingError&) const = default;
};

template <typename Value>
using DecodeResult = foundation::Result<Value, DecodingError>;

using EncodeResult = foundation::Result<std::string, EncodingError>;

}  // namespace tonvale
