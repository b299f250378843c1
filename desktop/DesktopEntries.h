// The applications installed on the desktop, as their desktop entries describe them
// (the freedesktop.org Desktop Entry files under each data folder's "applications"): id,
// name, icon, and what identifies their processes (the program Exec runs, StartupWMClass).
// Icons are found in the icon theme's folders (hicolor) or the pixmaps folder.
//
// Read once from the folders given (XDG_DATA_HOME and XDG_DATA_DIRS by default) and
// immutable after.
// Thread-safety: const after construction; any thread.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace desktop {

struct DesktopEntry {
    // The file's id: its path below "applications", "/" as "-", without ".desktop".
    std::string id;
    std::string name;
    std::string icon;
    // The base name of the program Exec runs.
    std::string program;
    std::string startupWMClass;
    bool operator==(const DesktopEntry&) const = default;
};

class DesktopEntries {
public:
    // The entries under dataFolders/applications, the first folder winning for an id; the
    // icon search uses dataFolders/icons and dataFolders/pixmaps.
    explicit DesktopEntries(std::vector<std::filesystem::path> dataFolders);
    // The desktop's data folders: XDG_DATA_HOME (~/.local/share), then XDG_DATA_DIRS
    // (/usr/local/share:/usr/share).
    [[nodiscard]] static std::vector<std::filesystem::path> standardDataFolders();

    [[nodiscard]] const DesktopEntry* withID(const std::string& id) const;
    // The entry whose program or StartupWMClass (any case) is one of the names.
    [[nodiscard]] const DesktopEntry* matching(const std::vector<std::string>& programNames) const;
    // The icon file an entry's Icon names: an absolute path, or a name in the icon theme.
    [[nodiscard]] std::optional<std::filesystem::path> iconFile(const std::string& icon) const;

    // Parses one entry's text; none when it is no application entry to show.
    [[nodiscard]] static std::optional<DesktopEntry> parse(const std::string& id, const std::string& text);

private:
    std::vector<std::filesystem::path> dataFolders_;
    std::vector<DesktopEntry> entries_;
};

}  // namespace desktop
