// A failed file-system operation of the platform layer: what was attempted, on which path,
// and the system's own reason. Its description is what the user reads, for example
// "Could not write /home/ada/.config/tonvale/Tonvale.persistedState: No space left on device".
// FileResult carries the value of an operation that can fail this way.
// Thread-safety: values; copies may move freely between threads.
#pragma once

#include <string>

#include "platform/foundation/Result.h"

namespace foundation {

struct FileError {
    enum class Operation { read, write, createFolder, useFolder, remove, list };

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
using FileResult = Result<Value, FileError>;

}  // namespace foundation
