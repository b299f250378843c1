// The program's login item: an XDG autostart entry, <configuration folder>/autostart/
// tonvale.desktop, whose Exec is the absolute path of the running executable. The desktop
// starts every enabled entry of that folder when the user logs in, and its own startup
// settings switch an entry off by marking it Hidden=true or X-GNOME-Autostart-enabled=false.
// The login-item service of the application state reaches it through mainAppService();
// tests construct one on a temporary folder, or subclass it as a fake.
// Thread-safety: the object holds no mutable state; calls may come from any thread, but
// concurrent register and unregister calls race as the files they write do.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string_view>

#include "platform/foundation/FileError.h"

namespace servicemanagement {

// The raw states of a login item. Readers must expect values outside the four listed.
enum class SMAppServiceStatus : std::int64_t {
    notRegistered = 0,     // no entry, or an enabled one whose Exec names a program that no longer exists
    enabled = 1,           // the entry exists, is enabled and starts a program that exists
    requiresApproval = 2,  // the user switched the entry off in the desktop's settings, whatever it starts
    notFound = 3,          // the running executable's own path cannot be determined
};

class SMAppService {
public:
    static constexpr std::string_view kAutostartFolderName = "autostart";
    static constexpr std::string_view kEntryFileName = "tonvale.desktop";

    // The login item of the running program, in the autostart folder of the user's
    // configuration folder as the environment names it now.
    [[nodiscard]] static std::shared_ptr<SMAppService> mainAppService();

    // The login item kept in `autostartFolder` that starts `executablePath` (absolute);
    // nullopt or an empty folder make an item that cannot be found.
    SMAppService(std::filesystem::path autostartFolder, std::optional<std::filesystem::path> executablePath);
    SMAppService(const SMAppService&) = delete;
    SMAppService& operator=(const SMAppService&) = delete;
    virtual ~SMAppService() = default;

    [[nodiscard]] virtual SMAppServiceStatus status() const;
    // Writes a fresh, enabled entry atomically, replacing any entry there was. The error's
    // description is the system's reason with the path.
    [[nodiscard]] virtual std::optional<foundation::FileError> registerAndReturnError();
    // Removes the entry; no entry is success.
    [[nodiscard]] virtual std::optional<foundation::FileError> unregisterAndReturnError();

    // Opens the user's autostart folder through the workspace, creating it first when it can.
    // Returns at once and never reports a failure.
    static void openSystemSettingsLoginItems();

    [[nodiscard]] std::filesystem::path entryPath() const { return autostartFolder_ / kEntryFileName; }

private:
    std::filesystem::path autostartFolder_;
    std::optional<std::filesystem::path> executablePath_;
};

}  // namespace servicemanagement
