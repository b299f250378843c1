// The device monitor on the simulated desk: a burst of changes settles into one snapshot, and a
// failed read costs that snapshot only. Which devices count as outputs is met end to end.
#include "observe/AudioDeviceMonitor.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "hal/AudioDeviceCatalogue.h"
#include "tests/observe/MonitorTestWorld.h"

namespace tonvale {
namespace {

// Starting delivers a snapshot at once.
class AudioDeviceMonitorTest : public testing::MonitorFixture<AudioDeviceMonitor, AudioDeviceSnapshot, 1> {
protected:
    AudioObjectID deviceID(const std::string& uid) const { return world_.server->deviceID(uid).value_or(0); }
};

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

TEST_F(AudioDeviceMonitorTest, FailingDefaultInputRead_SuppressesThatSnapshotOnly) {
    world_.server->injectFailure(
        {.object = kAudioObjectSystemObject, .selector = kAudioHardwarePropertyDefaultInputDevice});
    monitor_->start(deliveries_.handler());
    time_.advance(1.0);
    EXPECT_EQ(deliveries_.count(), 0u);

    ASSERT_TRUE(world_.server->unplugDevice("headset"));
    time_.advance(1.0);
    ASSERT_EQ(deliveries_.count(), 1u) << "the monitor stays started and the next change retries";
    EXPECT_EQ(deliveries_.last().defaultInputID, deviceID("microphone"));
}

}  // namespace
}  // namespace tonvale
