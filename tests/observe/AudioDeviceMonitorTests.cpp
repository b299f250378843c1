#include "observe/AudioDeviceMonitor.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <thread>

#include "hal/AudioDeviceCatalogue.h"
#include "platform/dispatch/Dispatch.h"
#include "tests/observe/MonitorTestWorld.h"

namespace tonvale {
namespace {

using testing::Deliveries;
using testing::MonitorTestWorld;

// Starting delivers a snapshot at once.
class AudioDeviceMonitorTest : public testing::MonitorFixture<AudioDeviceMonitor, AudioDeviceSnapshot, 1> {
protected:
    AudioObjectID deviceID(const std::string& uid) const { return world_.server->deviceID(uid).value_or(0); }
};

TEST_F(AudioDeviceMonitorTest, StartedTwice_RegistersOnceAndGivesTheNewerHandlerItsOwnSnapshot) {
    Deliveries<AudioDeviceSnapshot> newer(deliveryQueue_);
    monitor_->start(deliveries_.handler());
    monitor_->start(newer.handler());
    time_.advance(0.01);

    EXPECT_EQ(deliveries_.count(), 1u);
    EXPECT_EQ(newer.count(), 1u);
    EXPECT_EQ(world_.recorder->count(true, kAudioHardwarePropertyDevices), 1u);
    EXPECT_EQ(world_.listenerCount(), 3u);

    ASSERT_TRUE(world_.server->setDefaultOutputDevice("headset"));
    time_.advance(1.0);
    EXPECT_EQ(deliveries_.count(), 1u) << "the replaced handler hears nothing more";
    ASSERT_EQ(newer.count(), 2u);
    EXPECT_EQ(newer.last().defaultOutputID, deviceID("headset"));
}

TEST_F(AudioDeviceMonitorTest, ThreeChanges30msApart_DeliverOneSnapshot100msAfterTheThird) {
    startAndSettle();
    ASSERT_TRUE(world_.server->setDefaultOutputDevice("headset"));
    time_.advance(0.03);
    ASSERT_TRUE(world_.server->plugDevice("spare"));
    time_.advance(0.03);
    ASSERT_TRUE(world_.server->setDefaultInputDevice("headset"));
    const dispatch::Seconds third = time_.now();
    time_.advance(0.099);
    EXPECT_EQ(deliveries_.count(), 1u) << "the burst has not settled yet";

    time_.advance(0.5);
    ASSERT_EQ(deliveries_.count(), 2u);
    const auto& settled = deliveries_.received.back();
    EXPECT_NEAR(settled.time - third, AudioDeviceMonitor::kRefreshDelay, 0.002);
    EXPECT_EQ(settled.value.defaultOutputID, deviceID("headset"));
    EXPECT_EQ(settled.value.defaultInputID, deviceID("headset"));
    EXPECT_EQ(settled.value.devices, enumerateDevices().value());
    EXPECT_EQ(settled.value.devices.size(), deliveries_.received.front().value.devices.size() + 1);
}

TEST_F(AudioDeviceMonitorTest, Stopped_DeliversNothingAndHoldsNoListener) {
    startAndSettle();
    ASSERT_TRUE(world_.server->setDefaultOutputDevice("headset"));
    time_.advance(0.05);
    monitor_->stop();
    time_.advance(0.01);
    EXPECT_EQ(world_.listenerCount(), 0u);

    ASSERT_TRUE(world_.server->setDefaultOutputDevice("speakers"));
    time_.advance(1.0);
    EXPECT_EQ(deliveries_.count(), 1u) << "neither the refresh pending at stop nor a later change delivers";
}

TEST_F(AudioDeviceMonitorTest, StopRightAfterStart_StillDeliversTheSnapshotPublishedBeforeIt) {
    monitor_->start(deliveries_.handler());
    monitor_->stop();
    time_.advance(1.0);

    EXPECT_EQ(deliveries_.count(), 1u) << "the handler of the moment of publishing is called; the owner filters";
    EXPECT_EQ(world_.listenerCount(), 0u);
}

TEST_F(AudioDeviceMonitorTest, FailingDefaultInputRead_SuppressesThatSnapshotOnly) {
    world_.server->injectFailure({.call = sim::Call::getPropertyData,
                                  .status = kAudioHardwareUnspecifiedError,
                                  .count = 1,
                                  .object = kAudioObjectSystemObject,
                                  .selector = kAudioHardwarePropertyDefaultInputDevice});
    monitor_->start(deliveries_.handler());
    time_.advance(1.0);
    EXPECT_EQ(deliveries_.count(), 0u);

    ASSERT_TRUE(world_.server->unplugDevice("headset"));
    time_.advance(1.0);
    ASSERT_EQ(deliveries_.count(), 1u) << "the monitor stays started and the next change retries";
    EXPECT_EQ(deliveries_.last().defaultInputID, deviceID("microphone"));
}

TEST_F(AudioDeviceMonitorTest, StopThenStart_RegistersAnewAndDeliversAFreshSnapshot) {
    startAndSettle();
    monitor_->stop();
    time_.advance(0.01);
    ASSERT_TRUE(world_.server->setDefaultOutputDevice("headset"));
    world_.recorder->clear();

    monitor_->start(deliveries_.handler());
    time_.advance(0.01);

    for (const auto selector : {kAudioHardwarePropertyDevices, kAudioHardwarePropertyDefaultOutputDevice,
                                kAudioHardwarePropertyDefaultInputDevice}) {
        EXPECT_EQ(world_.recorder->count(true, selector), 1u) << selector;
    }
    EXPECT_EQ(world_.listenerCount(), 3u);
    ASSERT_EQ(deliveries_.count(), 2u);
    EXPECT_EQ(deliveries_.last().defaultOutputID, deviceID("headset"));
}

TEST_F(AudioDeviceMonitorTest, ReleasedFromAnotherQueue_StopsBeforeReturning) {
    startAndSettle();
    monitor_.reset();
    EXPECT_EQ(world_.listenerCount(), 0u) << "no time passed: the stop ran synchronously";
}

TEST_F(AudioDeviceMonitorTest, ReleasedOnItsOwnQueue_StopsDirectlyWithoutDeadlock) {
    // A failed read keeps the start from handing a copy of the handler to the delivery queue.
    world_.server->injectFailure({.call = sim::Call::getPropertyData,
                                  .object = kAudioObjectSystemObject,
                                  .selector = kAudioHardwarePropertyDefaultOutputDevice});
    releaseOnTheMonitorsQueue();
    EXPECT_EQ(world_.listenerCount(), 0u);
}

TEST(AudioDeviceSnapshotTest, DerivedDevices_FollowTheDefaultAndSkipUnusableOutputs) {
    const auto device = [](AudioObjectID id, std::uint32_t transport, bool hasOutput, bool isAlive) {
        return AudioDeviceInfo{id, "uid-" + std::to_string(id), "Device", transport, hasOutput, false, isAlive, 48000.0};
    };
    const AudioDeviceSnapshot snapshot{{device(10, kAudioDeviceTransportTypeBuiltIn, true, true),
                                        device(11, kAudioDeviceTransportTypeAirPlay, true, true),
                                        device(12, kAudioDeviceTransportTypeUSB, false, true),
                                        device(13, kAudioDeviceTransportTypeUSB, true, false),
                                        device(14, kAudioDeviceTransportTypeHDMI, true, true)},
                                       14,
                                       12};

    ASSERT_TRUE(snapshot.defaultOutputDevice().has_value());
    EXPECT_EQ(snapshot.defaultOutputDevice()->objectID, 14u);
    const std::vector<AudioDeviceInfo> outputs = snapshot.outputDevices();
    ASSERT_EQ(outputs.size(), 2u);
    EXPECT_EQ(outputs[0].objectID, 10u);
    EXPECT_EQ(outputs[1].objectID, 14u);
    EXPECT_FALSE((AudioDeviceSnapshot{snapshot.devices, 99, 0}.defaultOutputDevice().has_value()));
}

// On real threads: changes arrive from another thread while the monitor refreshes, and the
// owner releases it meanwhile. ThreadSanitizer watches the hand-overs.
TEST(AudioDeviceMonitorRealThreadTest, ReleasedWhileChangesArrive_StopsCleanly) {
    MonitorTestWorld world;
    auto monitor = AudioDeviceMonitor::create(dispatch::DispatchQueue::create("test.delivery"));
    ASSERT_TRUE(testing::startAndAwaitFirstDelivery<AudioDeviceSnapshot>(*monitor));

    std::thread changes([&world] {
        for (int step = 0; step < 200; ++step) {
            (void)world.server->setDefaultOutputDevice(step % 2 == 0 ? "headset" : "speakers");
        }
    });
    EXPECT_TRUE(testing::releaseWhileChanging(monitor, changes, [&] { return world.listenerCount() == 0; }));
}

}  // namespace
}  // namespace tonvale
