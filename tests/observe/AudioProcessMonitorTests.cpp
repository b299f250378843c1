#include "observe/AudioProcessMonitor.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <optional>
#include <thread>
#include <vector>

#include "hal/AudioProcessCatalogue.h"
#include "platform/dispatch/Dispatch.h"
#include "tests/observe/MonitorFixture.h"
#include "tests/observe/MonitorTestWorld.h"

namespace tonvale {
namespace {

using testing::Deliveries;
using testing::kChatPID;
using testing::kLatePID;
using testing::kPlayerPID;
using testing::ListenerCall;
using testing::MonitorTestWorld;

// Starting delivers a snapshot at once.
class AudioProcessMonitorTest : public testing::MonitorFixture<AudioProcessMonitor, AudioProcessSnapshot, 1> {
protected:
    AudioObjectID processID(std::int32_t pid) const { return world_.server->processObjectID(pid).value_or(0); }

    std::size_t listedProcessCount() const { return enumerateProcesses().value().size(); }

    static std::optional<AudioProcessInfo> find(const AudioProcessSnapshot& snapshot, std::int32_t pid) {
        const auto found = std::find_if(snapshot.processes.begin(), snapshot.processes.end(),
                                        [pid](const AudioProcessInfo& process) { return process.pid == pid; });
        if (found == snapshot.processes.end()) {
            return std::nullopt;
        }
        return *found;
    }

    // The registrations and removals on one process object, without their times.
    std::vector<std::pair<bool, AudioObjectPropertySelector>> callsOn(AudioObjectID object) const {
        std::vector<std::pair<bool, AudioObjectPropertySelector>> calls;
        for (const ListenerCall& call : world_.recorder->calls()) {
            if (call.object == object) {
                calls.emplace_back(call.isAddition, call.selector);
            }
        }
        return calls;
    }
};

TEST_F(AudioProcessMonitorTest, Start_DeliversTheProcessListAndWatchesEveryListedProcess) {
    startAndSettle();

    const auto& delivery = deliveries_.received.front();
    EXPECT_TRUE(delivery.isOnDeliveryQueue);
    EXPECT_EQ(delivery.value.processes, enumerateProcesses().value());
    EXPECT_FALSE(find(delivery.value, kLatePID).has_value());
    EXPECT_EQ(world_.listenerCount(), 1 + 2 * listedProcessCount());
    const std::vector<std::pair<bool, AudioObjectPropertySelector>> both{
        {true, kAudioProcessPropertyIsRunning}, {true, kAudioProcessPropertyIsRunningOutput}};
    EXPECT_EQ(callsOn(processID(kPlayerPID)), both);
}

TEST_F(AudioProcessMonitorTest, ProcessArrivingAndLeaving_GainsAndLosesBothRegistrationsOthersUntouched) {
    startAndSettle();
    const AudioObjectID player = processID(kPlayerPID);
    const AudioObjectID chat = processID(kChatPID);
    const std::size_t before = world_.listenerCount();
    world_.recorder->clear();

    ASSERT_TRUE(world_.server->launchProcess(kLatePID));
    time_.advance(0.1);
    const AudioObjectID late = processID(kLatePID);
    ASSERT_EQ(deliveries_.count(), 2u);
    EXPECT_TRUE(find(deliveries_.last(), kLatePID).has_value());
    EXPECT_EQ(callsOn(late), (std::vector<std::pair<bool, AudioObjectPropertySelector>>{
                                 {true, kAudioProcessPropertyIsRunning}, {true, kAudioProcessPropertyIsRunningOutput}}));
    EXPECT_EQ(world_.listenerCount(), before + 2);

    ASSERT_TRUE(world_.server->quitProcess(kChatPID));
    time_.advance(0.1);
    ASSERT_EQ(deliveries_.count(), 3u);
    EXPECT_FALSE(find(deliveries_.last(), kChatPID).has_value());
    EXPECT_EQ(callsOn(chat), (std::vector<std::pair<bool, AudioObjectPropertySelector>>{
                                 {false, kAudioProcessPropertyIsRunning},
                                 {false, kAudioProcessPropertyIsRunningOutput}}));
    EXPECT_TRUE(callsOn(player).empty()) << "a process in both lists keeps its registrations";
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
    monitor_->start(deliveries_.handler());
    time_.advance(0.01);
    monitor_->start(newer.handler());
    time_.advance(0.01);

    EXPECT_EQ(deliveries_.count(), 1u);
    EXPECT_EQ(newer.count(), 1u);
    EXPECT_EQ(world_.recorder->count(true, kAudioHardwarePropertyProcessObjectList), 1u);
    EXPECT_EQ(world_.recorder->count(true, kAudioProcessPropertyIsRunningOutput), listedProcessCount());
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
    EXPECT_TRUE(find(deliveries_.last(), kLatePID).has_value());
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
    EXPECT_EQ(world_.listenerCount(), 1 + 2 * listedProcessCount());
    ASSERT_EQ(deliveries_.count(), 2u);
    EXPECT_TRUE(find(deliveries_.last(), kLatePID).has_value());
}

TEST_F(AudioProcessMonitorTest, ReleasedFromAnotherQueue_StopsBeforeReturning) {
    startAndSettle();

    monitor_.reset();

    EXPECT_EQ(world_.listenerCount(), 0u) << "no time passed: the stop ran synchronously";
}

TEST_F(AudioProcessMonitorTest, ReleasedOnItsOwnQueue_StopsDirectlyWithoutDeadlock) {
    // The handler keeps the monitor alive, so the last reference goes when the stop,
    // running on the monitor's queue, drops the handler. A failed read keeps the start
    // from handing a copy of the handler to the delivery queue.
    world_.server->injectFailure({.call = sim::Call::getPropertyDataSize,
                                  .object = kAudioObjectSystemObject,
                                  .selector = kAudioHardwarePropertyProcessObjectList});
    releaseOnTheMonitorsQueue();

    EXPECT_EQ(world_.listenerCount(), 0u);
}

// On real threads: processes flap on another thread while the monitor keeps its
// registrations in step, and the owner releases it meanwhile.
TEST(AudioProcessMonitorRealThreadTest, ReleasedWhileProcessesFlap_LeavesNoRegistration) {
    MonitorTestWorld world;
    const dispatch::QueuePtr deliveryQueue = dispatch::DispatchQueue::create("test.delivery");
    auto monitor = AudioProcessMonitor::create(deliveryQueue);
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
