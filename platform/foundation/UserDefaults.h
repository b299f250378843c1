// The application's user-defaults domain: one file per key in $XDG_CONFIG_HOME/tonvale
// (~/.config/tonvale when the variable is unset or not absolute), named after the key and
// holding the value's raw bytes, so a stored JSON document is a plain file a person can
// read. The folder is created with mode 0700 and every value file has mode 0600. Writes
// are atomic and durable (see DurableFile.h). A value is a copy of a folder path: the
// program passes standardUserDefaults() to its store; tests give a temporary folder.
// Thread-safety: every operation may be called from any thread and from several processes.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/foundation/FileError.h"

namespace foundation {

class UserDefaults {
public:
    static constexpr std::string_view kDomainFolderName = "tonvale";
    static constexpr mode_t kFolderMode = 0700;
    static constexpr mode_t kValueMode = 0600;
    // Far above any settings document; a file beyond it is refused rather than read whole.
    static constexpr std::size_t kMaximumValueBytes = 64 * 1024 * 1024;

    // The domain in the user's configuration folder, looked up in the environment now.
    [[nodiscard]] static UserDefaults standardUserDefaults();

    // A domain kept in `folder`; an empty path is a domain with nowhere to live, whose
    // every operation fails with that reason.
    explicit UserDefaults(std::filesystem::path folder);

    [[nodiscard]] const std::filesystem::path& folder() const { return folder_; }
    // The file that holds `key`'s value.
    [[nodiscard]] std::filesystem::path pathForKey(std::string_view key) const { return folder_ / key; }

    // The bytes stored under `key`; nullopt when nothing is stored. A key is any non-empty
    // name without '/' or NUL that does not start with '.'.
    [[nodiscard]] FileResult<std::optional<std::string>> dataForKey(std::string_view key) const;
    // Stores `data` under `key`, replacing the previous value; creates the folder if needed.
    [[nodiscard]] std::optional<FileError> setDataForKey(std::string_view data, std::string_view key) const;
    // Stores `data` under `key` only when the key holds nothing: true when stored, false
    // when the key already held a value, which is left untouched.
    [[nodiscard]] FileResult<bool> setDataIfAbsent(std::string_view data, std::string_view key) const;
    [[nodiscard]] std::optional<FileError> removeObjectForKey(std::string_view key) const;
    // Every key that holds a value, in ascending order; empty while the folder does not exist.
    [[nodiscard]] FileResult<std::vector<std::string>> keys() const;

private:
    [[nodiscard]] std::optional<FileError> unusableKeyError(std::string_view key, FileError::Operation operation) const;

    std::filesystem::path folder_;
};

}  // namespace foundation
