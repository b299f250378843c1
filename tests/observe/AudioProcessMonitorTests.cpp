// The process monitor on the simulated desk: a failed list read keeps what is registered.
// Registrations and refreshes following processes that come, go and play are met by the soak.
#include "observe/AudioProcessMonitor.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "tests/observe/MonitorTestWorld.h"

namespace tonvale {
namespace {

using namespace tonvale::testing;

// Starting delivers a snapshot at once.
class AudioProcessMonitorTest : public MonitorFixture<AudioProcessMonitor, AudioProcessSnapshot, 1> {
protected:
    // The last snapshot's record of pid; nullptr when it is not listed.
    const AudioProcessInfo* lastOf(std::int32_t pid) const {
        const auto& processes = deliveries_.last().processes;
        const auto found = std::find_if(processes.begin(), processes.end(),
                                        [pid](const AudioProcessInfo& process) { return process.pid == pid; });
        return found == processes.end() ? nullptr : &*found;
    }
};

TEST_F(AudioProcessMonitorTest, FailingListRead_KeepsTheRegistrationsAndDeliversNothing) {
    startAndSettle();
    const std::size_t before = world_.held();
    world_.server->injectFailure({.call = sim::Call::getPropertyDataSize,
                                  .object = kAudioObjectSystemObject,
                                  .selector = kAudioHardwarePropertyProcessObjectList});
    ASSERT_TRUE(world_.server->launchProcess(kLatePID));
    time_.advance(0.5);
    EXPECT_EQ(deliveries_.count(), 1u);
    EXPECT_EQ(world_.held(), before);

    ASSERT_TRUE(world_.server->stopAudio(kMusicPid));
    time_.advance(0.5);
    ASSERT_EQ(deliveries_.count(), 2u) << "the next change retries";
    EXPECT_NE(lastOf(kLatePID), nullptr);
    EXPECT_EQ(world_.held(), before + 2) << "the launched process's two";
}

}  // namespace
}  // namespace tonvale
