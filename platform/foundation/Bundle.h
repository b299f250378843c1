// An application bundle on disk: a directory laid out as Name.app/Contents/Info.plist, with
// its executable in Contents/MacOS. Opening one reads the Info.plist (XML or binary) once and
// keeps its text entries; the value is then independent of the disk and cheap to copy.
// Thread-safety: a Bundle is an immutable value; at, containing and main may run on any thread.
#pragma once

#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace foundation {

class Bundle {
public:
    // The bundle rooted at `path`, or nullopt when `path` is not a directory holding
    // Contents/Info.plist whose root is a dictionary. Unreadable, oversized or malformed
    // property lists count as no bundle.
    [[nodiscard]] static std::optional<Bundle> at(const std::filesystem::path& path);

    // The bundle that owns an executable placed as X.app/Contents/MacOS/<executable>;
    // nullopt for an executable anywhere else.
    [[nodiscard]] static std::optional<Bundle> containing(const std::filesystem::path& executablePath);

    // The bundle holding the running executable; nullopt when the program runs outside one.
    [[nodiscard]] static std::optional<Bundle> main();

    // Absolute, lexically normalised path without a trailing separator.
    [[nodiscard]] const std::string& bundlePath() const { return bundlePath_; }
    // The directory's file URL, percent-encoded, with a trailing slash ("file:///A/My%20App.app/").
    [[nodiscard]] std::string bundleURL() const;

    [[nodiscard]] std::optional<std::string> bundleIdentifier() const;
    // A top-level Info.plist entry when it is text; nullopt when missing or of another type.
    [[nodiscard]] std::optional<std::string> infoValue(std::string_view key) const;
    // Contents/MacOS/<CFBundleExecutable> when the entry names a file that exists.
    [[nodiscard]] std::optional<std::string> executablePath() const;

    bool operator==(const Bundle&) const = default;

private:
    Bundle(std::string bundlePath, std::map<std::string, std::string, std::less<>> textEntries);

    std::string bundlePath_;
    std::map<std::string, std::string, std::less<>> textEntries_;
};

}  // namespace foundation
