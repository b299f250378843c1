// Small worlds for the audio-layer tests: a scenario built in code and the simulated
// server that serves it, installed for the life of the fixture.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "platform/coreaudio/CoreAudio.h"
#include "sim/Scenario.h"
#include "sim/SimulatedServer.h"

namespace tonvale::testing {

inline sim::ScenarioDevice outputDevice(std::string uid, std::string name,
                                        UInt32 transport = kAudioDeviceTransportTypeUSB) {
    return {.uid = std::move(uid), .name = std::move(name), .transportType = transport};
}

inline sim::ScenarioDevice inputDevice(std::string uid, std::string name) {
    return {.uid = std::move(uid), .name = std::move(name), .outputChannels = 0, .inputChannels = 1};
}

// A process with its own bundle identifier property (absent: unreadable) and, when named,
// a running application of the same identifier.
inline sim::ScenarioProcess audioProcess(std::int32_t pid, std::optional<std::string> bundleID,
                                         std::optional<std::string> appName = std::nullopt, bool isPlaying = false) {
    return {.pid = pid,
            .bundleID = bundleID,
            .application =
                appName ? std::optional(sim::ScenarioApplication{bundleID, appName, std::nullopt}) : std::nullopt,
            .isPlaying = isPlaying};
}

class SimulatedWorld {
public:
    explicit SimulatedWorld(const sim::Scenario& scenario) : server_(sim::SimulatedServer::create(scenario)) {}

    sim::SimulatedServer& server() { return *server_; }
    [[nodiscard]] AudioObjectID deviceID(const std::string& uid) const { return server_->deviceID(uid).value(); }
    [[nodiscard]] AudioObjectID processObjectID(std::int32_t pid) const {
        return server_->processObjectID(pid).value();
    }

    // The next read of `selector` on `object` (every object when absent) fails.
    void failRead(AudioObjectPropertySelector selector, std::optional<AudioObjectID> object = std::nullopt,
                  OSStatus status = kAudioHardwareUnspecifiedError, sim::Call call = sim::Call::getPropertyData) {
        server_->injectFailure(sim::InjectedFailure{call, status, 1, object, selector});
    }

private:
    std::shared_ptr<sim::SimulatedServer> server_;
};

}  // namespace tonvale::testing
