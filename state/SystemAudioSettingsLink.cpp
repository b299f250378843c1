#include "state/SystemAudioSettingsLink.h"

#include <array>
#include <utility>

namespace tonvale {
namespace {

// Desktops whose settings application opens a section from a link of its own scheme.
constexpr std::array<std::pair<std::string_view, std::string_view>, 1> kSoundSettingsLinks{{
    {"KDE", "systemsettings://kcm_pulseaudio"},
}};

}  // namespace

std::optional<std::string> systemAudioSettingsURL(std::string_view currentDesktops) {
    while (!currentDesktops.empty()) {
        const std::size_t end = currentDesktops.find(':');
        const std::string_view desktop = currentDesktops.substr(0, end);
        for (const auto& [name, link] : kSoundSettingsLinks) {
            if (desktop == name) {
                return std::string(link);
            }
        }
        currentDesktops.remove_prefix(end == std::string_view::npos ? currentDesktops.size() : end + 1);
    }
    return std::nullopt;
}

}  // namespace tonvale
