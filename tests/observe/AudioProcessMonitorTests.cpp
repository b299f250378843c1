// The process monitor on the simulated desk: registrations follow the process list, a running
// flag's flip refreshes after its delay, and a failed list read keeps what is registered.
#include "observe/AudioProcessMonitor.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <utility>
#include <vector>

#include "hal/AudioProcessCatalogue.h"
#include "tests/observe/MonitorTestWorld.h"

namespace tonvale {
namespace {

using namespace tonvale::testing;
using Calls = std::vector<std::pair<bool, AudioObjectPropertySelector>>;

const Calls kBothAdded{{true, kAudioProcessPropertyIsRunning}, {true, kAudioProcessPropertyIsRunningOutput}};
const Calls kBothRemoved{{false, kAudioProcessPropertyIsRunning}, {false, kAudioProcessPropertyIsRunningOutput}};

// Starting delivers a snapshot at once.
class AudioProcessMonitorTest : public MonitorFixture<AudioProcessMonitor, AudioProcessSnapshot, 1> {
protected:
    AudioObjectID processID(std::int32_t pid) const { return world_.server->processObjectID(pid).value_or(0); }

    // The last snapshot's record of pid; nullptr when it is not listed.
    const AudioProcessInfo* lastOf(std::int32_t pid) const {
        const auto& processes = deliveries_.last().processes;
        const auto found = std::find_if(processes.begin(), processes.end(),
                                        [pid](const AudioProcessInfo& process) { return process.pid == pid; });
        return found == processes.end() ? nullptr : &*found;
    }

    // The registrations and removals on one process since the last clear, without times.
    Calls callsOn(std::int32_t pid) const {
        Calls calls;
        for (const ListenerCall& call : world_.recorder->calls()) {
            if (call.object == processID(pid)) {
                calls.emplace_back(call.isAddition, call.selector);
            }
        }
        return calls;
    }
};

TEST_F(AudioProcessMonitorTest, ProcessArrivingAndLeaving_GainsAndLosesBothRegistrationsOthersUntouched) {
    startAndSettle();
    EXPECT_EQ(deliveries_.last().processes, enumerateProcesses().value());
    EXPECT_EQ(world_.held(), 1 + 2 * deliveries_.last().processes.size()) << "the list's and two per process";
    EXPECT_EQ(callsOn(kMusicPid), kBothAdded);
    const AudioObjectID chat = processID(kChatPid);
    const std::size_t before = world_.held();
    world_.recorder->clear();

    ASSERT_TRUE(world_.server->launchProcess(kLatePID));
    time_.advance(0.1);
    ASSERT_EQ(deliveries_.count(), 2u);
    EXPECT_NE(lastOf(kLatePID), nullptr);
    EXPECT_EQ(callsOn(kLatePID), kBothAdded);
    EXPECT_EQ(world_.held(), before + 2);

    world_.recorder->clear();
    ASSERT_TRUE(world_.server->quitProcess(kChatPid));
    time_.advance(0.1);
    ASSERT_EQ(deliveries_.count(), 3u);
    EXPECT_EQ(lastOf(kChatPid), nullptr);
    Calls chatCalls;
    for (const ListenerCall& call : world_.recorder->calls()) {
        EXPECT_EQ(call.object, chat) << "processes in both lists keep their registrations";
        chatCalls.emplace_back(call.isAddition, call.selector);
    }
    EXPECT_EQ(chatCalls, kBothRemoved);
}

TEST_F(AudioProcessMonitorTest, RunningOutputFlip_RefreshesOnce50msLaterWithTheNewFlag) {
    startAndSettle();
    ASSERT_FALSE(lastOf(kChatPid)->isRunningOutput);
    ASSERT_TRUE(world_.server->startAudio(kChatPid));
    const dispatch::Seconds flipped = time_.now();
    time_.advance(0.049);
    EXPECT_EQ(deliveries_.count(), 1u);

    time_.advance(0.5);
    ASSERT_EQ(deliveries_.count(), 2u);
    EXPECT_NEAR(deliveries_.received.back().time - flipped, AudioProcessMonitor::kRefreshDelay, 0.002);
    EXPECT_TRUE(lastOf(kChatPid)->isRunningOutput);
}

TEST_F(AudioProcessMonitorTest, FailingListRead_KeepsTheRegistrationsAndDeliversNothing) {
    startAndSettle();
    const std::size_t before = world_.held();
    world_.recorder->clear();
    world_.server->injectFailure({.call = sim::Call::getPropertyDataSize,
                                  .object = kAudioObjectSystemObject,
                                  .selector = kAudioHardwarePropertyProcessObjectList});
    ASSERT_TRUE(world_.server->launchProcess(kLatePID));
    time_.advance(0.5);
    EXPECT_EQ(deliveries_.count(), 1u);
    EXPECT_TRUE(world_.recorder->calls().empty());

    ASSERT_TRUE(world_.server->stopAudio(kMusicPid));
    time_.advance(0.5);
    ASSERT_EQ(deliveries_.count(), 2u) << "the next change retries";
    EXPECT_NE(lastOf(kLatePID), nullptr);
    EXPECT_EQ(callsOn(kLatePID), kBothAdded);
    EXPECT_EQ(world_.held(), before + 2);
}

}  // namespace
}  // namespace tonvale
