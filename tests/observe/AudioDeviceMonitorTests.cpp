// The device monitor on the simulated desk: a failed read costs that snapshot only. The
// snapshots that follow changes to the devices are met by the soak.
#include "observe/AudioDeviceMonitor.h"

#include <gtest/gtest.h>

#include <string>

#include "tests/observe/MonitorTestWorld.h"

namespace tonvale {
namespace {

// Starting delivers a snapshot at once.
class AudioDeviceMonitorTest : public testing::MonitorFixture<AudioDeviceMonitor, AudioDeviceSnapshot, 1> {
protected:
    AudioObjectID deviceID(const std::string& uid) const { return world_.server->deviceID(uid).value_or(0); }
};

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
