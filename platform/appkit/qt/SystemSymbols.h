// The system symbols the program draws, by their platform names ("speaker.wave.2.fill"),
// with the desktop icon theme's names that fit each. Only symbolic (monochrome) theme
// icons fit: symbols are drawn in one colour, which would flatten a coloured icon into
// a silhouette without its inner detail.
// Every symbol also has the program's own drawing, shipped in the bundle's resources as
// Symbols/<name>.svg, for desktops whose theme has no fitting icon.
// Thread-safety: the table is constant; any thread may read it.
#pragma once

#include <string_view>
#include <vector>

namespace appkit {

struct SystemSymbol {
    std::string_view name;
    // Freedesktop symbolic icon names, best first; empty where none fits.
    std::vector<std::string_view> themeIconNames;
};

// The folder under the resources that holds the shipped drawings.
inline constexpr std::string_view kSymbolsFolder = "Symbols";

[[nodiscard]] const std::vector<SystemSymbol>& systemSymbols();

// The symbol with that name, or nullptr for a name the program does not know.
[[nodiscard]] const SystemSymbol* systemSymbolNamed(std::string_view name);

}  // namespace appkit
