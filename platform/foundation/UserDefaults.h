// The application's user-defaults domain: one file per key in $XDG_CONFIG_HOME/tonvale
// (~/.config/tonvale when the variable is unset or not absolute), named after the key and
// holding the value's raw bytes, so a stored JSON document is a plain file a person can
// read. The folder is the user's own with mode 0700 and every value file has mode 0600.
// Writes are atomic and durable (see DurableFile.h); writers hold the domain's exclusive
// access (see FolderLock.h) around what must not interleave with another process's. A
// value is a copy of a folder path: the program passes standardUserDefaults() to its
// store; tests give a temporary folder.
// Thread-safety: every operation may be called from any thread and from several processes.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/foundation/DurableFile.h"
#include "platform/foundation/FileError.h"
#include "platform/foundation/FileIdentity.h"
#include "platform/foundation/FolderLock.h"

namespace foundation {

class UserDefaults {
public:
    static constexpr std::string_view kDomainFolderName = "tonvale";
    static constexpr mode_t kFolderMode = 0700;
    static constexpr mode_t kValueMode = 0600;

    // The domain in the user's configuration folder, looked up in the environment now.
    [[nodiscard]] static UserDefaults standardUserDefaults();

    // A domain kept in `folder`; an empty path is a domain with nowhere to live, whose
    // every operation fails with that reason.
    explicit UserDefaults(std::filesystem::path folder);

    [[nodiscard]] const std::filesystem::path& folder() const { return folder_; }
    // The file that holds `key`'s value.
    [[nodiscard]] std::filesystem::path pathForKey(std::string_view key) const { return folder_ / key; }

    // Exclusive use of the domain until the lock goes. The folder must be the user's own:
    // another user's is refused ("It belongs to another user"), one that others may enter
    // is made private first. Temporary files of writes killed midway are removed. With
    // isCreatingFolder a missing folder is made; otherwise nothing is held for it.
    [[nodiscard]] FileResult<FolderLock> exclusiveAccess(bool isCreatingFolder) const;

    // The bytes stored under `key` with the identity of their file; nullopt when nothing is
    // stored. A value above `maximumBytes` is refused unread ("File too large"). A key is
    // any non-empty name without '/' or NUL that does not start with '.'.
    [[nodiscard]] FileResult<std::optional<FileContents>> dataForKey(std::string_view key,
                                                                     std::size_t maximumBytes) const;
    // The identity of the file holding `key`'s value now; nullopt when nothing is stored.
    [[nodiscard]] FileResult<std::optional<FileIdentity>> identityForKey(std::string_view key) const;
    // Stores `data` under `key`, replacing the previous value; creates the folder if needed.
    // Answers the identity of the file written.
    [[nodiscard]] FileResult<FileIdentity> setDataForKey(std::string_view data, std::string_view key) const;
    // Copies the value of `key`, whatever its size, to `copyKey` only when that holds
    // nothing: true when copied, false when `copyKey` already held a value (left untouched).
    [[nodiscard]] FileResult<bool> copyDataIfAbsent(std::string_view key, std::string_view copyKey) const;
    // Whether both keys hold values, and the same bytes.
    [[nodiscard]] FileResult<bool> hasSameData(std::string_view key, std::string_view otherKey) const;
    [[nodiscard]] std::optional<FileError> removeObjectForKey(std::string_view key) const;
    // Every key that holds a value, in ascending order; empty while the folder does not exist.
    [[nodiscard]] FileResult<std::vector<std::string>> keys() const;

private:
    [[nodiscard]] std::optional<FileError> unusableKeyError(std::string_view key, FileError::Operation operation) const;

    std::filesystem::path folder_;
};

}  // namespace foundation
