#include "platform/foundation/UserDefaults.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <memory>

#include "platform/foundation/UserConfigurationDirectory.h"

namespace foundation {
namespace {

using Operation = FileError::Operation;

constexpr std::string_view kNoFolderReason =
    "No settings folder: neither XDG_CONFIG_HOME nor HOME names an absolute folder";
// Settings in a folder another user controls could have been put there by that user.
constexpr std::string_view kForeignFolderReason = "It belongs to another user";

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

FileResult<FolderLock> UserDefaults::exclusiveAccess(bool isCreatingFolder) const {
    if (folder_.empty()) {
        return FileError{Operation::useFolder, "", 0, std::string(kNoFolderReason)};
    }
    if (isCreatingFolder) {
        if (std::optional<FileError> error = createFolder(folder_, kFolderMode)) {
            return *error;
        }
    }
    FileResult<FolderLock> lock = FolderLock::lock(folder_);
    if (!lock) {
        if (!isCreatingFolder && lock.error().code == ENOENT) {
            return FolderLock();
        }
        return lock;
    }
    // Checked on the folder that was locked, so a folder swapped in meanwhile changes nothing.
    const int fd = lock.value().descriptor();
    struct stat status {};
    if (::fstat(fd, &status) != 0) {
        return FileError::fromCode(Operation::useFolder, folder_.string(), errno);
    }
    if (status.st_uid != ::geteuid()) {
        return FileError{Operation::useFolder, folder_.string(), 0, std::string(kForeignFolderReason)};
    }
    // Anyone who may enter the folder could swap the settings file for another.
    if ((status.st_mode & 077) != 0 && ::fchmod(fd, status.st_mode & 0700) != 0) {
        return FileError::fromCode(Operation::useFolder, folder_.string(), errno);
    }
    if (std::optional<FileError> error = removeAbandonedTemporaryFiles(folder_)) {
        return *error;
    }
    return lock;
}

FileResult<std::optional<FileContents>> UserDefaults::dataForKey(std::string_view key, std::size_t maximumBytes) const {
    if (std::optional<FileError> error = unusableKeyError(key, Operation::read)) {
        return *error;
    }
    return readFileContents(pathForKey(key), maximumBytes);
}

FileResult<std::optional<FileIdentity>> UserDefaults::identityForKey(std::string_view key) const {
    if (std::optional<FileError> error = unusableKeyError(key, Operation::read)) {
        return *error;
    }
    return fileIdentity(pathForKey(key));
}

FileResult<FileIdentity> UserDefaults::setDataForKey(std::string_view data, std::string_view key) const {
    if (std::optional<FileError> error = unusableKeyError(key, Operation::write)) {
        return *error;
    }
    if (std::optional<FileError> error = createFolder(folder_, kFolderMode)) {
        return *error;
    }
    return replaceFileContents(pathForKey(key), data, kValueMode);
}

FileResult<bool> UserDefaults::copyDataIfAbsent(std::string_view key, std::string_view copyKey) const {
    if (std::optional<FileError> error = unusableKeyError(key, Operation::read)) {
        return *error;
    }
    if (std::optional<FileError> error = unusableKeyError(copyKey, Operation::write)) {
        return *error;
    }
    return copyFileIfAbsent(pathForKey(key), pathForKey(copyKey), kValueMode);
}

FileResult<bool> UserDefaults::hasSameData(std::string_view key, std::string_view otherKey) const {
    for (const std::string_view each : {key, otherKey}) {
        if (std::optional<FileError> error = unusableKeyError(each, Operation::read)) {
            return *error;
        }
    }
    return haveSameContents(pathForKey(key), pathForKey(otherKey));
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
