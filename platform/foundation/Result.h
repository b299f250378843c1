// The outcome of an operation that can fail: its value, or the typed error that ended it.
// Callers must look at it; nothing that answers one throws. Result<void, Error> is success
// or the error. Each layer names its own: HALResult, FileResult, PersistenceResult,
// DecodeResult and EncodeResult.
// Thread-safety: a value; copies may move freely between threads.
#pragma once

#include <cassert>
#include <optional>
#include <utility>
#include <variant>

namespace foundation {

template <typename Value, typename Error>
class [[nodiscard]] Result {
public:
    Result(Value value) : storage_(std::in_place_index<0>, std::move(value)) {}  // NOLINT: implicit by design
    Result(Error error) : storage_(std::in_place_index<1>, std::move(error)) {}  // NOLINT: implicit by design

    [[nodiscard]] bool hasValue() const noexcept { return storage_.index() == 0; }
    explicit operator bool() const noexcept { return hasValue(); }

    [[nodiscard]] const Value& value() const& {
        assert(hasValue() && "value() of a failed operation");
        return std::get<0>(storage_);
    }
    [[nodiscard]] Value&& value() && {
        assert(hasValue() && "value() of a failed operation");
        return std::get<0>(std::move(storage_));
    }
    [[nodiscard]] const Error& error() const& {
        assert(!hasValue() && "error() of a successful operation");
        return std::get<1>(storage_);
    }
    // The value, or `fallback` when the operation failed: for optional attributes.
    [[nodiscard]] Value valueOr(Value fallback) const& { return hasValue() ? value() : std::move(fallback); }

    bool operator==(const Result&) const = default;

private:
    std::variant<Value, Error> storage_;
};

template <typename Error>
class [[nodiscard]] Result<void, Error> {
public:
    Result() = default;
    Result(Error error) : error_(std::move(error)) {}  // NOLINT: implicit by design

    [[nodiscard]] bool hasValue() const noexcept { return !error_.has_value(); }
    explicit operator bool() const noexcept { return hasValue(); }

    [[nodiscard]] const Error& error() const& {
        assert(error_.has_value() && "error() of a successful operation");
        return *error_;
    }

    bool operator==(const Result&) const = default;

private:
    std::optional<Error> error_;
};

}  // namespace foundation
