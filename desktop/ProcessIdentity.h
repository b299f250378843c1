// Which application a process belongs to, in place of a bundle identifier: the Flatpak or
// Snap application id, the application.id it gives the audio server, or the installed
// desktop entry whose program or StartupWMClass matches it; a helper process without one
// of its own belongs to the nearest ancestor that has one (a shell or the session's init
// ends the search); else it is known by its executable's name. Name and icon come from
// the desktop entry.
//
// Reads /proc (or the folder given); answers are cached by process and start time, so a
// pid the system reuses is identified afresh.
// Thread-safety: every operation may be called from any thread (one mutex).
#pragma once

#include "desktop/DesktopEntries.h"
#include "desktop/PipeWireGraph.h"

#include <cstdint>
#include <filesystem>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace desktop {

struct Identity {
    // The desktop entry id where one is known, else the executable's name.
    std::string identifier;
    std::string name;
    std::optional<std::filesystem::path> iconFile;
    // An installed application (a desktop entry, Flatpak or Snap) and not a bare program.
    bool isApplication = false;
    bool operator==(const Identity&) const = default;
};

class ProcessIdentity {
public:
    explicit ProcessIdentity(DesktopEntries entries, std::filesystem::path processFolder = "/proc");

    // The identity of the process; hints are what it told the audio server about itself
    // (application.id, application.name, application.process.binary).
    [[nodiscard]] Identity identify(std::int32_t pid, const Properties& hints = {});
    // The processes of this user that are applications by themselves, or that were
    // identified before (the audio server's clients), with their identities, by pid.
    [[nodiscard]] std::vector<std::pair<std::int32_t, Identity>> userProcesses();
    [[nodiscard]] const DesktopEntries& entries() const { return entries_; }

private:
    struct ProcessFacts {
        std::uint64_t startTime = 0;
        std::int32_t parent = 0;
        std::string command;
        // The first argument's, the command's and the executable's base names.
        std::vector<std::string> names;
        std::optional<std::string> sandboxID;
    };

    // What the process's status tells (start time, parent, command); none when it is gone.
    [[nodiscard]] std::optional<ProcessFacts> statusOf(std::int32_t pid) const;
    // Adds its names and sandbox, which take more reads.
    void complete(std::int32_t pid, ProcessFacts& facts) const;
    // The application a process declares or matches by itself, if any.
    [[nodiscard]] std::optional<Identity> ownApplication(const ProcessFacts& facts, const Properties& hints) const;
    [[nodiscard]] Identity fromEntry(const DesktopEntry& entry) const;
    [[nodiscard]] Identity resolve(std::int32_t pid, const ProcessFacts& facts, const Properties& hints) const;

    const DesktopEntries entries_;
    const std::filesystem::path processFolder_;
    std::mutex mutex_;
    struct Cached {
        std::uint64_t startTime = 0;
        Properties hints;
        Identity identity;
        // Resolved in full (parent chain included), not only by what it is itself.
        bool isResolved = false;
    };
    std::map<std::int32_t, Cached> cache_;
};

}  // namespace desktop
