#include "platform/foundation/DurableFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

namespace foundation {
namespace {

using Operation = FileError::Operation;

class FileDescriptor {
public:
    explicit FileDescriptor(int fd) : fd_(fd) {}
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    ~FileDescriptor() {
        if (fd_ >= 0) {
            ::close(fd_);
        }
    }

    [[nodiscard]] int get() const { return fd_; }
    // Closes now, reporting the error a delayed write may only reveal here.
    [[nodiscard]] int close() {
        const int result = ::close(fd_);
        fd_ = -1;
        return result;
    }

private:
    int fd_;
};

int openFolder(const std::filesystem::path& folder) {
    int fd = -1;
    do {
        fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    } while (fd < 0 && errno == EINTR);
    return fd;
}

// Makes a rename, link, unlink or mkdir inside `folder` survive a crash.
std::optional<FileError> flushFolder(const std::filesystem::path& folder, Operation operation,
                                     const std::filesystem::path& reportedPath) {
    FileDescriptor fd(openFolder(folder));
    if (fd.get() < 0 || ::fsync(fd.get()) != 0) {
        return FileError::fromCode(operation, reportedPath.string(), errno);
    }
    return std::nullopt;
}

std::filesystem::path folderOf(const std::filesystem::path& path) {
    const std::filesystem::path parent = path.parent_path();
    return parent.empty() ? std::filesystem::path(".") : parent;
}

bool writeAll(int fd, std::string_view contents) {
    while (!contents.empty()) {
        const ssize_t written = ::write(fd, contents.data(), contents.size());
        if (written < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        contents.remove_prefix(static_cast<std::size_t>(written));
    }
    return true;
}

// A hidden temporary file next to `path`, holding `contents` with `mode`, flushed to the
// disk; its path, or the error reported against `path`.
FileResult<std::filesystem::path> writeTemporaryFile(const std::filesystem::path& path, std::string_view contents,
                                                     mode_t mode) {
    std::string temporary = (folderOf(path) / ("." + path.filename().string() + ".XXXXXX")).string();
    FileDescriptor fd(::mkostemp(temporary.data(), O_CLOEXEC));
    if (fd.get() < 0) {
        return FileError::fromCode(Operation::write, path.string(), errno);
    }
    // The mode is set explicitly so the umask cannot widen or narrow it.
    if (::fchmod(fd.get(), mode) != 0 || !writeAll(fd.get(), contents) || ::fsync(fd.get()) != 0 || fd.close() != 0) {
        const int code = errno;
        ::unlink(temporary.c_str());
        return FileError::fromCode(Operation::write, path.string(), code);
    }
    return std::filesystem::path(temporary);
}

}  // namespace

FileResult<std::optional<std::string>> readFileContents(const std::filesystem::path& path, std::size_t maximumBytes) {
    // Non-blocking, so a pipe put where a file belongs cannot hang the caller.
    int rawFd = -1;
    do {
        rawFd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    } while (rawFd < 0 && errno == EINTR);
    if (rawFd < 0) {
        if (errno == ENOENT) {
            return std::optional<std::string>();
        }
        return FileError::fromCode(Operation::read, path.string(), errno);
    }
    FileDescriptor fd(rawFd);
    struct stat status {};
    if (::fstat(fd.get(), &status) != 0) {
        return FileError::fromCode(Operation::read, path.string(), errno);
    }
    if (S_ISDIR(status.st_mode)) {
        return FileError::fromCode(Operation::read, path.string(), EISDIR);
    }
    if (!S_ISREG(status.st_mode)) {
        return FileError{Operation::read, path.string(), 0, "Not a regular file"};
    }
    if (static_cast<std::size_t>(status.st_size) > maximumBytes) {
        return FileError::fromCode(Operation::read, path.string(), EFBIG);
    }
    // The size is only a hint: the file may grow while it is read, so the limit is kept
    // on what is actually read.
    std::string contents;
    contents.resize(static_cast<std::size_t>(status.st_size) + 1);
    std::size_t length = 0;
    for (;;) {
        if (length == contents.size()) {
            if (contents.size() > maximumBytes) {
                return FileError::fromCode(Operation::read, path.string(), EFBIG);
            }
            contents.resize(contents.size() * 2);
        }
        const ssize_t count = ::read(fd.get(), contents.data() + length, contents.size() - length);
        if (count < 0) {
            if (errno == EINTR) {
                continue;
            }
            return FileError::fromCode(Operation::read, path.string(), errno);
        }
        if (count == 0) {
            break;
        }
        length += static_cast<std::size_t>(count);
    }
    if (length > maximumBytes) {
        return FileError::fromCode(Operation::read, path.string(), EFBIG);
    }
    contents.resize(length);
    return std::optional<std::string>(std::move(contents));
}

std::optional<FileError> createFolder(const std::filesystem::path& folder, mode_t mode) {
    std::filesystem::path normal = folder.lexically_normal();
    if (!normal.has_filename() && normal != normal.root_path()) {
        normal = normal.parent_path();
    }
    struct stat status {};
    if (::stat(normal.c_str(), &status) == 0) {
        if (S_ISDIR(status.st_mode)) {
            return std::nullopt;
        }
        return FileError::fromCode(Operation::createFolder, normal.string(), ENOTDIR);
    }
    if (errno != ENOENT) {
        return FileError::fromCode(Operation::createFolder, normal.string(), errno);
    }
    const std::filesystem::path parent = folderOf(normal);
    if (std::optional<FileError> error = createFolder(parent, mode)) {
        return error;
    }
    if (::mkdir(normal.c_str(), mode) != 0) {
        // Another process may have made it meanwhile; that is as good.
        if (errno == EEXIST && ::stat(normal.c_str(), &status) == 0 && S_ISDIR(status.st_mode)) {
            return std::nullopt;
        }
        return FileError::fromCode(Operation::createFolder, normal.string(), errno);
    }
    // mkdir's mode passes through the umask; the folder's mode is meant exactly.
    if (::chmod(normal.c_str(), mode) != 0) {
        return FileError::fromCode(Operation::createFolder, normal.string(), errno);
    }
    return flushFolder(parent, Operation::createFolder, normal);
}

std::optional<FileError> replaceFileContents(const std::filesystem::path& path, std::string_view contents,
                                             mode_t mode) {
    FileResult<std::filesystem::path> temporary = writeTemporaryFile(path, contents, mode);
    if (!temporary) {
        return temporary.error();
    }
    if (::rename(temporary.value().c_str(), path.c_str()) != 0) {
        const int code = errno;
        ::unlink(temporary.value().c_str());
        return FileError::fromCode(Operation::write, path.string(), code);
    }
    return flushFolder(folderOf(path), Operation::write, path);
}

FileResult<bool> createFileContents(const std::filesystem::path& path, std::string_view contents, mode_t mode) {
    FileResult<std::filesystem::path> temporary = writeTemporaryFile(path, contents, mode);
    if (!temporary) {
        return temporary.error();
    }
    // link(2), unlike rename, refuses to replace an existing name.
    const int linked = ::link(temporary.value().c_str(), path.c_str());
    const int code = errno;
    ::unlink(temporary.value().c_str());
    if (linked != 0) {
        if (code == EEXIST) {
            return false;
        }
        return FileError::fromCode(Operation::write, path.string(), code);
    }
    if (std::optional<FileError> error = flushFolder(folderOf(path), Operation::write, path)) {
        return *error;
    }
    return true;
}

std::optional<FileError> removeFile(const std::filesystem::path& path) {
    if (::unlink(path.c_str()) != 0) {
        if (errno == ENOENT) {
            return std::nullopt;
        }
        return FileError::fromCode(Operation::remove, path.string(), errno);
    }
    return flushFolder(folderOf(path), Operation::remove, path);
}

}  // namespace foundation
