// The two initializer modes, in process against a small simulated world, and as the built
// program on the embedded default scenario.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "app/DiagnosticsOnceMode.h"
#include "app/InputSelectionTestMode.h"
#include "hal/DiagnosticsFieldText.h"
#include "platform/coreaudio/CoreAudio.h"
#include "platform/foundation/ProcessInfo.h"
#include "sim/SimulatedServer.h"
#include "tests/app/ProgramRun.h"
#include "tests/app/RecordingConsole.h"

namespace tonvale {
namespace {

// A small desk: speakers, a microphone whose name holds a line feed, and a headset; a
// player with a helper inside its bundle, a silent chat app and an unnamed process.
sim::Scenario smallDesk() {
    sim::Scenario scenario;
    scenario.devices = {
        {.uid = "speakers", .name = "Built-in Speakers", .transportType = kAudioDeviceTransportTypeBuiltIn},
        {.uid = "mic", .name = "Stage\nMic", .transportType = kAudioDeviceTransportTypeUSB, .outputChannels = 0,
         .inputChannels = 1},
        {.uid = "headset", .name = "Äther Headset", .transportType = kAudioDeviceTransportTypeBluetooth,
         .sampleRate = 44100.0, .inputChannels = 1}};
    scenario.defaultOutputUID = "speakers";
    scenario.defaultInputUID = "mic";
    const auto app = [](std::int32_t pid, std::string bundleID, std::string name, std::string path, bool playing) {
        return sim::ScenarioProcess{.pid = pid, .bundleID = bundleID,
                                    .application = sim::ScenarioApplication{bundleID, name, path},
                                    .isPlaying = playing};
    };
    scenario.processes = {app(501, "com.example.player", "Player", "Player.app", false),
                          app(502, "com.example.player.helper", "Player Helper",
                              "Player.app/Contents/Helpers/Player Helper.app", true),
                          app(601, "com.example.chat", "Chat Room", "Chat.app", false), {.pid = 311}};
    return scenario;
}

class DiagnosticsModesTest : public ::testing::Test {
protected:
    void start(const sim::Scenario& scenario) { server_ = sim::SimulatedServer::create(scenario); }

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
    std::shared_ptr<sim::SimulatedServer> server_;
};

TEST_F(DiagnosticsModesTest, DiagnosticsOnce_PrintsEveryLineInOrder) {
    start(smallDesk());
    failNext(sim::Call::getPropertyData, kAudioDevicePropertyNominalSampleRate, server_->deviceID("mic"));

    ASSERT_TRUE(runDiagnosticsOnce(console_));

    const AudioObjectID player = server_->processObjectID(501).value();
    const AudioObjectID helper = server_->processObjectID(502).value();
    const std::vector<std::string> expected{
        "out write Tonvale version=unknown build=unknown\n",
        "out write macOS=" + foundation::ProcessInfo::processInfo().operatingSystemVersionString() + "\n",
        "out write defaultOutputID=" + deviceID("speakers") + "\n",
        "out write defaultInputID=" + deviceID("mic") + "\n",
        "out write device id=" + deviceID("headset") +
            " uid=headset name=Äther Headset transport=Bluetooth alive=true input=true output=true rate=44100.0\n",
        "out write device id=" + deviceID("speakers") +
            " uid=speakers name=Built-in Speakers transport=Built-in alive=true input=false output=true rate=48000.0\n",
        "out write device id=" + deviceID("mic") +
            " uid=mic name=Stage\\nMic transport=USB alive=true input=true output=false rate=unknown\n",
        "out write process objectID=" + processID(502) +
            " pid=502 bundleID=com.example.player.helper name=Player Helper running=true runningOutput=true\n",
        "out write process objectID=" + processID(601) +
            " pid=601 bundleID=com.example.chat name=Chat Room running=false runningOutput=false\n",
        "out write process objectID=" + processID(501) +
            " pid=501 bundleID=com.example.player name=Player running=false runningOutput=false\n",
        "out write process objectID=" + processID(311) +
            " pid=311 bundleID= name=Process 311 running=false runningOutput=false\n",
        "out write logicalApp bundleID=com.example.player name=Player processObjectIDs=[" +
            std::to_string(std::min(player, helper)) + ", " + std::to_string(std::max(player, helper)) +
            "] activeProcessObjectIDs=[" + processID(502) + "]\n",
        "out write logicalApp bundleID=com.example.chat name=Chat Room processObjectIDs=[" + processID(601) +
            "] activeProcessObjectIDs=[]\n",
    };
    EXPECT_EQ(recording_.events(), expected);
}

TEST_F(DiagnosticsModesTest, DiagnosticsOnce_UnreadableDeviceList_PrintsOnlyTheFailure) {
    start(smallDesk());
    failNext(sim::Call::getPropertyDataSize, kAudioHardwarePropertyDevices);

    EXPECT_FALSE(runDiagnosticsOnce(console_));

    EXPECT_EQ(recording_.events(), std::vector<std::string>{"err write Tonvale diagnostics failed: Size Core Audio "
                                                            "property 'dev#' failed: 0xFFFFFFCE (-50)\n"});
}

TEST_F(DiagnosticsModesTest, DiagnosticsOnce_UnreadableDefaultOutput_FailsAfterVersionAndSystemLines) {
    start(smallDesk());
    failNext(sim::Call::getPropertyData, kAudioHardwarePropertyDefaultOutputDevice);

    EXPECT_FALSE(runDiagnosticsOnce(console_));

    ASSERT_EQ(recording_.events().size(), 3U);
    EXPECT_TRUE(recording_.events()[0].starts_with("out write Tonvale version="));
    EXPECT_TRUE(recording_.events()[1].starts_with("out write macOS="));
    EXPECT_EQ(recording_.events()[2],
              "err write Tonvale diagnostics failed: Read Core Audio property 'dOut' failed: 0xFFFFFFCE (-50)\n");
}

TEST_F(DiagnosticsModesTest, DiagnosticsFieldText_EscapesOnlyWhatBreaksALine) {
    EXPECT_EQ(diagnosticsFieldText("Äther (2)"), "Äther (2)");
    EXPECT_EQ(diagnosticsFieldText(std::string("a\nb\rc\\d\0\x7f", 9)), "a\\nb\\rc\\\\d\\x00\\x7F");
}

TEST_F(DiagnosticsModesTest, InputSelection_CurrentInputSelectedAgain_Passes) {
    start(smallDesk());

    EXPECT_TRUE(runInputSelectionTest(console_));

    EXPECT_EQ(recording_.events(),
              std::vector<std::string>{"out write input-selection-test passed currentDeviceID=" + deviceID("mic") + "\n"});
}

TEST_F(DiagnosticsModesTest, InputSelection_NoInputDevice_FailsAsUnavailable) {
    sim::Scenario scenario;
    scenario.devices = {{.uid = "speakers", .name = "Speakers"}};
    start(scenario);

    EXPECT_FALSE(runInputSelectionTest(console_));

    EXPECT_EQ(recording_.events(),
              std::vector<std::string>{"err write input-selection-test failed: current input is unavailable\n"});
}

TEST_F(DiagnosticsModesTest, InputSelection_DeadCurrentInput_FailsWithoutSelectingAnother) {
    start(smallDesk());
    ASSERT_TRUE(server_->killDevice("mic"));
    const AudioObjectID before = server_->deviceID("mic").value();

    EXPECT_FALSE(runInputSelectionTest(console_));

    EXPECT_EQ(recording_.events(),
              std::vector<std::string>{"err write input-selection-test failed: current input is unavailable\n"});
    UInt32 current = 0;
    UInt32 size = sizeof(current);
    const AudioObjectPropertyAddress address{kAudioHardwarePropertyDefaultInputDevice,
                                             kAudioObjectPropertyScopeGlobal, kAudioObjectPropertyElementMain};
    ASSERT_EQ(AudioObjectGetPropertyData(kAudioObjectSystemObject, &address, 0, nullptr, &size, &current), 0);
    EXPECT_EQ(current, before);
}

std::vector<std::string> linesOf(const std::string& text) {
    std::vector<std::string> lines;
    for (std::size_t start = 0; start < text.size();) {
        const std::size_t end = text.find('\n', start);
        lines.push_back(text.substr(start, end - start));
        start = end == std::string::npos ? text.size() : end + 1;
    }
    return lines;
}

// Header lines, then devices, processes and logical apps, each group in one block with
// every field of its line present.
void expectSnapshotStructure(const std::vector<std::string>& lines) {
    ASSERT_GE(lines.size(), 4U);
    EXPECT_TRUE(lines[0].starts_with("Tonvale version=") && lines[0].find(" build=") != std::string::npos) << lines[0];
    EXPECT_TRUE(lines[1].starts_with("macOS=")) << lines[1];
    EXPECT_TRUE(lines[2].starts_with("defaultOutputID=")) << lines[2];
    EXPECT_TRUE(lines[3].starts_with("defaultInputID=")) << lines[3];
    const std::vector<std::pair<std::string, std::vector<std::string>>> kinds{
        {"device id=", {" uid=", " name=", " transport=", " alive=", " input=", " output=", " rate="}},
        {"process objectID=", {" pid=", " bundleID=", " name=", " running=", " runningOutput="}},
        {"logicalApp bundleID=", {" name=", " processObjectIDs=[", " activeProcessObjectIDs=["}},
    };
    std::size_t kind = 0;
    std::vector<std::size_t> counts(kinds.size(), 0);
    for (std::size_t index = 4; index < lines.size(); ++index) {
        const std::string& line = lines[index];
        while (kind < kinds.size() && !line.starts_with(kinds[kind].first)) {
            ++kind;
        }
        ASSERT_LT(kind, kinds.size()) << "out of order or unknown: " << line;
        std::size_t position = 0;
        for (const std::string& field : kinds[kind].second) {
            position = line.find(field, position);
            ASSERT_NE(position, std::string::npos) << field << " in " << line;
        }
        ++counts[kind];
    }
    EXPECT_EQ(counts, (std::vector<std::size_t>{7, 7, 4}));
}

// The built program, from its application bundle, on the embedded default scenario.
TEST(DiagnosticsProgramTest, DiagnosticsOnce_DefaultScenario_PrintsSnapshotWithBundleVersionAndExitsZero) {
    const auto run = testing::runProgram({"--diagnostics-once"});

    EXPECT_EQ(run.exitStatus, 0) << run.error;
    EXPECT_EQ(run.error, "");
    ASSERT_TRUE(run.output.ends_with("\n"));
    const std::vector<std::string> lines = linesOf(run.output);
    expectSnapshotStructure(lines);
    EXPECT_EQ(lines[0].find("unknown"), std::string::npos) << lines[0];
}

TEST(DiagnosticsProgramTest, InputSelection_DefaultScenario_PassesAndExitsZero) {
    const auto run = testing::runProgram({"--input-selection-test"});

    EXPECT_EQ(run.exitStatus, 0) << run.error;
    EXPECT_TRUE(run.output.starts_with("input-selection-test passed currentDeviceID=")) << run.output;
}

}  // namespace
}  // namespace tonvale
