#include "desktop/DesktopEntries.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <fstream>
#include <set>
#include <sstream>
#include <string_view>

namespace desktop {

namespace {

constexpr std::string_view kEntrySuffix = ".desktop";
// Icon sizes in the theme, best first; Qt draws scalable and bitmap icons alike.
constexpr std::string_view kIconSizes[] = {"scalable", "256x256", "128x128", "96x96", "64x64", "48x48", "32x32"};
constexpr std::string_view kIconExtensions[] = {".svg", ".png", ".xpm"};

std::string lowercase(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

std::string trimmed(std::string_view text) {
    const auto first = text.find_first_not_of(" \t\r");
    if (first == std::string_view::npos) {
        return {};
    }
    return std::string(text.substr(first, text.find_last_not_of(" \t\r") - first + 1));
}

// The program an Exec line runs: its first word that is not "env" or a variable setting.
std::string programOf(const std::string& exec) {
    std::istringstream words(exec);
    std::string word;
    while (words >> word) {
        if (!word.empty() && (word.front() == '"' || word.front() == '\'')) {
            word = word.substr(1, word.find(word.front(), 1) - 1);
        }
        if (word == "env" || word.find('=') != std::string::npos) {
            continue;
        }
        return std::filesystem::path(word).filename().string();
    }
    return {};
}

std::vector<std::filesystem::path> splitFolders(const char* value, const char* fallback) {
    std::vector<std::filesystem::path> folders;
    std::istringstream list(value != nullptr && *value != '\0' ? value : fallback);
    std::string folder;
    while (std::getline(list, folder, ':')) {
        if (!folder.empty() && folder.front() == '/') {
            folders.emplace_back(folder);
        }
    }
    return folders;
}

}  // namespace

std::optional<DesktopEntry> DesktopEntries::parse(const std::string& id, const std::string& text) {
    DesktopEntry entry;
    entry.id = id;
    std::istringstream lines(text);
    std::string line;
    bool inMainGroup = false;
    bool isApplication = false;
    bool isHidden = false;
    while (std::getline(lines, line)) {
        line = trimmed(line);
        if (line.empty() || line.front() == '#') {
            continue;
        }
        if (line.front() == '[') {
            inMainGroup = line == "[Desktop Entry]";
            continue;
        }
        const auto equals = line.find('=');
        if (!inMainGroup || equals == std::string::npos) {
            continue;
        }
        const std::string key = trimmed(std::string_view(line).substr(0, equals));
        const std::string value = trimmed(std::string_view(line).substr(equals + 1));
        if (key == "Type") {
            isApplication = value == "Application";
        } else if (key == "Name") {
            entry.name = value;
        } else if (key == "Icon") {
            entry.icon = value;
        } else if (key == "Exec") {
            entry.program = programOf(value);
        } else if (key == "StartupWMClass") {
            entry.startupWMClass = value;
        } else if (key == "Hidden") {
            isHidden = value == "true";
        }
    }
    if (!isApplication || isHidden || entry.name.empty()) {
        return std::nullopt;
    }
    return entry;
}

DesktopEntries::DesktopEntries(std::vector<std::filesystem::path> dataFolders) : dataFolders_(std::move(dataFolders)) {
    std::set<std::string> seen;
    for (const auto& folder : dataFolders_) {
        const std::filesystem::path applications = folder / "applications";
        std::error_code error;
        for (auto it = std::filesystem::recursive_directory_iterator(applications, error);
             !error && it != std::filesystem::recursive_directory_iterator(); it.increment(error)) {
            const std::filesystem::path& path = it->path();
            const std::string relative = path.lexically_relative(applications).string();
            if (!relative.ends_with(kEntrySuffix) || !it->is_regular_file(error)) {
                continue;
            }
            std::string id = relative.substr(0, relative.size() - kEntrySuffix.size());
            std::replace(id.begin(), id.end(), '/', '-');
            if (!seen.insert(id).second) {
                continue;
            }
            std::ifstream file(path);
            std::stringstream text;
            text << file.rdbuf();
            if (std::optional<DesktopEntry> entry = parse(id, text.str())) {
                entries_.push_back(std::move(*entry));
            }
        }
    }
}

std::vector<std::filesystem::path> DesktopEntries::standardDataFolders() {
    std::vector<std::filesystem::path> folders;
    if (const char* home = std::getenv("XDG_DATA_HOME"); home != nullptr && *home == '/') {
        folders.emplace_back(home);
    } else if (const char* user = std::getenv("HOME"); user != nullptr && *user == '/') {
        folders.push_back(std::filesystem::path(user) / ".local" / "share");
    }
    for (auto& folder : splitFolders(std::getenv("XDG_DATA_DIRS"), "/usr/local/share:/usr/share")) {
        folders.push_back(std::move(folder));
    }
    return folders;
}

const DesktopEntry* DesktopEntries::withID(const std::string& id) const {
    const auto found =
        std::find_if(entries_.begin(), entries_.end(), [&id](const DesktopEntry& entry) { return entry.id == id; });
    return found == entries_.end() ? nullptr : &*found;
}

const DesktopEntry* DesktopEntries::matching(const std::vector<std::string>& programNames) const {
    for (const std::string& name : programNames) {
        if (name.empty()) {
            continue;
        }
        const std::string lowered = lowercase(name);
        for (const DesktopEntry& entry : entries_) {
            if (entry.program == name ||
                (!entry.startupWMClass.empty() && lowercase(entry.startupWMClass) == lowered)) {
                return &entry;
            }
        }
    }
    return nullptr;
}

std::optional<std::filesystem::path> DesktopEntries::iconFile(const std::string& icon) const {
    if (icon.empty()) {
        return std::nullopt;
    }
    std::error_code error;
    if (icon.front() == '/') {
        return std::filesystem::is_regular_file(icon, error) ? std::optional<std::filesystem::path>(icon)
                                                             : std::nullopt;
    }
    for (const auto& folder : dataFolders_) {
        for (const std::string_view size : kIconSizes) {
            for (const std::string_view extension : kIconExtensions) {
                const auto candidate = folder / "icons" / "hicolor" / size / "apps" / (icon + std::string(extension));
                if (std::filesystem::is_regular_file(candidate, error)) {
                    return candidate;
                }
            }
        }
        for (const std::string_view extension : kIconExtensions) {
            const auto candidate = folder / "pixmaps" / (icon + std::string(extension));
            if (std::filesystem::is_regular_file(candidate, error)) {
                return candidate;
            }
        }
    }
    return std::nullopt;
}

}  // namespace desktop
