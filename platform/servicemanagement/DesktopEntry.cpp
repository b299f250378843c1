#include "platform/servicemanagement/DesktopEntry.h"

namespace servicemanagement {
namespace {

constexpr std::string_view kMainGroup = "[Desktop Entry]";
// Characters that make an Exec argument need quotes.
constexpr std::string_view kReservedInArgument = " \t\n\"'\\><~|&;$*?#()`";
// Characters a quoted Exec argument escapes with a backslash.
constexpr std::string_view kEscapedInQuotes = "\"`$\\";

std::string_view trimmed(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) {
        text.remove_prefix(1);
    }
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r')) {
        text.remove_suffix(1);
    }
    return text;
}

// The string-value escapes of the format: \s \n \t \r \\.
std::string unescapedValue(std::string_view value) {
    std::string text;
    for (std::size_t index = 0; index < value.size(); ++index) {
        if (value[index] != '\\' || index + 1 == value.size()) {
            text.push_back(value[index]);
            continue;
        }
        switch (const char next = value[++index]) {
            case 's':
                text.push_back(' ');
                break;
            case 'n':
                text.push_back('\n');
                break;
            case 't':
                text.push_back('\t');
                break;
            case 'r':
                text.push_back('\r');
                break;
            case '\\':
                text.push_back('\\');
                break;
            default:
                text.push_back('\\');
                text.push_back(next);
        }
    }
    return text;
}

std::string escapedValue(std::string_view text) {
    std::string value;
    for (const char c : text) {
        switch (c) {
            case '\\':
                value += "\\\\";
                break;
            case '\n':
                value += "\\n";
                break;
            case '\t':
                value += "\\t";
                break;
            case '\r':
                value += "\\r";
                break;
            default:
                value.push_back(c);
        }
    }
    return value;
}

std::string quotedArgument(std::string_view argument) {
    std::string quoted;
    const bool needsQuotes = argument.empty() || argument.find_first_of(kReservedInArgument) != std::string_view::npos;
    if (needsQuotes) {
        quoted.push_back('"');
    }
    for (const char c : argument) {
        if (needsQuotes && kEscapedInQuotes.find(c) != std::string_view::npos) {
            quoted.push_back('\\');
        }
        quoted.push_back(c);
        if (c == '%') {
            quoted.push_back('%');
        }
    }
    if (needsQuotes) {
        quoted.push_back('"');
    }
    return quoted;
}

std::string withoutDoubledPercents(std::string_view text) {
    std::string plain;
    for (std::size_t index = 0; index < text.size(); ++index) {
        plain.push_back(text[index]);
        if (text[index] == '%' && index + 1 < text.size() && text[index + 1] == '%') {
            ++index;
        }
    }
    return plain;
}

}  // namespace

DesktopEntry DesktopEntry::parse(std::string_view text) {
    DesktopEntry entry;
    bool isInMainGroup = false;
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        const std::string_view line = trimmed(text.substr(0, end));
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
        if (line.empty() || line.front() == '#') {
            continue;
        }
        if (line.front() == '[') {
            isInMainGroup = line == kMainGroup;
            continue;
        }
        const std::size_t equals = line.find('=');
        if (!isInMainGroup || equals == std::string_view::npos) {
            continue;
        }
        // The first value of a key counts, as in the desktop's own reader.
        entry.values.emplace(trimmed(line.substr(0, equals)), trimmed(line.substr(equals + 1)));
    }
    return entry;
}

std::string DesktopEntry::launching(const std::filesystem::path& program, std::string_view name) {
    return std::string(kMainGroup) +
           "\n"
           "Type=Application\n"
           "Name=" +
           escapedValue(name) +
           "\n"
           "Exec=" +
           escapedValue(quotedArgument(program.string())) +
           "\n"
           "Terminal=false\n"
           "X-GNOME-Autostart-enabled=true\n";
}

std::optional<std::string> DesktopEntry::program() const {
    const auto exec = values.find("Exec");
    if (exec == values.end()) {
        return std::nullopt;
    }
    const std::string command = unescapedValue(exec->second);
    std::string argument;
    std::size_t index = command.find_first_not_of(" \t");
    if (index == std::string::npos) {
        return std::nullopt;
    }
    if (command[index] == '"') {
        for (++index; index < command.size() && command[index] != '"'; ++index) {
            const bool isEscape = command[index] == '\\' && index + 1 < command.size() &&
                                  kEscapedInQuotes.find(command[index + 1]) != std::string::npos;
            argument.push_back(isEscape ? command[++index] : command[index]);
        }
    } else {
        argument = command.substr(index, command.find_first_of(" \t", index) - index);
    }
    if (argument.empty()) {
        return std::nullopt;
    }
    return withoutDoubledPercents(argument);
}

bool DesktopEntry::isSwitchedOff() const {
    const auto value = [this](std::string_view key) {
        const auto found = values.find(key);
        return found == values.end() ? std::string_view() : std::string_view(found->second);
    };
    return value("Hidden") == "true" || value("X-GNOME-Autostart-enabled") == "false";
}

}  // namespace servicemanagement
