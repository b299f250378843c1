// The world's control surface: what tests, tools and a scenario's timeline do to the
// simulated machine. Processes start and stop playing, launch and quit; devices are
// plugged, unplugged, killed or stalled; the defaults change; the audio service restarts;
// the machine sleeps and wakes. Each change notifies the listeners it concerns.
// SimulatedServer is one, so tests and tools call these on the server.
//
// The server's own part (the scenario's timeline holds it weakly).
// Thread-safety: every operation may be called from any thread.
#pragma once

#include "sim/AudioSource.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "platform/coreaudio/CoreAudioTypes.h"

namespace sim {

class IOProcedures;
class SimulatedWorkspace;
struct World;

class WorldControl {
public:
    WorldControl(std::shared_ptr<World> world, std::shared_ptr<IOProcedures> io,
                 std::shared_ptr<SimulatedWorkspace> workspace);

    [[nodiscard]] std::optional<AudioObjectID> deviceID(const std::string& uid) const;
    [[nodiscard]] std::optional<AudioObjectID> processObjectID(std::int32_t pid) const;

    // Processes. Each answers false when the pid is unknown.
    [[nodiscard]] bool startAudio(std::int32_t pid);
    [[nodiscard]] bool stopAudio(std::int32_t pid);
    [[nodiscard]] bool setSource(std::int32_t pid, AudioSource source);
    [[nodiscard]] bool launchProcess(std::int32_t pid);
    [[nodiscard]] bool quitProcess(std::int32_t pid);

    // Devices. Each answers false when the UID is unknown.
    [[nodiscard]] bool plugDevice(const std::string& uid);
    [[nodiscard]] bool unplugDevice(const std::string& uid);
    [[nodiscard]] bool killDevice(const std::string& uid);
    [[nodiscard]] bool setDefaultOutputDevice(const std::string& uid);
    [[nodiscard]] bool setDefaultInputDevice(const std::string& uid);
    [[nodiscard]] bool setIOStalled(const std::string& uid, bool isStalled);

    void restartAudioService();
    void sleep();
    void wake();

private:
    [[nodiscard]] bool setDefaultDevice(const std::string& uid, bool isOutput);

    const std::shared_ptr<World> world_;
    const std::shared_ptr<IOProcedures> io_;
    const std::shared_ptr<SimulatedWorkspace> workspace_;
};

}  // namespace sim
