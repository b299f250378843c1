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

    static const AudioProcessInfo& withPID(const std::vector<AudioProcessInfo>& processes, std::int32_t pid) {
        for (const AudioProcessInfo& process : processes) {
            if (process.pid == pid) {
                return process;
            }
        }
        throw std::out_of_range("no process with pid " + std::to_string(pid));
    }
};

TEST_F(AudioProcessCatalogueTest, PlayingProcesses_ComeFirstThenNamesCaseInsensitively) {
    SimulatedWorld world(withProcesses({audioProcess(10, "com.example.a", "aardvark"),
                                        audioProcess(11, "com.example.z", "Zither", true),
                                        audioProcess(12, "com.example.b", "Banjo"),
                                        audioProcess(13, "com.example.m", "mandolin", true)}));

    const auto processes = enumerateProcesses();

    ASSERT_TRUE(processes);
    std::vector<std::int32_t> pids;
    for (const AudioProcessInfo& process : processes.value()) {
        pids.push_back(process.pid);
    }
    EXPECT_EQ(pids, (std::vector<std::int32_t>{13, 11, 10, 12}));
    EXPECT_TRUE(processes.value()[0].isRunningOutput);
    EXPECT_FALSE(processes.value()[2].isRunningOutput);
}

TEST_F(AudioProcessCatalogueTest, Record_TakesIdentityFromServerAndNameFromWorkspace) {
    SimulatedWorld world(withProcesses({audioProcess(20, "com.example.player", "Player", true)}));

    const auto processes = enumerateProcesses();

    ASSERT_TRUE(processes);
    const AudioProcessInfo expected{world.processObjectID(20), 20, "com.example.player", "Player", true, true};
    EXPECT_EQ(processes.value(), std::vector<AudioProcessInfo>{expected});
}

TEST_F(AudioProcessCatalogueTest, NoBundleIdentifierAndNoApplication_EmptyIdentifierAndNumberedName) {
    SimulatedWorld world(withProcesses({audioProcess(311, std::nullopt)}));

    const auto processes = enumerateProcesses();

    ASSERT_TRUE(processes);
    EXPECT_EQ(withPID(processes.value(), 311).bundleID, "");
    EXPECT_EQ(withPID(processes.value(), 311).displayName, "Process 311");
}

TEST_F(AudioProcessCatalogueTest, UnreadableBundleIdentifier_FallsBackToRunningApplication) {
    sim::ScenarioProcess process = audioProcess(30, std::nullopt, "Helper");
    process.application->bundleID = "com.example.helper";
    SimulatedWorld world(withProcesses({process}));

    const auto processes = enumerateProcesses();

    ASSERT_TRUE(processes);
    EXPECT_EQ(withPID(processes.value(), 30).bundleID, "com.example.helper");
}

TEST_F(AudioProcessCatalogueTest, ReadableEmptyBundleIdentifier_IsKeptEmpty) {
    sim::ScenarioProcess process = audioProcess(31, "", "Helper");
    process.application->bundleID = "com.example.helper";
    SimulatedWorld world(withProcesses({process}));

    const auto processes = enumerateProcesses();

    ASSERT_TRUE(processes);
    EXPECT_EQ(withPID(processes.value(), 31).bundleID, "");
    EXPECT_EQ(withPID(processes.value(), 31).displayName, "Helper");
}

TEST_F(AudioProcessCatalogueTest, OwnProcessUnknownToWorkspace_IsNamedAfterExecutable) {
    SimulatedWorld world(withProcesses({audioProcess(::getpid(), std::nullopt)}));

    const auto processes = enumerateProcesses();

    ASSERT_TRUE(processes);
    EXPECT_EQ(withPID(processes.value(), ::getpid()).displayName, "hal_tests");
}

TEST_F(AudioProcessCatalogueTest, UnreadablePID_DropsProcessAndOtherFailuresGiveFalse) {
    SimulatedWorld world(withProcesses({audioProcess(40, "com.example.gone"), audioProcess(41, "com.example.kept", "Kept", true)}));
    world.failRead(kAudioProcessPropertyPID, world.processObjectID(40));
    world.failRead(kAudioProcessPropertyIsRunning, world.processObjectID(41));
    world.failRead(kAudioProcessPropertyIsRunningOutput, world.processObjectID(41));

    const auto processes = enumerateProcesses();

    ASSERT_TRUE(processes);
    ASSERT_EQ(processes.value().size(), 1U);
    EXPECT_EQ(processes.value()[0].pid, 41);
    EXPECT_FALSE(processes.value()[0].isRunning);
    EXPECT_FALSE(processes.value()[0].isRunningOutput);
}

TEST_F(AudioProcessCatalogueTest, UnreadableProcessList_Fails) {
    SimulatedWorld world(withProcesses({audioProcess(50, "com.example.x")}));
    world.failRead(kAudioHardwarePropertyProcessObjectList, kAudioObjectSystemObject,
                   kAudioHardwareNotRunningError, sim::Call::getPropertyDataSize);

    const auto processes = enumerateProcesses();

    ASSERT_FALSE(processes);
    EXPECT_EQ(processes.error().description(), "Size Core Audio property 'prs#' failed: 'stop' (1937010544)");
}

}  // namespace
}  // namespace tonvale
