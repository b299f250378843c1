// Where the settings that decide which applications may capture audio are opened: the
// desktop's own sound settings, for the desktops whose settings accept a link to them.
// The app state controller hands the link to the workspace's URL opener, which returns
// at once; on any other desktop there is no link and nothing is opened.
// Thread-safety: a pure function; callable from any thread.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace tonvale {

// The environment variable naming the running desktop(s), colon-separated ("KDE", "GNOME").
inline constexpr const char* kCurrentDesktopVariable = "XDG_CURRENT_DESKTOP";

// The sound settings link of the first desktop in the list that has one.
[[nodiscard]] std::optional<std::string> systemAudioSettingsURL(std::string_view currentDesktops);

}  // namespace tonvale
