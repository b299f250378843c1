// Which file a path led to at one moment and how it stood: device, inode, size and
// modification time. Two equal identities are the same file, unchanged as far as the file
// system tells; a file replaced by rename, rewritten or truncated compares unequal. The
// settings store keeps the identity of what it last read or wrote, so it never writes over
// a document someone else put there meanwhile.
// Thread-safety: a value; copies may move freely between threads.
#pragma once

#include <sys/stat.h>

#include <cstdint>

namespace foundation {

struct FileIdentity {
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    std::int64_t size = 0;
    std::int64_t modificationSeconds = 0;
    std::int64_t modificationNanoseconds = 0;

    [[nodiscard]] static FileIdentity of(const struct stat& status) noexcept {
        return {static_cast<std::uint64_t>(status.st_dev), static_cast<std::uint64_t>(status.st_ino),
                static_cast<std::int64_t>(status.st_size), static_cast<std::int64_t>(status.st_mtim.tv_sec),
                static_cast<std::int64_t>(status.st_mtim.tv_nsec)};
    }

    bool operator==(const FileIdentity&) const = default;
};

}  // namespace foundation
