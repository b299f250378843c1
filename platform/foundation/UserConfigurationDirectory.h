// Where the user's configuration files live, by the desktop's base-directory rule:
// $XDG_CONFIG_HOME when it is an absolute path, otherwise <home>/.config, home being $HOME
// when it is absolute and else the user's entry in the password database. The user
// defaults and the login item keep their files below it.
// Thread-safety: safe from any thread, as long as nothing changes the environment meanwhile.
#pragma once

#include <filesystem>
#include <optional>
#include <string>

namespace foundation {

// From the live environment; nullopt when no absolute home can be found at all.
[[nodiscard]] std::optional<std::filesystem::path> userConfigurationDirectory();

// The same rule from given values (nullopt meaning unset), so it can be checked without
// touching the environment.
[[nodiscard]] std::optional<std::filesystem::path> userConfigurationDirectory(
    const std::optional<std::string>& xdgConfigHome, const std::optional<std::string>& home);

}  // namespace foundation
