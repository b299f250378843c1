// The outcome of loading the settings document: the document, or the PersistenceError
// that stopped it. Callers must look at it; the store never throws.
// Thread-safety: a value; copies may move freely between threads.
#pragma once

#include <cassert>
#include <utility>
#include <variant>

#include "state/PersistenceError.h"

namespace tonvale {

template <typename Value>
class [[nodiscard]] PersistenceResult {
public:
    PersistenceResult(Value value) : storage_(std::in_place_index<0>, std::move(value)) {}  // NOLINT: implicit by design
    PersistenceResult(PersistenceError error) : storage_(std::in_place_index<1>, std::move(error)) {}  // NOLINT: implicit by design

    [[nodiscard]] bool hasValue() const noexcept { return storage_.index() == 0; }
    explicit operator bool() const noexcept { return hasValue(); }

    [[nodiscard]] const Value& value() const& {
        assert(hasValue() && "value() of a failed persistence operation");
        return std::get<0>(storage_);
    }
    [[nodiscard]] Value&& value() && {
        assert(hasValue() && "value() of a failed persistence operation");
        return std::get<0>(std::move(storage_));
    }
    [[nodiscard]] const PersistenceError& error() const& {
        assert(!hasValue() && "error() of a successful persistence operation");
        return std::get<1>(storage_);
    }

private:
    std::variant<Value, PersistenceError> storage_;
};

}  // namespace tonvale
