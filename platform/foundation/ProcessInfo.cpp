#include "platform/foundation/ProcessInfo.h"

#include <sys/utsname.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <system_error>

namespace foundation {
namespace {

// os-release is a few hundred bytes; a bound keeps a corrupt file from being slurped whole.
constexpr std::streamsize kMaxOsReleaseBytes = 64 * 1024;

std::string readSmallFile(const char* path, std::streamsize limit) {
    std::ifstream stream(path, std::ios::binary);
    if (!stream) {
        return {};
    }
    std::string text(static_cast<std::size_t>(limit), '\0');
    stream.read(text.data(), limit);
    text.resize(static_cast<std::size_t>(stream.gcount()));
    return text;
}

std::vector<std::string> kernelCommandLine() {
    constexpr std::streamsize kMaxCommandLineBytes = 1024 * 1024;
    const std::string raw = readSmallFile("/proc/self/cmdline", kMaxCommandLineBytes);
    std::vector<std::string> arguments;
    std::size_t start = 0;
    while (start < raw.size()) {
        const std::size_t end = raw.find('\0', start);
        const std::size_t stop = end == std::string::npos ? raw.size() : end;
        arguments.emplace_back(raw, start, stop - start);
        start = stop + 1;
    }
    return arguments;
}

std::string lastPathComponent(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// os-release values follow shell quoting: bare, "double" (with \-escapes) or 'single'.
std::string unquoteOsReleaseValue(std::string_view value) {
    if (value.size() >= 2 && value.front() == '\'' && value.back() == '\'') {
        return std::string(value.substr(1, value.size() - 2));
    }
    if (value.size() >= 2 && value.front() == '"' && value.back() == '"') {
        value = value.substr(1, value.size() - 2);
        std::string text;
        for (std::size_t index = 0; index < value.size(); ++index) {
            const bool isEscape = value[index] == '\\' && index + 1 < value.size();
            text.push_back(isEscape ? value[++index] : value[index]);
        }
        return text;
    }
    return std::string(value);
}

std::map<std::string, std::string> parseOsRelease(std::string_view text) {
    std::map<std::string, std::string> fields;
    std::istringstream lines{std::string(text)};
    std::string line;
    while (std::getline(lines, line)) {
        const std::size_t equals = line.find('=');
        if (line.empty() || line.front() == '#' || equals == std::string::npos) {
            continue;
        }
        std::string_view value(line);
        value.remove_prefix(equals + 1);
        while (!value.empty() && (value.back() == ' ' || value.back() == '\t' || value.back() == '\r')) {
            value.remove_suffix(1);
        }
        fields[line.substr(0, equals)] = unquoteOsReleaseValue(value);
    }
    return fields;
}

std::string distributionName(std::string_view osRelease) {
    const std::map<std::string, std::string> fields = parseOsRelease(osRelease);
    const auto field = [&fields](const char* key) {
        const auto found = fields.find(key);
        return found == fields.end() ? std::string() : found->second;
    };
    if (const std::string pretty = field("PRETTY_NAME"); !pretty.empty()) {
        return pretty;
    }
    std::string name = field("NAME");
    if (const std::string version = field("VERSION"); !version.empty()) {
        name += name.empty() ? version : " " + version;
    }
    return name;
}

}  // namespace

ProcessInfo& ProcessInfo::processInfo() {
    static ProcessInfo instance;
    return instance;
}

ProcessInfo::ProcessInfo() : arguments_(kernelCommandLine()) {}

int ProcessInfo::processIdentifier() const { return static_cast<int>(::getpid()); }

std::vector<std::string> ProcessInfo::arguments() const {
    const std::lock_guard lock(mutex_);
    return arguments_;
}

void ProcessInfo::setArguments(int argc, const char* const* argv) {
    std::vector<std::string> arguments;
    for (int index = 0; index < argc && argv[index] != nullptr; ++index) {
        arguments.emplace_back(argv[index]);
    }
    setArguments(std::move(arguments));
}

void ProcessInfo::setArguments(std::vector<std::string> arguments) {
    const std::lock_guard lock(mutex_);
    arguments_ = std::move(arguments);
}

std::optional<std::string> ProcessInfo::environmentValue(std::string_view name) const {
    // A name with '=' or NUL could only ever match part of some other variable.
    if (name.empty() || name.find_first_of(std::string_view("=\0", 2)) != std::string_view::npos) {
        return std::nullopt;
    }
    const char* value = std::getenv(std::string(name).c_str());
    if (value == nullptr) {
        return std::nullopt;
    }
    return std::string(value);
}

std::string ProcessInfo::processName() const {
    {
        const std::lock_guard lock(mutex_);
        if (!arguments_.empty() && !lastPathComponent(arguments_.front()).empty()) {
            return lastPathComponent(arguments_.front());
        }
    }
    std::error_code error;
    const std::filesystem::path executable = std::filesystem::read_symlink("/proc/self/exe", error);
    return error ? std::string() : executable.filename().string();
}

std::string ProcessInfo::operatingSystemVersionString() const {
    std::string osRelease = readSmallFile("/etc/os-release", kMaxOsReleaseBytes);
    if (osRelease.empty()) {
        osRelease = readSmallFile("/usr/lib/os-release", kMaxOsReleaseBytes);
    }
    struct utsname kernel {};
    if (::uname(&kernel) != 0) {
        return composeOperatingSystemVersion(osRelease, "Linux", "", "");
    }
    return composeOperatingSystemVersion(osRelease, kernel.sysname, kernel.release, kernel.machine);
}

std::string ProcessInfo::composeOperatingSystemVersion(std::string_view osRelease, std::string_view kernelName,
                                                       std::string_view kernelRelease, std::string_view machine) {
    std::string kernelText(kernelName);
    for (const std::string_view part : {kernelRelease, machine}) {
        if (part.empty()) {
            continue;
        }
        if (!kernelText.empty()) {
            kernelText += ' ';
        }
        kernelText += part;
    }
    const std::string distribution = distributionName(osRelease);
    if (distribution.empty()) {
        return kernelText;
    }
    if (kernelText.empty()) {
        return distribution;
    }
    return distribution + ", " + kernelText;
}

}  // namespace foundation
