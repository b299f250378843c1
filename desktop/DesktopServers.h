// The program's servers on the real desktop: the audio hardware service on PipeWire and
// the desktop's workspace, made, installed and kept for the life of the process, as the
// simulated server's startShared does for the simulation.
// Thread-safety: call startShared once, from the main thread, before any mode runs.
#pragma once

#include <optional>
#include <string>

namespace desktop {

class DesktopServers {
public:
    // Connects to the desktop's PipeWire server and installs both services; answers why
    // the server could not be reached, and installs nothing then.
    [[nodiscard]] static std::optional<std::string> startShared();
    // Closes the connection (also done at exit).
    static void stopShared();
};

}  // namespace desktop
