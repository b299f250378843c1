// The fixture of the tests against the private PipeWire server: the server and session
// manager started for the test (PipeWireDaemon) and the audio layer connected to it
// (PipeWireServer), with look-ups of its devices and processes.
#pragma once

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "desktop/PipeWireServer.h"
#include "desktop/ProcessIdentity.h"
#include "hal/AudioDeviceCatalogue.h"
#include "hal/AudioProcessCatalogue.h"
#include "tests/desktop/PipeWireDaemon.h"

namespace tonvale::testing {

inline std::vector<AudioDeviceInfo> devices() { return enumerateDevices().valueOr({}); }
inline std::vector<AudioProcessInfo> processes() { return enumerateProcesses().valueOr({}); }

inline std::optional<AudioDeviceInfo> device(const std::string& uid) {
    for (const AudioDeviceInfo& candidate : devices()) {
        if (candidate.uid == uid) {
            return candidate;
        }
    }
    return std::nullopt;
}

inline std::optional<AudioProcessInfo> process(const std::string& bundleID) {
    for (const AudioProcessInfo& candidate : processes()) {
        if (candidate.bundleID == bundleID) {
            return candidate;
        }
    }
    return std::nullopt;
}

inline bool isPlaying(const std::string& bundleID) {
    const auto found = process(bundleID);
    return found && found->isRunningOutput;
}

class PipeWireTest : public ::testing::Test {
protected:
    void SetUp() override {
        const std::string error = daemon.start();
        ASSERT_TRUE(error.empty()) << "the PipeWire tests need a private PipeWire server: " << error;
        connect();
    }

    void connect() {
        identity = std::make_shared<desktop::ProcessIdentity>(desktop::DesktopEntries({daemon.dataFolder()}));
        auto connection = desktop::PipeWireServer::connect(identity, 10.0);
        if (auto* error = std::get_if<std::string>(&connection)) {
            FAIL() << "the private PipeWire server does not answer: " << *error;
        }
        server = std::get<std::shared_ptr<desktop::PipeWireServer>>(std::move(connection));
        ASSERT_TRUE(waitFor([] {
            return readDefaultOutputDevice().valueOr(0) != 0 && readDefaultInputDevice().valueOr(0) != 0;
        })) << "the session manager (wireplumber) never chose the default devices";
    }

    PipeWireDaemon daemon;
    std::shared_ptr<desktop::ProcessIdentity> identity;
    std::shared_ptr<desktop::PipeWireServer> server;
};

}  // namespace tonvale::testing
