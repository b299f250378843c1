#include "platform/foundation/UserConfigurationDirectory.h"

#include <pwd.h>
#include <unistd.h>

#include <vector>

#include "platform/foundation/ProcessInfo.h"

namespace foundation {
namespace {

// A relative value is ignored, as the base-directory rule asks: it would make the
// settings depend on whatever folder the program happened to start in.
std::optional<std::filesystem::path> absolute(const std::optional<std::string>& value) {
    if (!value || value->empty() || value->front() != '/') {
        return std::nullopt;
    }
    return std::filesystem::path(*value).lexically_normal();
}

std::optional<std::filesystem::path> passwordDatabaseHome() {
    long bufferSize = ::sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buffer(bufferSize > 0 ? static_cast<std::size_t>(bufferSize) : 16384);
    struct passwd entry {};
    struct passwd* found = nullptr;
    if (::getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &found) != 0 || found == nullptr) {
        return std::nullopt;
    }
    return absolute(std::string(found->pw_dir));
}

}  // namespace

std::optional<std::filesystem::path> userConfigurationDirectory() {
    const ProcessInfo& info = ProcessInfo::processInfo();
    return userConfigurationDirectory(info.environmentValue("XDG_CONFIG_HOME"), info.environmentValue("HOME"));
}

std::optional<std::filesystem::path> userConfigurationDirectory(const std::optional<std::string>& xdgConfigHome,
                                                                const std::optional<std::string>& home) {
    if (std::optional<std::filesystem::path> configHome = absolute(xdgConfigHome)) {
        return configHome;
    }
    std::optional<std::filesystem::path> homeFolder = absolute(home);
    if (!homeFolder) {
        homeFolder = passwordDatabaseHome();
    }
    if (!homeFolder) {
        return std::nullopt;
    }
    return *homeFolder / ".config";
}

}  // namespace foundation
