#include "platform/foundation/Bundle.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <plist/plist.h>

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <system_error>
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

// Opens without blocking (a FIFO in place of the plist must not hang the caller) and
// accepts only regular files within the size cap.
std::optional<std::vector<char>> readInfoPlist(const std::filesystem::path& path) {
    FileDescriptor file{::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC)};
    if (file.fd < 0) {
        return std::nullopt;
    }
    struct stat status {};
    if (::fstat(file.fd, &status) != 0 || !S_ISREG(status.st_mode) ||
        static_cast<std::uintmax_t>(status.st_size) > kMaxInfoPlistBytes) {
        return std::nullopt;
    }
    std::vector<char> contents(kMaxInfoPlistBytes + 1);
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
    // The file may have grown since fstat; the cap still holds.
    if (filled > kMaxInfoPlistBytes) {
        return std::nullopt;
    }
    contents.resize(filled);
    return contents;
}

std::optional<std::map<std::string, std::string, std::less<>>> textEntriesOf(const std::vector<char>& contents) {
    if (contents.empty()) {
        return std::nullopt;
    }
    plist_t parsed = nullptr;
    plist_from_memory(contents.data(), static_cast<std::uint32_t>(contents.size()), &parsed);
    const PlistPointer root(parsed);
    if (!root || plist_get_node_type(root.get()) != PLIST_DICT) {
        return std::nullopt;
    }
    std::map<std::string, std::string, std::less<>> entries;
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

}  // namespace

Bundle::Bundle(std::string bundlePath, std::map<std::string, std::string, std::less<>> textEntries)
    : bundlePath_(std::move(bundlePath)), textEntries_(std::move(textEntries)) {}

std::optional<Bundle> Bundle::at(const std::filesystem::path& path) {
    if (path.empty()) {
        return std::nullopt;
    }
    std::error_code error;
    if (!std::filesystem::is_directory(path, error)) {
        return std::nullopt;
    }
    const std::optional<std::vector<char>> contents = readInfoPlist(path / "Contents" / "Info.plist");
    if (!contents) {
        return std::nullopt;
    }
    auto entries = textEntriesOf(*contents);
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

std::string Bundle::bundleURL() const {
    return fileURLWithPath(bundlePath_, true);
}

std::optional<std::string> Bundle::bundleIdentifier() const {
    return infoValue("CFBundleIdentifier");
}

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
