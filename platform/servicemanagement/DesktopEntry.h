// The desktop-entry file format as far as a login item needs it: writing an entry that
// launches one program, and reading back which program an entry launches and whether the
// user switched it off. Only the [Desktop Entry] group counts; localized keys are ignored.
// Thread-safety: a value and pure functions; safe from any thread.
#pragma once

#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace servicemanagement {

struct DesktopEntry {
    // The keys of the [Desktop Entry] group with their raw values.
    std::map<std::string, std::string, std::less<>> values;

    [[nodiscard]] static DesktopEntry parse(std::string_view text);

    // An enabled application entry named `name` whose Exec runs `program`, quoted and
    // escaped so that any path reads back unchanged.
    [[nodiscard]] static std::string launching(const std::filesystem::path& program, std::string_view name);

    // The program of the Exec line (its first argument, unquoted); nullopt when there is none.
    [[nodiscard]] std::optional<std::string> program() const;
    // Hidden=true or X-GNOME-Autostart-enabled=false: the desktop's way of switching an
    // autostart entry off without deleting it.
    [[nodiscard]] bool isSwitchedOff() const;
};

}  // namespace servicemanagement
