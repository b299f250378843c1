// Scenario files: what they parse into, the inconsistencies and unusable files refused with the
// file and the problem, and the program's start on a bad one.
#include "sim/Scenario.h"

#include "sim/SimulatedServer.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

namespace sim {
namespace {

class ScenarioTest : public ::testing::Test {
protected:
    // The error of a scenario made of one device list and the given extra entries.
    static std::string errorOf(const std::string& json) {
        ScenarioResult result = parseScenario(json, "desk.json");
        EXPECT_FALSE(result.scenario.has_value()) << json;
        return result.error;
    }

    static std::string withDevices(const std::string& extra) {
        return R"({"devices": [{"uid": "a", "name": "A"}, {"uid": "b", "name": "B", "inputChannels": 1}])" + extra +
               "}";
    }
};

TEST_F(ScenarioTest, FullEntries_ParseIntoTheirValues) {
    const auto result = parseScenario(R"({
        "devices": [{"uid": "usb", "name": "USB", "transport": "usb ", "objectID": 77, "sampleRate": 44100,
                     "bufferFrameSize": 256, "outputChannels": 2, "inputChannels": 1,
                     "format": {"bits": 16, "float": false, "interleaved": false}, "plugged": false}],
        "processes": [{"pid": 9, "bundleID": "com.example.x", "output": "usb", "playing": true,
                       "source": {"kind": "noise", "level": -20}, "app": {"name": "X", "bundle": "X.app"}}],
        "timeline": [{"at": 1.5, "event": "plug", "uid": "usb"}, {"at": 2, "event": "stopAudio", "pid": 9}]
    })",
                                      "full.json");
    ASSERT_TRUE(result.scenario) << result.error;
    const ScenarioDevice& usb = result.scenario->devices[0];
    EXPECT_EQ(usb.transportType, kAudioDeviceTransportTypeUSB);
    EXPECT_EQ(usb.objectID, 77U);
    EXPECT_EQ(usb.sampleRate, 44100.0);
    EXPECT_EQ(usb.format, (StreamShape{16, false, false}));
    EXPECT_FALSE(usb.isPlugged);
    const ScenarioProcess& process = result.scenario->processes[0];
    EXPECT_EQ(process.application->bundleID, "com.example.x");
    EXPECT_EQ(process.source, AudioSource::noise(-20.0));
    EXPECT_EQ(result.scenario->timeline[1].kind, TimelineEvent::Kind::stopAudio);
}

TEST_F(ScenarioTest, InconsistentWorlds_AreRefusedWithTheFileAndTheProblem) {
    EXPECT_EQ(errorOf("{"),
              "desk.json: not valid JSON: parse error at line 1, column 2: syntax error while parsing "
              "object key - unexpected end of input; expected string literal");
    EXPECT_EQ(errorOf(R"({"devices": [{"uid": "a", "name": "A"}, {"uid": "a", "name": "B"}]})"),
              "desk.json: device UID \"a\" is used twice");
    EXPECT_EQ(errorOf(R"({"devices": [{"uid": "a", "name": "A", "objectID": 50}],
                          "processes": [{"pid": 1, "objectID": 50}]})"),
              "desk.json: process 1 reuses object identifier 50");
    EXPECT_EQ(errorOf(withDevices(R"(, "defaultOutput": "z")")),
              "desk.json: the default output device \"z\" does not exist");
    EXPECT_EQ(errorOf(withDevices(R"(, "aggregates": [{"uid": "g", "name": "G", "subdevices": [{"uid": "q"}]}])")),
              "desk.json: aggregate \"g\" names an unknown sub-device \"q\"");
    EXPECT_EQ(errorOf(R"({"devices": [{"uid": "a", "name": "A", "sampleRate": -48000}]})"),
              "desk.json: devices[0].sampleRate must be positive");
    EXPECT_EQ(errorOf(R"({"devices": [{"uid": "a", "name": "A", "bufferFrameSize": -1}]})"),
              "desk.json: devices[0].bufferFrameSize must be positive");
    EXPECT_EQ(errorOf(R"({"devices": [{"uid": "a", "name": "A", "outputChannels": 100000}]})"),
              "desk.json: devices[0].outputChannels must be at most 64");
    EXPECT_EQ(errorOf(R"({"processes": [{"pid": 3, "app": {"bundle": "/nonexistent/Nothing.app"}}]})"),
              "desk.json: processes[0].app.bundle names a folder that does not exist: /nonexistent/Nothing.app");
    EXPECT_EQ(errorOf(R"({"devices": [{"uid": "a"}]})"), "desk.json: devices[0].name is missing");
    EXPECT_EQ(errorOf(R"({"timeline": [{"at": 1, "event": "explode"}]})"),
              "desk.json: timeline[0].event names an unknown event \"explode\"");
    EXPECT_EQ(errorOf(R"({"timeline": [{"at": 1, "event": "unplug", "uid": "ghost"}]})"),
              "desk.json: timeline event \"unplug\" names unknown device \"ghost\"");
}

TEST_F(ScenarioTest, UnusableFiles_AreNamedInTheError) {
    EXPECT_EQ(loadScenarioFile("/nonexistent/desk.json").error,
              "/nonexistent/desk.json: the scenario file does not exist");
    const auto folder = std::filesystem::temp_directory_path();
    EXPECT_EQ(loadScenarioFile(folder.string()).error, folder.string() + ": the scenario is a folder, not a file");
}

TEST_F(ScenarioTest, ProgramStart_WithABadScenarioEndsWithOneLineAndStatusOne) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            setenv("TONVALE_SCENARIO", "/nonexistent/desk.json", 1);
            SimulatedServer::startShared();
        },
        ::testing::ExitedWithCode(1), "^tonvale: scenario /nonexistent/desk.json: the scenario file does not exist\n$");
}

}  // namespace
}  // namespace sim
