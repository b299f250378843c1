// Whole-file reads and crash-safe writes for the few small files the program keeps. A write
// goes to a temporary file in the same folder, is flushed to the disk, and is then renamed
// (or linked) into place and the folder flushed, so a crash or kill at any moment leaves
// the old contents or the new, never a mix, and processes writing at once never tear a
// file. Temporary files are hidden: ".<name>.XXXXXX".
// Thread-safety: free functions on the file system; safe from any thread and any process.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "platform/foundation/FileError.h"

namespace foundation {

// The contents of the regular file at `path`; nullopt when nothing is there. Anything else
// at the path (a folder, a device, a pipe) or a file above `maximumBytes` is an error.
// A symbolic link is followed for reading.
[[nodiscard]] FileResult<std::optional<std::string>> readFileContents(const std::filesystem::path& path,
                                                                      std::size_t maximumBytes);

// Creates `folder` and any missing folder above it with exactly `mode`; an existing folder
// is left as it is. Each created folder is flushed into its parent.
[[nodiscard]] std::optional<FileError> createFolder(const std::filesystem::path& folder, mode_t mode);

// Replaces whatever file is at `path` (a symbolic link itself, never its target) with a
// regular file of exactly `mode` holding `contents`.
[[nodiscard]] std::optional<FileError> replaceFileContents(const std::filesystem::path& path, std::string_view contents,
                                                           mode_t mode);

// Writes `contents` to `path` only when nothing is there: true when written, false when
// something already was (it is left untouched). Never overwrites, even in a race.
[[nodiscard]] FileResult<bool> createFileContents(const std::filesystem::path& path, std::string_view contents,
                                                  mode_t mode);

// Removes the file at `path`; nothing there already counts as success.
[[nodiscard]] std::optional<FileError> removeFile(const std::filesystem::path& path);

}  // namespace foundation
