#include "platform/foundation/UserDefaults.h"

#include <dirent.h>

#include <algorithm>
#include <cerrno>
#include <memory>

#include "platform/foundation/DurableFile.h"
#include "platform/foundation/UserConfigurationDirectory.h"

namespace foundation {
namespace {

using Operation = FileError::Operation;

constexpr std::string_view kNoFolderReason =
    "No settings folder: neither XDG_CONFIG_HOME nor HOME names an absolute folder";

// Names starting with '.' are the writers' temporary files; '/' would leave the folder.
bool isUsableKey(std::string_view key) {
    return !key.empty() && key.front() != '.' && key.find('/') == std::string_view::npos &&
           key.find('\0') == std::string_view::npos;
}

struct DirectoryCloser {
    void operator()(DIR* directory) const { ::closedir(directory); }
};

}  // namespace

UserDefaults UserDefaults::standardUserDefaults() {
    const std::optional<std::filesystem::path> configuration = userConfigurationDirectory();
    return UserDefaults(configuration ? *configuration / kDomainFolderName : std::filesystem::path());
}

UserDefaults::UserDefaults(std::filesystem::path folder) : folder_(std::move(folder)) {}

std::optional<FileError> UserDefaults::unusableKeyError(std::string_view key, Operation operation) const {
    if (folder_.empty()) {
        return FileError{operation, std::string(key), 0, std::string(kNoFolderReason)};
    }
    if (!isUsableKey(key)) {
        return FileError{operation, pathForKey(key).string(), EINVAL, "Not a usable key"};
    }
    return std::nullopt;
}

FileResult<std::optional<std::string>> UserDefaults::dataForKey(std::string_view key) const {
    if (std::optional<FileError> error = unusableKeyError(key, Operation::read)) {
        return *error;
    }
    return readFileContents(pathForKey(key), kMaximumValueBytes);
}

std::optional<FileError> UserDefaults::setDataForKey(std::string_view data, std::string_view key) const {
    if (std::optional<FileError> error = unusableKeyError(key, Operation::write)) {
        return error;
    }
    if (std::optional<FileError> error = createFolder(folder_, kFolderMode)) {
        return error;
    }
    return replaceFileContents(pathForKey(key), data, kValueMode);
}

FileResult<bool> UserDefaults::setDataIfAbsent(std::string_view data, std::string_view key) const {
    if (std::optional<FileError> error = unusableKeyError(key, Operation::write)) {
        return *error;
    }
    if (std::optional<FileError> error = createFolder(folder_, kFolderMode)) {
        return *error;
    }
    return createFileContents(pathForKey(key), data, kValueMode);
}

std::optional<FileError> UserDefaults::removeObjectForKey(std::string_view key) const {
    if (std::optional<FileError> error = unusableKeyError(key, Operation::remove)) {
        return error;
    }
    return removeFile(pathForKey(key));
}

FileResult<std::vector<std::string>> UserDefaults::keys() const {
    if (folder_.empty()) {
        return FileError{Operation::list, "", 0, std::string(kNoFolderReason)};
    }
    const std::unique_ptr<DIR, DirectoryCloser> directory(::opendir(folder_.c_str()));
    if (!directory) {
        if (errno == ENOENT) {
            return std::vector<std::string>();
        }
        return FileError::fromCode(Operation::list, folder_.string(), errno);
    }
    std::vector<std::string> keys;
    errno = 0;
    while (const dirent* entry = ::readdir(directory.get())) {
        const std::string_view name(entry->d_name);
        if (isUsableKey(name) && entry->d_type != DT_DIR) {
            keys.emplace_back(name);
        }
        errno = 0;
    }
    if (errno != 0) {
        return FileError::fromCode(Operation::list, folder_.string(), errno);
    }
    std::sort(keys.begin(), keys.end());
    return keys;
}

}  // namespace foundation
