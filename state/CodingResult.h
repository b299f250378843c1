// The outcome of turning the persisted model into JSON text or back: the value, or a typed
// error whose message is the system's own readable text (shown to the user as the reason
// settings could not be loaded or saved). Produced by the JSON coding of state/StateJson.h.
// Thread-safety: a value; copies may move freely between threads.
#pragma once

#include <cassert>
#include <string>
#include <utility>
#include <variant>

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

template <typename Value, typename Error>
class [[nodiscard]] CodingResult {
public:
    CodingResult(Value value) : storage_(std::in_place_index<0>, std::move(value)) {}  // NOLINT: implicit by design
    CodingResult(Error error) : storage_(std::in_place_index<1>, std::move(error)) {}  // NOLINT: implicit by design

    [[nodiscard]] bool hasValue() const noexcept { return storage_.index() == 0; }
    explicit operator bool() const noexcept { return hasValue(); }

    [[nodiscard]] const Value& value() const& {
        assert(hasValue() && "value() of a failed coding result");
        return std::get<0>(storage_);
    }
    [[nodiscard]] Value&& value() && {
        assert(hasValue() && "value() of a failed coding result");
        return std::get<0>(std::move(storage_));
    }
    [[nodiscard]] const Error& error() const& {
        assert(!hasValue() && "error() of a successful coding result");
        return std::get<1>(storage_);
    }

private:
    std::variant<Value, Error> storage_;
};

template <typename Value>
using DecodeResult = CodingResult<Value, DecodingError>;

using EncodeResult = CodingResult<std::string, EncodingError>;

}  // namespace tonvale
