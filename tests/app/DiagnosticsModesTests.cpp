// The two initializer modes, in process against a small simulated world.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "app/DiagnosticsOnceMode.h"
#include "app/InputSelectionTestMode.h"
#include "hal/AudioDeviceCatalogue.h"
#include "platform/coreaudio/CoreAudio.h"
#include "platform/foundation/ProcessInfo.h"
#include "sim/SimulatedServer.h"
#include "tests/app/RecordingConsole.h"

namespace tonvale {
namespace {

// A microphone whose name holds a line feed, a headset, a player with a helper in its bundle, an unnamed process.
sim::Scenario smallDesk() {
    sim::Scenario scenario;
    scenario.devices = {{.uid = "mic",
                         .name = "Stage\nMic",
                         .transportType = kAudioDeviceTransportTypeUSB,
                         .outputChannels = 0,
                         .inputChannels = 1},
                        {.uid = "headset",
                         .name = "Äther Headset",
                         .transportType = kAudioDeviceTransportTypeBluetooth,
                         .sampleRate = 44100.0,
                         .inputChannels = 1}};
    scenario.defaultOutputUID = "headset";
    scenario.defaultInputUID = "mic";
    const auto app = [](std::int32_t pid, std::string bundleID, std::string name, std::string path, bool playing) {
        return sim::ScenarioProcess{.pid = pid,
                                    .bundleID = bundleID,
                                    .application = sim::ScenarioApplication{bundleID, name, path},
                                    .isPlaying = playing};
    };
    scenario.processes = {
        app(501, "com.example.player", "Player", "Player.app", false),
        app(502, "com.example.player.helper", "Player Helper", "Player.app/Contents/Helpers/Player Helper.app", true),
        {.pid = 311}};
    return scenario;
}

class DiagnosticsModesTest : public ::testing::Test {
protected:
    [[nodiscard]] std::string deviceID(const std::string& uid) const {
        return std::to_string(server_->deviceID(uid).value());
    }
    [[nodiscard]] std::string processID(std::int32_t pid) const {
        return std::to_string(server_->processObjectID(pid).value());
    }
    void failNext(sim::Call call, AudioObjectPropertySelector selector, std::optional<AudioObjectID> object = {}) {
        server_->injectFailure(sim::InjectedFailure{call, -50, 1, object, selector});
    }

    testing::RecordingConsole recording_;
    ConsoleOutput console_ = recording_.console();
    std::shared_ptr<sim::SimulatedServer> server_ = sim::SimulatedServer::create(smallDesk());
};

TEST_F(DiagnosticsModesTest, DiagnosticsOnce_PrintsEveryLineInOrder) {
    failNext(sim::Call::getPropertyData, kAudioDevicePropertyNominalSampleRate, server_->deviceID("mic"));

    ASSERT_TRUE(runDiagnosticsOnce(console_));

    const AudioObjectID player = server_->processObjectID(501).value();
    const AudioObjectID helper = server_->processObjectID(502).value();
    const std::vector<std::string> expected{
        "out write Tonvale version=unknown build=unknown\n",
        "out write macOS=" + foundation::ProcessInfo::processInfo().operatingSystemVersionString() + "\n",
        "out write defaultOutputID=" + deviceID("headset") + "\n",
        "out write defaultInputID=" + deviceID("mic") + "\n",
        "out write device id=" + deviceID("headset") +
            " uid=headset name=Äther Headset transport=Bluetooth alive=true input=true output=true rate=44100.0\n",
        "out write device id=" + deviceID("mic") +
            " uid=mic name=Stage\\nMic transport=USB alive=true input=true output=false rate=unknown\n",
        "out write process objectID=" + processID(502) +
            " pid=502 bundleID=com.example.player.helper name=Player Helper running=true runningOutput=true\n",
        "out write process objectID=" + processID(501) +
            " pid=501 bundleID=com.example.player name=Player running=false runningOutput=false\n",
        "out write process objectID=" + processID(311) +
            " pid=311 bundleID= name=Process 311 running=false runningOutput=false\n",
        "out write logicalApp bundleID=com.example.player name=Player processObjectIDs=[" +
            std::to_string(std::min(player, helper)) + ", " + std::to_string(std::max(player, helper)) +
            "] activeProcessObjectIDs=[" + processID(502) + "]\n",
    };
    EXPECT_EQ(recording_.events(), expected);
}

TEST_F(DiagnosticsModesTest, DiagnosticsOnce_UnreadableDefault_EndsWithTheFailureOnError) {
    failNext(sim::Call::getPropertyData, kAudioHardwarePropertyDefaultOutputDevice);
    EXPECT_FALSE(runDiagnosticsOnce(console_));

    const auto& events = recording_.events();
    ASSERT_EQ(events.size(), 3U) << "the version and system lines come before the default output";
    EXPECT_EQ(events[2],
              "err write Tonvale diagnostics failed: Read Core Audio property 'dOut' failed: 0xFFFFFFCE (-50)\n");
}

TEST_F(DiagnosticsModesTest, InputSelection_PassesOnlyWhileTheCurrentInputIsAlive) {
    EXPECT_TRUE(runInputSelectionTest(console_));
    ASSERT_TRUE(server_->killDevice("mic"));
    EXPECT_FALSE(runInputSelectionTest(console_));

    const std::vector<std::string> expected{
        "out write input-selection-test passed currentDeviceID=" + deviceID("mic") + "\n",
        "err write input-selection-test failed: current input is unavailable\n"};
    EXPECT_EQ(recording_.events(), expected);
    EXPECT_EQ(readDefaultInputDevice().value(), server_->deviceID("mic").value()) << "no other input selected";
}

}  // namespace
}  // namespace tonvale
