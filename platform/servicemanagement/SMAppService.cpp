#include "platform/servicemanagement/SMAppService.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <system_error>

#include "platform/appkit/Workspace.h"
#include "platform/foundation/DurableFile.h"
#include "platform/foundation/FileURL.h"
#include "platform/foundation/ProcessInfo.h"
#include "platform/foundation/UserConfigurationDirectory.h"
#include "platform/servicemanagement/DesktopEntry.h"

namespace servicemanagement {
namespace {

using foundation::FileError;

constexpr std::string_view kEntryName = "Tonvale";
constexpr mode_t kAutostartFolderMode = 0700;
constexpr mode_t kEntryMode = 0644;
// A desktop entry is a few hundred bytes; a larger file is not one of ours to parse.
constexpr std::size_t kMaximumEntryBytes = 64 * 1024;
// The kernel's mark on the path of an executable that was deleted or replaced while it
// runs; an upgrade puts the new program at the same path, which is what should start.
constexpr std::string_view kDeletedSuffix = " (deleted)";

std::optional<std::filesystem::path> runningExecutablePath() {
    std::error_code error;
    std::string path = std::filesystem::read_symlink("/proc/self/exe", error).string();
    if (error || path.empty() || path.front() != '/') {
        return std::nullopt;
    }
    if (path.ends_with(kDeletedSuffix)) {
        path.resize(path.size() - kDeletedSuffix.size());
    }
    return std::filesystem::path(path);
}

std::optional<std::filesystem::path> autostartFolder() {
    const std::optional<std::filesystem::path> configuration = foundation::userConfigurationDirectory();
    if (!configuration) {
        return std::nullopt;
    }
    return *configuration / SMAppService::kAutostartFolderName;
}

bool isProgramFile(const std::filesystem::path& path) {
    struct stat status {};
    return ::stat(path.c_str(), &status) == 0 && S_ISREG(status.st_mode);
}

// A program named without a folder is looked up as the desktop would run it: along PATH.
bool programExists(const std::string& program) {
    if (program.find('/') != std::string::npos) {
        return isProgramFile(program);
    }
    const std::optional<std::string> searchPath = foundation::ProcessInfo::processInfo().environmentValue("PATH");
    std::string_view folders =
        searchPath ? std::string_view(*searchPath) : std::string_view("/usr/local/bin:/usr/bin:/bin");
    while (true) {
        const std::size_t colon = folders.find(':');
        const std::string_view folder = folders.substr(0, colon);
        if (!folder.empty() && isProgramFile(std::filesystem::path(folder) / program)) {
            return true;
        }
        if (colon == std::string_view::npos) {
            return false;
        }
        folders.remove_prefix(colon + 1);
    }
}

}  // namespace

std::shared_ptr<SMAppService> SMAppService::mainAppService() {
    return std::make_shared<SMAppService>(autostartFolder().value_or(std::filesystem::path()), runningExecutablePath());
}

SMAppService::SMAppService(std::filesystem::path autostartFolder, std::optional<std::filesystem::path> executablePath)
    : autostartFolder_(std::move(autostartFolder)), executablePath_(std::move(executablePath)) {}

SMAppServiceStatus SMAppService::status() const {
    if (!executablePath_ || autostartFolder_.empty()) {
        return SMAppServiceStatus::notFound;
    }
    // An entry that cannot be read is no working login item: enabling writes a fresh one.
    const foundation::FileResult<std::optional<foundation::FileContents>> text =
        foundation::readFileContents(entryPath(), kMaximumEntryBytes);
    if (!text || !text.value()) {
        return SMAppServiceStatus::notRegistered;
    }
    const DesktopEntry entry = DesktopEntry::parse(text.value()->bytes);
    // Switched off stays off, even once the program it names has moved: turning it on again
    // is the user's to do.
    if (entry.isSwitchedOff()) {
        return SMAppServiceStatus::requiresApproval;
    }
    // An enabled entry whose program is gone starts nothing: enabling writes one for the
    // program's path now.
    const std::optional<std::string> program = entry.program();
    if (!program || !programExists(*program)) {
        return SMAppServiceStatus::notRegistered;
    }
    return SMAppServiceStatus::enabled;
}

std::optional<FileError> SMAppService::registerAndReturnError() {
    if (autostartFolder_.empty()) {
        return FileError{FileError::Operation::write, std::string(kEntryFileName), 0,
                         "No autostart folder: neither XDG_CONFIG_HOME nor HOME names an absolute folder"};
    }
    if (!executablePath_) {
        return FileError{FileError::Operation::write, entryPath().string(), 0,
                         "The running program's own path cannot be determined"};
    }
    if (std::optional<FileError> error = foundation::createFolder(autostartFolder_, kAutostartFolderMode)) {
        return error;
    }
    const foundation::FileResult<foundation::FileIdentity> written =
        foundation::replaceFileContents(entryPath(), DesktopEntry::launching(*executablePath_, kEntryName), kEntryMode);
    return written ? std::nullopt : std::optional(written.error());
}

std::optional<FileError> SMAppService::unregisterAndReturnError() {
    if (autostartFolder_.empty()) {
        return std::nullopt;
    }
    return foundation::removeFile(entryPath());
}

void SMAppService::openSystemSettingsLoginItems() {
    const std::optional<std::filesystem::path> folder = autostartFolder();
    if (!folder) {
        return;
    }
    // A folder that cannot be made is still handed over; the opener shows what it finds.
    static_cast<void>(foundation::createFolder(*folder, kAutostartFolderMode));
    appkit::Workspace::sharedWorkspace().openURL(foundation::fileURLWithPath(*folder, true));
}

}  // namespace servicemanagement
