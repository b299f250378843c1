#include "platform/foundation/Bundle.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <plist/plist.h>

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <ctime>
#include <memory>
#include <mutex>
#include <system_error>
#include <unordered_map>
#include <utility>
#include <vector>

#include "platform/foundation/FileURL.h"

namespace foundation {
namespace {

// Real Info.plist files are a few kilobytes; anything past this is not one we should parse.
constexpr std::size_t kMaxInfoPlistBytes = 1024 * 1024;

constexpr std::string_view kBundleSuffix = ".app";

struct FileDescriptor {
    int fd = -1;
    ~FileDescriptor() {
        if (fd >= 0) {
            ::close(fd);
        }
    }
};

struct PlistDeleter {
    void operator()(plist_t node) const { plist_free(node); }
};
using PlistPointer = std::unique_ptr<std::remove_pointer_t<plist_t>, PlistDeleter>;

struct MallocDeleter {
    void operator()(void* memory) const { std::free(memory); }
};

// What identifies one version of an Info.plist on disk: a rewrite or a replacement
// changes at least one of these.
struct FileVersion {
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = 0;
    std::int64_t modifiedSeconds = 0;
    long modifiedNanoseconds = 0;
    bool operator==(const FileVersion&) const = default;
};

FileVersion versionOf(const struct stat& status) {
    return {status.st_dev, status.st_ino, status.st_size, status.st_mtim.tv_sec, status.st_mtim.tv_nsec};
}

struct InfoPlistFile {
    FileVersion version;
    std::vector<char> contents;
};

// Opens without blocking (a FIFO in place of the plist must not hang the caller) and
// accepts only regular files within the size cap.
std::optional<InfoPlistFile> readInfoPlist(const std::filesystem::path& path) {
    FileDescriptor file{::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC)};
    if (file.fd < 0) {
        return std::nullopt;
    }
    struct stat status {};
    if (::fstat(file.fd, &status) != 0 || !S_ISREG(status.st_mode) ||
        static_cast<std::uintmax_t>(status.st_size) > kMaxInfoPlistBytes) {
        return std::nullopt;
    }
    // One byte more than the file's size, to notice a file that grew since fstat.
    std::vector<char> contents(static_cast<std::size_t>(status.st_size) + 1);
    std::size_t filled = 0;
    while (filled < contents.size()) {
        const ssize_t got = ::read(file.fd, contents.data() + filled, contents.size() - filled);
        if (got == 0) {
            break;
        }
        if (got < 0) {
            if (errno == EINTR) {
                continue;
            }
            return std::nullopt;
        }
        filled += static_cast<std::size_t>(got);
    }
    // The file changed while it was read: it is read again next time.
    if (filled != static_cast<std::size_t>(status.st_size)) {
        return std::nullopt;
    }
    contents.resize(filled);
    return InfoPlistFile{versionOf(status), std::move(contents)};
}

using TextEntries = std::map<std::string, std::string, std::less<>>;

std::optional<TextEntries> textEntriesOf(const std::vector<char>& contents) {
    if (contents.empty()) {
        return std::nullopt;
    }
    plist_t parsed = nullptr;
    plist_from_memory(contents.data(), static_cast<std::uint32_t>(contents.size()), &parsed);
    const PlistPointer root(parsed);
    if (!root || plist_get_node_type(root.get()) != PLIST_DICT) {
        return std::nullopt;
    }
    TextEntries entries;
    plist_dict_iter iterator = nullptr;
    plist_dict_new_iter(root.get(), &iterator);
    const std::unique_ptr<void, MallocDeleter> iteratorOwner(iterator);
    while (true) {
        char* rawKey = nullptr;
        plist_t value = nullptr;
        plist_dict_next_item(root.get(), iterator, &rawKey, &value);
        const std::unique_ptr<char, MallocDeleter> key(rawKey);
        if (value == nullptr) {
            break;
        }
        if (!key || plist_get_node_type(value) != PLIST_STRING) {
            continue;
        }
        char* rawText = nullptr;
        plist_get_string_val(value, &rawText);
        const std::unique_ptr<char, MallocDeleter> text(rawText);
        if (text) {
            entries.emplace(key.get(), text.get());
        }
    }
    return entries;
}

std::string normalisedAbsolute(const std::filesystem::path& path) {
    std::error_code error;
    std::filesystem::path absolute = std::filesystem::absolute(path, error);
    if (error) {
        absolute = path;
    }
    std::string text = absolute.lexically_normal().string();
    while (text.size() > 1 && text.back() == '/') {
        text.pop_back();
    }
    return text;
}

// The process resolves the same bundles for every snapshot of the running processes: each
// Info.plist is parsed once per version on disk, and a stat tells whether it changed.
class InfoPlistCache {
public:
    std::optional<TextEntries> entries(const std::filesystem::path& infoPlist) {
        struct stat status {};
        if (::stat(infoPlist.c_str(), &status) == 0) {
            std::lock_guard lock(mutex_);
            const auto found = entries_.find(infoPlist.native());
            if (found != entries_.end() && found->second.first == versionOf(status)) {
                return found->second.second;
            }
        }
        std::optional<InfoPlistFile> file = readInfoPlist(infoPlist);
        if (!file) {
            return std::nullopt;
        }
        std::optional<TextEntries> parsed = textEntriesOf(file->contents);
        if (!parsed) {
            return std::nullopt;
        }
        // File times tick coarsely (a scheduler tick): a file changed that recently could
        // change again without its version showing it, so it is read again next time.
        if (isRecent(file->version)) {
            return parsed;
        }
        std::lock_guard lock(mutex_);
        if (entries_.size() >= kMaximumEntries) {
            entries_.clear();
        }
        entries_.insert_or_assign(infoPlist.native(), std::make_pair(file->version, *parsed));
        return parsed;
    }

private:
    // Far more bundles than a machine runs at once; a bound, so that a stream of
    // short-lived bundles cannot grow it without end.
    static constexpr std::size_t kMaximumEntries = 4096;
    static constexpr std::int64_t kSettleNanoseconds = 100'000'000;

    static bool isRecent(const FileVersion& version) {
        timespec now{};
        ::clock_gettime(CLOCK_REALTIME, &now);
        const std::int64_t age = (static_cast<std::int64_t>(now.tv_sec) - version.modifiedSeconds) * 1'000'000'000 +
                                 (now.tv_nsec - version.modifiedNanoseconds);
        return age < kSettleNanoseconds;
    }

    std::mutex mutex_;
    std::unordered_map<std::string, std::pair<FileVersion, TextEntries>> entries_;
};

InfoPlistCache& infoPlistCache() {
    static InfoPlistCache cache;
    return cache;
}

}  // namespace

Bundle::Bundle(std::string bundlePath, std::map<std::string, std::string, std::less<>> textEntries)
    : bundlePath_(std::move(bundlePath)), textEntries_(std::move(textEntries)) {}

std::optional<Bundle> Bundle::at(const std::filesystem::path& path) {
    if (path.empty()) {
        return std::nullopt;
    }
    // Contents/Info.plist is found only inside a directory, so that is the one check.
    std::optional<TextEntries> entries = infoPlistCache().entries(path / "Contents" / "Info.plist");
    if (!entries) {
        return std::nullopt;
    }
    return Bundle(normalisedAbsolute(path), std::move(*entries));
}

std::optional<Bundle> Bundle::containing(const std::filesystem::path& executablePath) {
    const std::filesystem::path normal = executablePath.lexically_normal();
    const std::filesystem::path macOS = normal.parent_path();
    const std::filesystem::path contents = macOS.parent_path();
    const std::filesystem::path bundle = contents.parent_path();
    const std::string bundleName = bundle.filename().string();
    if (normal.filename().empty() || macOS.filename() != "MacOS" || contents.filename() != "Contents" ||
        bundleName.size() <= kBundleSuffix.size() || !bundleName.ends_with(kBundleSuffix)) {
        return std::nullopt;
    }
    return at(bundle);
}

std::optional<Bundle> Bundle::main() {
    // The executable cannot move under a running process, so the answer is computed once.
    static const std::optional<Bundle> mainBundle = [] {
        std::error_code error;
        const std::filesystem::path executable = std::filesystem::read_symlink("/proc/self/exe", error);
        return error ? std::nullopt : containing(executable);
    }();
    return mainBundle;
}

std::string Bundle::bundleURL() const { return fileURLWithPath(bundlePath_, true); }

std::optional<std::string> Bundle::bundleIdentifier() const { return infoValue("CFBundleIdentifier"); }

std::optional<std::string> Bundle::infoValue(std::string_view key) const {
    const auto found = textEntries_.find(key);
    if (found == textEntries_.end()) {
        return std::nullopt;
    }
    return found->second;
}

std::optional<std::string> Bundle::executablePath() const {
    const std::optional<std::string> name = infoValue("CFBundleExecutable");
    if (!name || name->empty() || name->find('/') != std::string::npos || *name == "." || *name == "..") {
        return std::nullopt;
    }
    const std::filesystem::path path = std::filesystem::path(bundlePath_) / "Contents" / "MacOS" / *name;
    std::error_code error;
    if (!std::filesystem::is_regular_file(path, error)) {
        return std::nullopt;
    }
    return path.string();
}

}  // namespace foundation
