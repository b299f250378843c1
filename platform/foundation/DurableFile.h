// Whole-file reads and crash-safe writes for the few small files the program keeps. A write
// goes to a temporary file in the same folder, is flushed to the disk, and is then renamed
// (or linked) into place and the folder flushed, so a crash or kill at any moment leaves
// the old contents or the new, never a mix, and processes writing at once never tear a
// file. Temporary files are hidden: ".<name>.XXXXXX". A write beyond the process's
// file-size limit fails with "File too large" instead of ending the process.
// Thread-safety: free functions on the file system; safe from any thread and any process.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "platform/foundation/FileError.h"
#include "platform/foundation/FileIdentity.h"

namespace foundation {

// What a read found: the bytes, and the identity of the file they came from.
struct FileContents {
    std::string bytes;
    FileIdentity identity;

    bool operator==(const FileContents&) const = default;
};

// The contents of the regular file at `path`; nullopt when nothing is there. Anything else
// at the path (a folder, a device, a pipe) is an error, and so is a file above
// `maximumBytes` ("File too large"), which is refused before any of it is read.
// A symbolic link is followed for reading.
[[nodiscard]] FileResult<std::optional<FileContents>> readFileContents(const std::filesystem::path& path,
                                                                       std::size_t maximumBytes);

// The identity of the file at `path`, through a symbolic link; nullopt when nothing is there.
[[nodiscard]] FileResult<std::optional<FileIdentity>> fileIdentity(const std::filesystem::path& path);

// Creates `folder` and any missing folder above it with exactly `mode`; an existing folder
// is left as it is. Each created folder is flushed into its parent.
[[nodiscard]] std::optional<FileError> createFolder(const std::filesystem::path& folder, mode_t mode);

// Replaces whatever file is at `path` (a symbolic link itself, never its target) with a
// regular file of exactly `mode` holding `contents`; answers the new file's identity.
[[nodiscard]] FileResult<FileIdentity> replaceFileContents(const std::filesystem::path& path, std::string_view contents,
                                                           mode_t mode);

// Copies the regular file at `from` (through a symbolic link), whatever its size, to a new
// file of exactly `mode` at `to`, only when nothing is at `to`: true when copied, false when
// something already was (it is left untouched). Never overwrites, even in a race.
[[nodiscard]] FileResult<bool> copyFileIfAbsent(const std::filesystem::path& from, const std::filesystem::path& to,
                                                mode_t mode);

// Whether the regular files at `first` and `second` hold the same bytes, read a little at
// a time; false when either is missing.
[[nodiscard]] FileResult<bool> haveSameContents(const std::filesystem::path& first,
                                                const std::filesystem::path& second);

// Removes the file at `path`; nothing there already counts as success.
[[nodiscard]] std::optional<FileError> removeFile(const std::filesystem::path& path);

// Removes the temporary files that writes killed midway left in `folder`. Only for a
// folder no write is using: its writers hold a FolderLock, and so does the caller.
[[nodiscard]] std::optional<FileError> removeAbandonedTemporaryFiles(const std::filesystem::path& folder);

}  // namespace foundation
