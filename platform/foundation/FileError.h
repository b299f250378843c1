// A failed file-system operation of the platform layer: what was attempted, on which path,
// and the system's own reason. Its description is what the user reads, for example
// "Could not write /home/ada/.config/tonvale/Tonvale.persistedState: No space left on device".
// FileResult carries the value of an operation that can fail this way.
// Thread-safety: values; copies may move freely between threads.
#pragma once

#include <cassert>
#include <string>
#include <utility>
#include <variant>

namespace foundation {

struct FileError {
    enum class Operation { read, write, createFolder, remove, list };

    Operation operation;
    std::string path;
    int code = 0;        // the errno value; 0 when the reason is not one of the system's codes
    std::string reason;  // the system's text for `code`, or what made the operation impossible

    // The system's reason for `code`, e.g. "Permission denied".
    [[nodiscard]] static FileError fromCode(Operation operation, std::string path, int code);
    // "Could not <operation> <path>: <reason>".
    [[nodiscard]] std::string localizedDescription() const;

    bool operator==(const FileError&) const = default;
};

template <typename Value>
class [[nodiscard]] FileResult {
public:
    FileResult(Value value) : storage_(std::in_place_index<0>, std::move(value)) {}  // NOLINT: implicit by design
    FileResult(FileError error) : storage_(std::in_place_index<1>, std::move(error)) {}  // NOLINT: implicit by design

    [[nodiscard]] bool hasValue() const noexcept { return storage_.index() == 0; }
    explicit operator bool() const noexcept { return hasValue(); }

    [[nodiscard]] const Value& value() const& {
        assert(hasValue() && "value() of a failed file operation");
        return std::get<0>(storage_);
    }
    [[nodiscard]] Value&& value() && {
        assert(hasValue() && "value() of a failed file operation");
        return std::get<0>(std::move(storage_));
    }
    [[nodiscard]] const FileError& error() const& {
        assert(!hasValue() && "error() of a successful file operation");
        return std::get<1>(storage_);
    }

private:
    std::variant<Value, FileError> storage_;
};

}  // namespace foundation
