// Exclusive use of one folder among the processes that ask for it: an advisory lock on the
// folder itself, held from lock() until the FolderLock goes or its process ends (a kill
// releases it too). The user defaults' writers hold it around every save, so whoever holds
// it knows that no cooperating write into the folder is midway.
// Thread-safety: a value owned by one thread. Two locks on one folder wait for each other,
// within one process as between processes, so a holder never asks again.
#pragma once

#include <filesystem>

#include "platform/foundation/FileError.h"

namespace foundation {

class FolderLock {
public:
    // Waits until no one else holds `folder`, then holds it.
    [[nodiscard]] static FileResult<FolderLock> lock(const std::filesystem::path& folder);

    // A lock that holds nothing: for a folder that does not exist yet.
    FolderLock() = default;
    FolderLock(FolderLock&& other) noexcept;
    FolderLock& operator=(FolderLock&& other) noexcept;
    FolderLock(const FolderLock&) = delete;
    FolderLock& operator=(const FolderLock&) = delete;
    ~FolderLock();

    // The locked folder, open, so its owner and mode can be checked and changed on the
    // folder that was locked, whatever happens to its path; -1 when nothing is held.
    [[nodiscard]] int descriptor() const noexcept { return fd_; }

private:
    explicit FolderLock(int fd) : fd_(fd) {}

    int fd_ = -1;
};

}  // namespace foundation
