#include "platform/foundation/DurableFile.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <utility>
#include <vector>

namespace foundation {
namespace {

using Operation = FileError::Operation;

// Reads and copies go this much at a time.
constexpr std::size_t kChunkBytes = 64 * 1024;
// mkostemp's six replaced characters, after the name and a '.'.
constexpr std::size_t kTemporarySuffixLength = 6;

class FileDescriptor {
public:
    explicit FileDescriptor(int fd) : fd_(fd) {}
    FileDescriptor(FileDescriptor&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    FileDescriptor& operator=(FileDescriptor&&) = delete;
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

struct DirectoryCloser {
    void operator()(DIR* directory) const { ::closedir(directory); }
};

int openRetrying(const std::filesystem::path& path, int flags) {
    int fd = -1;
    do {
        fd = ::open(path.c_str(), flags);
    } while (fd < 0 && errno == EINTR);
    return fd;
}

// Makes a rename, link, unlink or mkdir inside `folder` survive a crash.
std::optional<FileError> flushFolder(const std::filesystem::path& folder, Operation operation,
                                     const std::filesystem::path& reportedPath) {
    FileDescriptor fd(openRetrying(folder, O_RDONLY | O_DIRECTORY | O_CLOEXEC));
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

// Up to `bytes.size()` bytes, fewer only at the end of the file; -1 on failure.
ssize_t readFully(int fd, std::vector<char>& bytes) {
    std::size_t length = 0;
    while (length < bytes.size()) {
        const ssize_t count = ::read(fd, bytes.data() + length, bytes.size() - length);
        if (count < 0) {
            if (errno == EINTR) {
                continue;
            }
            return -1;
        }
        if (count == 0) {
            break;
        }
        length += static_cast<std::size_t>(count);
    }
    return static_cast<ssize_t>(length);
}

// A write beyond the file-size limit (ulimit -f) raises SIGXFSZ, whose default action ends
// the process; ignored, the write fails with EFBIG and is reported like a full disk. Done
// once, and only while the signal keeps its default action, so a program's own handler stays.
void letFileSizeLimitFailWrites() {
    static const bool isDone = [] {
        struct sigaction current {};
        if (::sigaction(SIGXFSZ, nullptr, &current) == 0 && current.sa_handler == SIG_DFL) {
            std::signal(SIGXFSZ, SIG_IGN);
        }
        return true;
    }();
    static_cast<void>(isDone);
}

// The regular file at `path` opened for reading, with its status; nullopt when nothing is
// there. Non-blocking, so a pipe put where a file belongs cannot hang the caller.
struct OpenedFile {
    FileDescriptor fd;
    struct stat status;
};
FileResult<std::optional<OpenedFile>> openRegularFile(const std::filesystem::path& path) {
    FileDescriptor fd(openRetrying(path, O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
    if (fd.get() < 0) {
        if (errno == ENOENT) {
            return std::optional<OpenedFile>();
        }
        return FileError::fromCode(Operation::read, path.string(), errno);
    }
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
    return std::optional<OpenedFile>(OpenedFile{std::move(fd), status});
}

// A hidden temporary file next to `path` with exactly `mode`, filled by `fill` (false with
// errno set when it fails) and flushed to the disk: its path and identity, or the error
// reported against `path`.
struct TemporaryFile {
    std::filesystem::path path;
    FileIdentity identity;
};
template <typename Fill>
FileResult<TemporaryFile> writeTemporaryFile(const std::filesystem::path& path, mode_t mode, const Fill& fill) {
    letFileSizeLimitFailWrites();
    std::string temporary = (folderOf(path) / ("." + path.filename().string() + ".XXXXXX")).string();
    FileDescriptor fd(::mkostemp(temporary.data(), O_CLOEXEC));
    if (fd.get() < 0) {
        return FileError::fromCode(Operation::write, path.string(), errno);
    }
    struct stat status {};
    // The mode is set explicitly so the umask cannot widen or narrow it.
    if (::fchmod(fd.get(), mode) != 0 || !fill(fd.get()) || ::fsync(fd.get()) != 0 || ::fstat(fd.get(), &status) != 0 ||
        fd.close() != 0) {
        const int code = errno;
        ::unlink(temporary.c_str());
        return FileError::fromCode(Operation::write, path.string(), code);
    }
    return TemporaryFile{std::filesystem::path(temporary), FileIdentity::of(status)};
}

bool isTemporaryFileName(std::string_view name) {
    if (name.size() < kTemporarySuffixLength + 3 || name.front() != '.' ||
        name[name.size() - kTemporarySuffixLength - 1] != '.') {
        return false;
    }
    const std::string_view suffix = name.substr(name.size() - kTemporarySuffixLength);
    return std::all_of(suffix.begin(), suffix.end(), [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
    });
}

}  // namespace

FileResult<std::optional<FileContents>> readFileContents(const std::filesystem::path& path, std::size_t maximumBytes) {
    FileResult<std::optional<OpenedFile>> opened = openRegularFile(path);
    if (!opened || !opened.value()) {
        return opened ? FileResult<std::optional<FileContents>>(std::nullopt) : opened.error();
    }
    const OpenedFile& file = *opened.value();
    if (static_cast<std::size_t>(file.status.st_size) > maximumBytes) {
        return FileError::fromCode(Operation::read, path.string(), EFBIG);
    }
    // The size is only a hint: the file may grow while it is read, so the limit is kept
    // on what is actually read.
    FileContents contents{std::string(static_cast<std::size_t>(file.status.st_size) + 1, '\0'),
                          FileIdentity::of(file.status)};
    std::string& bytes = contents.bytes;
    std::size_t length = 0;
    for (;;) {
        if (length == bytes.size()) {
            if (bytes.size() > maximumBytes) {
                return FileError::fromCode(Operation::read, path.string(), EFBIG);
            }
            bytes.resize(bytes.size() * 2);
        }
        const ssize_t count = ::read(file.fd.get(), bytes.data() + length, bytes.size() - length);
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
    bytes.resize(length);
    return std::optional<FileContents>(std::move(contents));
}

FileResult<std::optional<FileIdentity>> fileIdentity(const std::filesystem::path& path) {
    struct stat status {};
    if (::stat(path.c_str(), &status) != 0) {
        if (errno == ENOENT) {
            return std::optional<FileIdentity>();
        }
        return FileError::fromCode(Operation::read, path.string(), errno);
    }
    return std::optional<FileIdentity>(FileIdentity::of(status));
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

FileResult<FileIdentity> replaceFileContents(const std::filesystem::path& path, std::string_view contents,
                                             mode_t mode) {
    FileResult<TemporaryFile> temporary =
        writeTemporaryFile(path, mode, [contents](int fd) { return writeAll(fd, contents); });
    if (!temporary) {
        return temporary.error();
    }
    if (::rename(temporary.value().path.c_str(), path.c_str()) != 0) {
        const int code = errno;
        ::unlink(temporary.value().path.c_str());
        return FileError::fromCode(Operation::write, path.string(), code);
    }
    if (std::optional<FileError> error = flushFolder(folderOf(path), Operation::write, path)) {
        return *error;
    }
    return temporary.value().identity;
}

FileResult<bool> copyFileIfAbsent(const std::filesystem::path& from, const std::filesystem::path& to, mode_t mode) {
    FileResult<std::optional<OpenedFile>> source = openRegularFile(from);
    if (!source) {
        return source.error();
    }
    if (!source.value()) {
        return FileError::fromCode(Operation::read, from.string(), ENOENT);
    }
    const int sourceFd = source.value()->fd.get();
    FileResult<TemporaryFile> temporary = writeTemporaryFile(to, mode, [sourceFd](int fd) {
        std::vector<char> chunk(kChunkBytes);
        for (;;) {
            const ssize_t count = readFully(sourceFd, chunk);
            if (count <= 0) {
                return count == 0;
            }
            if (!writeAll(fd, std::string_view(chunk.data(), static_cast<std::size_t>(count)))) {
                return false;
            }
        }
    });
    if (!temporary) {
        return temporary.error();
    }
    // link(2), unlike rename, refuses to replace an existing name.
    const int linked = ::link(temporary.value().path.c_str(), to.c_str());
    const int code = errno;
    ::unlink(temporary.value().path.c_str());
    if (linked != 0) {
        if (code == EEXIST) {
            return false;
        }
        return FileError::fromCode(Operation::write, to.string(), code);
    }
    if (std::optional<FileError> error = flushFolder(folderOf(to), Operation::write, to)) {
        return *error;
    }
    return true;
}

FileResult<bool> haveSameContents(const std::filesystem::path& first, const std::filesystem::path& second) {
    FileResult<std::optional<OpenedFile>> one = openRegularFile(first);
    if (!one) {
        return one.error();
    }
    FileResult<std::optional<OpenedFile>> other = openRegularFile(second);
    if (!other) {
        return other.error();
    }
    if (!one.value() || !other.value()) {
        return false;
    }
    const struct stat& a = one.value()->status;
    const struct stat& b = other.value()->status;
    if (a.st_dev == b.st_dev && a.st_ino == b.st_ino) {
        return true;
    }
    if (a.st_size != b.st_size) {
        return false;
    }
    std::vector<char> chunkA(kChunkBytes);
    std::vector<char> chunkB(kChunkBytes);
    for (;;) {
        const ssize_t countA = readFully(one.value()->fd.get(), chunkA);
        if (countA < 0) {
            return FileError::fromCode(Operation::read, first.string(), errno);
        }
        const ssize_t countB = readFully(other.value()->fd.get(), chunkB);
        if (countB < 0) {
            return FileError::fromCode(Operation::read, second.string(), errno);
        }
        if (countA != countB || std::memcmp(chunkA.data(), chunkB.data(), static_cast<std::size_t>(countA)) != 0) {
            return false;
        }
        if (countA == 0) {
            return true;
        }
    }
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

std::optional<FileError> removeAbandonedTemporaryFiles(const std::filesystem::path& folder) {
    const std::unique_ptr<DIR, DirectoryCloser> directory(::opendir(folder.c_str()));
    if (!directory) {
        return errno == ENOENT ? std::nullopt
                               : std::optional(FileError::fromCode(Operation::list, folder.string(), errno));
    }
    bool hasRemoved = false;
    while (const dirent* entry = ::readdir(directory.get())) {
        struct stat status {};
        if (!isTemporaryFileName(entry->d_name) ||
            ::fstatat(::dirfd(directory.get()), entry->d_name, &status, AT_SYMLINK_NOFOLLOW) != 0 ||
            !S_ISREG(status.st_mode)) {
            continue;
        }
        if (::unlinkat(::dirfd(directory.get()), entry->d_name, 0) != 0 && errno != ENOENT) {
            return FileError::fromCode(Operation::remove, (folder / entry->d_name).string(), errno);
        }
        hasRemoved = true;
    }
    return hasRemoved ? flushFolder(folder, Operation::remove, folder) : std::nullopt;
}

}  // namespace foundation
