#include "observe/AudioProcessMonitor.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <thread>
#include <utility>
#include <vector>

#include "hal/AudioProcessCatalogue.h"
#include "platform/dispatch/Dispatch.h"
#include "tests/observe/MonitorTestWorld.h"

namespace tonvale {
namespace {

using testing::Deliveries;
using testing::kChatPID;
using testing::kLatePID;
using testing::kPlayerPID;
using testing::MonitorTestWorld;
using Calls = std::vector<std::pair<bool, AudioObjectPropertySelector>>;

const Calls kBothAdded{{true, kAudioProcessPropertyIsRunning}, {true, kAudioProcessPropertyIsRunningOutput}};
const Calls kBothRemoved{{false, kAudioProcessPropertyIsRunning}, {false, kAudioProcessPropertyIsRunningOutput}};

// Starting delivers a snapshot at once.
class AudioProcessMonitorTest : public testing::MonitorFixture<AudioProcessMonitor, AudioProcessSnapshot, 1> {
protected:
    AudioObjectID processID(std::int32_t pid) const { return world_.server->processObjectID(pid).value_or(0); }

    // How many registrations a started monitor holds: the list's, and two per listed process.
    static std::size_t fullRegistrationCount() { return 1 + 2 * enumerateProcesses().value().size(); }

    static const AudioProcessInfo* find(const AudioProcessSnapshot& snapshot, std::int32_t pid) {
        const auto found = std::find_if(snapshot.processes.begin(), snapshot.processes.end(),
                                        [pid](const AudioProcessInfo& process) { return process.pid == pid; });
        return found == snapshot.processes.end() ? nullptr : &*found;
    }

    // The registrations and removals on one process object, without their times.
    Calls callsOn(AudioObjectID object) const {
        Calls calls;
        for (const testing::ListenerCall& call : world_.recorder->calls()) {
            if (call.object == object) {
                calls.emplace_back(call.isAddition, call.selector);
            }
        }
        return calls;
    }
};

TEST_F(AudioProcessMonitorTest, ProcessArrivingAndLeaving_GainsAndLosesBothRegistrationsOthersUntouched) {
    startAndSettle();
    EXPECT_EQ(deliveries_.last().processes, enumerateProcesses().value());
    EXPECT_EQ(world_.listenerCount(), fullRegistrationCount());
    EXPECT_EQ(callsOn(processID(kPlayerPID)), kBothAdded);
    const AudioObjectID chat = processID(kChatPID);
    const std::size_t before = world_.listenerCount();
    world_.recorder->clear();

    ASSERT_TRUE(world_.server->launchProcess(kLatePID));
    time_.advance(0.1);
    const AudioObjectID late = processID(kLatePID);
    ASSERT_EQ(deliveries_.count(), 2u);
    EXPECT_NE(find(deliveries_.last(), kLatePID), nullptr);
    EXPECT_EQ(callsOn(late), kBothAdded);
    EXPECT_EQ(world_.listenerCount(), before + 2);

    ASSERT_TRUE(world_.server->quitProcess(kChatPID));
    time_.advance(0.1);
    ASSERT_EQ(deliveries_.count(), 3u);
    EXPECT_EQ(find(deliveries_.last(), kChatPID), nullptr);
    EXPECT_EQ(callsOn(chat), kBothRemoved);
    EXPECT_TRUE(callsOn(processID(kPlayerPID)).empty()) << "a process in both lists keeps its registrations";
    EXPECT_EQ(callsOn(late).size(), 2u);
    EXPECT_EQ(world_.recorder->count(true, kAudioHardwarePropertyProcessObjectList), 0u);
}

TEST_F(AudioProcessMonitorTest, RunningOutputFlip_RefreshesOnce50msLaterWithTheNewFlag) {
    startAndSettle();
    ASSERT_FALSE(find(deliveries_.last(), kChatPID)->isRunningOutput);

    ASSERT_TRUE(world_.server->startAudio(kChatPID));
    const dispatch::Seconds flipped = time_.now();
    time_.advance(0.049);
    EXPECT_EQ(deliveries_.count(), 1u);

    time_.advance(0.5);
    ASSERT_EQ(deliveries_.count(), 2u);
    EXPECT_NEAR(deliveries_.received.back().time - flipped, AudioProcessMonitor::kRefreshDelay, 0.002);
    EXPECT_TRUE(find(deliveries_.last(), kChatPID)->isRunningOutput);
}

TEST_F(AudioProcessMonitorTest, StartedTwice_RegistersTheListOnceAndGivesTheNewerHandlerItsOwnSnapshot) {
    Deliveries<AudioProcessSnapshot> newer(deliveryQueue_);
    startAndSettle();
    monitor_->start(newer.handler());
    time_.advance(0.01);

    EXPECT_EQ(deliveries_.count(), 1u);
    EXPECT_EQ(newer.count(), 1u);
    EXPECT_EQ(world_.recorder->count(true, kAudioHardwarePropertyProcessObjectList), 1u);
    EXPECT_EQ(world_.recorder->count(true, kAudioProcessPropertyIsRunningOutput), enumerateProcesses().value().size());
}

TEST_F(AudioProcessMonitorTest, FailingListRead_KeepsTheRegistrationsAndDeliversNothing) {
    startAndSettle();
    const std::size_t before = world_.listenerCount();
    world_.recorder->clear();
    world_.server->injectFailure({.call = sim::Call::getPropertyDataSize,
                                  .object = kAudioObjectSystemObject,
                                  .selector = kAudioHardwarePropertyProcessObjectList});

    ASSERT_TRUE(world_.server->launchProcess(kLatePID));
    time_.advance(0.5);
    EXPECT_EQ(deliveries_.count(), 1u);
    EXPECT_TRUE(world_.recorder->calls().empty());
    EXPECT_EQ(world_.listenerCount(), before);

    ASSERT_TRUE(world_.server->stopAudio(kPlayerPID));
    time_.advance(0.5);
    ASSERT_EQ(deliveries_.count(), 2u) << "the next change retries";
    EXPECT_NE(find(deliveries_.last(), kLatePID), nullptr);
    EXPECT_EQ(callsOn(processID(kLatePID)).size(), 2u);
    EXPECT_EQ(world_.listenerCount(), before + 2);
}

TEST_F(AudioProcessMonitorTest, Stopped_HoldsNoRegistrationAndStartRegistersEverythingAnew) {
    startAndSettle();
    ASSERT_TRUE(world_.server->startAudio(kChatPID));
    time_.advance(0.02);

    monitor_->stop();
    time_.advance(1.0);
    EXPECT_EQ(world_.listenerCount(), 0u);
    EXPECT_EQ(deliveries_.count(), 1u) << "the refresh pending at stop is dropped";
    ASSERT_TRUE(world_.server->launchProcess(kLatePID));
    time_.advance(1.0);
    EXPECT_EQ(deliveries_.count(), 1u);

    monitor_->start(deliveries_.handler());
    time_.advance(0.01);
    EXPECT_EQ(world_.listenerCount(), fullRegistrationCount());
    ASSERT_EQ(deliveries_.count(), 2u);
    EXPECT_NE(find(deliveries_.last(), kLatePID), nullptr);
}

// On real threads: processes flap on another thread while the monitor keeps its
// registrations in step, and the owner releases it meanwhile.
TEST(AudioProcessMonitorRealThreadTest, ReleasedWhileProcessesFlap_LeavesNoRegistration) {
    MonitorTestWorld world;
    auto monitor = AudioProcessMonitor::create(dispatch::DispatchQueue::create("test.delivery"));
    ASSERT_TRUE(testing::startAndAwaitFirstDelivery<AudioProcessSnapshot>(*monitor));

    std::thread flapping([&world] {
        for (int step = 0; step < 200; ++step) {
            (void)(step % 2 == 0 ? world.server->launchProcess(kLatePID) : world.server->quitProcess(kLatePID));
            (void)(step % 2 == 0 ? world.server->startAudio(kChatPID) : world.server->stopAudio(kChatPID));
        }
    });
    EXPECT_TRUE(testing::releaseWhileChanging(monitor, flapping, [&] { return world.listenerCount() == 0; }));
}

}  // namespace
}  // namespace tonvale
