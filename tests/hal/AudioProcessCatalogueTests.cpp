#include "hal/AudioProcessCatalogue.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include "tests/hal/SimulatedWorld.h"

namespace tonvale {
namespace {

using testing::SimulatedWorld;
using testing::audioProcess;
using testing::outputDevice;

class AudioProcessCatalogueTest : public ::testing::Test {
protected:
    static sim::Scenario withProcesses(std::vector<sim::ScenarioProcess> processes) {
        sim::Scenario scenario;
        scenario.devices = {outputDevice("speakers", "Speakers")};
        scenario.processes = std::move(processes);
        return scenario;
    }

    // The catalogue's record of `pid`, enumerated from `processes` alone.
    static AudioProcessInfo recordOf(std::int32_t pid, std::vector<sim::ScenarioProcess> processes) {
        SimulatedWorld world(withProcesses(std::move(processes)));
        const auto records = enumerateProcesses().value();
        for (const AudioProcessInfo& process : records) {
            if (process.pid == pid) {
                return process;
            }
        }
        throw std::out_of_range("no process with pid " + std::to_string(pid));
    }
};

TEST_F(AudioProcessCatalogueTest, PlayingProcessesFirstThenNamesCaseInsensitively_IdentityFromServerNameFromWorkspace) {
    SimulatedWorld world(withProcesses({audioProcess(10, "com.example.a", "aardvark"),
                                        audioProcess(11, "com.example.z", "Zither", true),
                                        audioProcess(12, "com.example.b", "Banjo"),
                                        audioProcess(13, "com.example.m", "mandolin", true)}));

    const auto processes = enumerateProcesses().value();

    std::vector<std::int32_t> pids;
    for (const AudioProcessInfo& process : processes) {
        pids.push_back(process.pid);
    }
    EXPECT_EQ(pids, (std::vector<std::int32_t>{13, 11, 10, 12}));
    const AudioProcessInfo mandolin{world.processObjectID(13), 13, "com.example.m", "mandolin", true, true};
    EXPECT_EQ(processes.at(0), mandolin);
    EXPECT_FALSE(processes.at(2).isRunningOutput);
}

TEST_F(AudioProcessCatalogueTest, DisplayNameAndBundleIdentifier_FollowFallbackRules) {
    sim::ScenarioProcess unreadableID = audioProcess(30, std::nullopt, "Helper");
    unreadableID.application->bundleID = "com.example.helper";
    sim::ScenarioProcess emptyID = audioProcess(31, "", "Helper");
    emptyID.application->bundleID = "com.example.helper";

    const AudioProcessInfo anonymous = recordOf(311, {audioProcess(311, std::nullopt)});
    EXPECT_EQ(anonymous.bundleID, "");
    EXPECT_EQ(anonymous.displayName, "Process 311");
    EXPECT_EQ(recordOf(30, {unreadableID}).bundleID, "com.example.helper");
    const AudioProcessInfo empty = recordOf(31, {emptyID});
    EXPECT_EQ(empty.bundleID, "");
    EXPECT_EQ(empty.displayName, "Helper");
    EXPECT_EQ(recordOf(::getpid(), {audioProcess(::getpid(), std::nullopt)}).displayName, "hal_tests");
}

TEST_F(AudioProcessCatalogueTest, UnreadablePID_DropsProcessAndOtherFailuresGiveFalse) {
    SimulatedWorld world(
        withProcesses({audioProcess(40, "com.example.gone"), audioProcess(41, "com.example.kept", "Kept", true)}));
    world.failRead(kAudioProcessPropertyPID, world.processObjectID(40));
    world.failRead(kAudioProcessPropertyIsRunning, world.processObjectID(41));
    world.failRead(kAudioProcessPropertyIsRunningOutput, world.processObjectID(41));

    const auto processes = enumerateProcesses().value();

    ASSERT_EQ(processes.size(), 1U);
    EXPECT_EQ(processes[0].pid, 41);
    EXPECT_FALSE(processes[0].isRunning);
    EXPECT_FALSE(processes[0].isRunningOutput);
}

TEST_F(AudioProcessCatalogueTest, UnreadableProcessList_Fails) {
    SimulatedWorld world(withProcesses({audioProcess(50, "com.example.x")}));
    world.failRead(kAudioHardwarePropertyProcessObjectList, kAudioObjectSystemObject,
                   kAudioHardwareNotRunningError, sim::Call::getPropertyDataSize);

    EXPECT_EQ(enumerateProcesses().error().description(),
              "Size Core Audio property 'prs#' failed: 'stop' (1937010544)");
}

}  // namespace
}  // namespace tonvale
