#include "platform/foundation/FolderLock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <utility>

namespace foundation {

FileResult<FolderLock> FolderLock::lock(const std::filesystem::path& folder) {
    int fd = -1;
    do {
        fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) {
        return FileError::fromCode(FileError::Operation::useFolder, folder.string(), errno);
    }
    FolderLock held(fd);
    int locked = -1;
    do {
        locked = ::flock(fd, LOCK_EX);
    } while (locked != 0 && errno == EINTR);
    if (locked != 0) {
        return FileError::fromCode(FileError::Operation::useFolder, folder.string(), errno);
    }
    return held;
}

FolderLock::FolderLock(FolderLock&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}

FolderLock& FolderLock::operator=(FolderLock&& other) noexcept {
    if (this != &other) {
        if (fd_ >= 0) {
            ::close(fd_);
        }
        fd_ = std::exchange(other.fd_, -1);
    }
    return *this;
}

FolderLock::~FolderLock() {
    // Closing the only descriptor of the lock releases it.
    if (fd_ >= 0) {
        ::close(fd_);
    }
}

}  // namespace foundation
