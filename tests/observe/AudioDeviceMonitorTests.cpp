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

TEST(AudioDeviceSnapshotTest, DerivedDevices_FollowTheDefaultAndSkipUnusableOutputs) {
    const auto device = [](AudioObjectID id, std::uint32_t transport, bool hasOutput, bool isAlive) {
        return AudioDeviceInfo{id,     "uid-" + std::to_string(id), "Device", transport, hasOutput, false, isAlive,
                               48000.0};
    };
    const AudioDeviceSnapshot snapshot{
        {device(10, kAudioDeviceTransportTypeBuiltIn, true, true),
         device(11, kAudioDeviceTransportTypeAirPlay, true, true),
         device(12, kAudioDeviceTransportTypeUSB, false, true), device(13, kAudioDeviceTransportTypeUSB, true, false),
         device(14, kAudioDeviceTransportTypeHDMI, true, true)},
        14,
        12};

    EXPECT_EQ(snapshot.defaultOutputDevice(), snapshot.devices[4]);
    EXPECT_EQ(snapshot.outputDevices(), (std::vector{snapshot.devices[0], snapshot.devices[4]}));
    EXPECT_FALSE((AudioDeviceSnapshot{snapshot.devices, 99, 0}.defaultOutputDevice().has_value()));
}

}  // namespace
}  // namespace tonvale
