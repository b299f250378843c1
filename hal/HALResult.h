// The outcome of an audio hardware-layer operation: its value, or the AudioHALError that
// ended it. Callers must look at it; nothing in the audio layer throws.
// Thread-safety: a value; copies may move freely between threads.
#pragma once

#include <cassert>
#include <optional>
#include <utility>
#include <variant>

#include "hal/AudioHALError.h"

namespace tonvale {

template <typename Value>
class [[nodiscard]] HALResult {
public:
    HALResult(Value value) : storage_(std::in_place_index<0>, std::move(value)) {}  // NOLINT: implicit by design
    HALResult(AudioHALError error) : storage_(std::in_place_index<1>, std::move(error)) {}  // NOLINT: implicit by design

    [[nodiscard]] bool hasValue() const noexcept { return storage_.index() == 0; }
    explicit operator bool() const noexcept { return hasValue(); }

    [[nodiscard]] const Value& value() const& {
        assert(hasValue() && "value() of a failed audio operation");
        return std::get<0>(storage_);
    }
    [[nodiscard]] Value&& value() && {
        assert(hasValue() && "value() of a failed audio operation");
        return std::get<0>(std::move(storage_));
    }
    [[nodiscard]] const AudioHALError& error() const& {
        assert(!hasValue() && "error() of a successful audio operation");
        return std::get<1>(storage_);
    }
    // The value, or `fallback` when the operation failed: for optional attributes.
    [[nodiscard]] Value valueOr(Value fallback) const& { return hasValue() ? value() : std::move(fallback); }

    bool operator==(const HALResult&) const = default;

private:
    std::variant<Value, AudioHALError> storage_;
};

// An operation with no value: success, or the error.
template <>
class [[nodiscard]] HALResult<void> {
public:
    HALResult() = default;
    HALResult(AudioHALError error) : error_(std::move(error)) {}  // NOLINT: implicit by design

    [[nodiscard]] bool hasValue() const noexcept { return !error_.has_value(); }
    explicit operator bool() const noexcept { return hasValue(); }

    [[nodiscard]] const AudioHALError& error() const& {
        assert(error_.has_value() && "error() of a successful audio operation");
        return *error_;
    }

    bool operator==(const HALResult&) const = default;

private:
    std::optional<AudioHALError> error_;
};

}  // namespace tonvale
