// The simulated server as the audio layer sees it: property answers and their failures,
// listener removal, the timeline, taps, aggregates and the muting they cause, IO cycles (also on
// real threads) and restarts. Which listeners hear what, and injected failures, are met
// through the monitors' and catalogues' tests; where routed audio is heard, the engine's.
#include "sim/SimulatedServer.h"

#include "platform/coreaudio/CoreAudio.h"
#include "platform/dispatch/Dispatch.h"
#include "tests/sim/SimTestWorld.h"

#include <gtest/gtest.h>

#include <memory>
#include <thread>
#include <vector>

namespace sim {
namespace {

using namespace sim::testing;
using namespace tonvale::testing;

constexpr AudioObjectPropertyAddress kGlobal(AudioObjectPropertySelector selector) {
    return {selector, kAudioObjectPropertyScopeGlobal, kAudioObjectPropertyElementMain};
}

class SimulatedServerTest : public ::testing::Test {
protected:
    void SetUp() override { server = SimulatedServer::create(routeDesk()); }

    AudioObjectID idOf(const std::string& uid) { return server->deviceID(uid).value_or(0); }
    AudioObjectID music() { return server->processObjectID(kMusicPid).value_or(0); }
    AudioObjectID aggregateOn(const std::string& subdevice, const std::string& tapUID, bool suppressesInput = true) {
        return createAggregate("test.route." + std::to_string(++routes), subdevice, tapUID, suppressesInput);
    }
    AudioDeviceIOProcID startProbe(AudioObjectID device, IOProbe& probe) {
        AudioDeviceIOProcID proc = nullptr;
        EXPECT_EQ(AudioDeviceCreateIOProcID(device, &probeIOProc, &probe, &proc), kAudioHardwareNoError);
        EXPECT_EQ(AudioDeviceStart(device, proc), kAudioHardwareNoError);
        return proc;
    }

    // Records the selectors a listener hears.
    struct Heard {
        std::vector<AudioObjectPropertySelector> selectors;
    };
    void listen(AudioObjectID object, AudioObjectPropertySelector selector, Heard& heard) {
        const auto address = kGlobal(selector);
        ASSERT_EQ(AudioObjectAddPropertyListenerBlock(object, &address, queue, listenerInto(heard)),
                  kAudioHardwareNoError);
    }
    AudioObjectPropertyListenerBlock listenerInto(Heard& heard) {
        return std::make_shared<const std::function<void(UInt32, const AudioObjectPropertyAddress*)>>(
            [&heard](UInt32 count, const AudioObjectPropertyAddress* addresses) {
                for (UInt32 i = 0; i < count; ++i) {
                    heard.selectors.push_back(addresses[i].mSelector);
                }
            });
    }

    dispatch::VirtualTime time;
    std::shared_ptr<SimulatedServer> server;
    dispatch::QueuePtr queue = dispatch::DispatchQueue::create("test.listener");
    int routes = 0;
};

TEST_F(SimulatedServerTest, PropertyReads_FailAsThePlatformDoesAndHandTextsToTheCaller) {
    UInt32 value = 0;
    EXPECT_EQ(readValue(idOf("speakers"), fourCharCode("zzzz"), value), kAudioHardwareUnknownPropertyError);
    EXPECT_EQ(readValue(9999, kAudioDevicePropertyDeviceIsAlive, value), kAudioHardwareBadObjectError);
    // A value larger than the buffer is refused; a list fills what fits.
    const auto address = kGlobal(kAudioDevicePropertyNominalSampleRate);
    UInt32 size = 4;
    EXPECT_EQ(AudioObjectGetPropertyData(idOf("speakers"), &address, 0, nullptr, &size, &value),
              kAudioHardwareBadPropertySizeError);
    const auto devices = kGlobal(kAudioHardwarePropertyDevices);
    AudioObjectID ids[3] = {};
    size = 6;
    EXPECT_EQ(AudioObjectGetPropertyData(kAudioObjectSystemObject, &devices, 0, nullptr, &size, ids),
              kAudioHardwareNoError);
    EXPECT_EQ(size, 4U);
    EXPECT_EQ(ids[0], idOf("speakers"));
    // A text value is the caller's to release.
    CFStringRef name = nullptr;
    ASSERT_EQ(readValue(idOf("headset"), kAudioObjectPropertyName, name), kAudioHardwareNoError);
    EXPECT_EQ(CFGetRetainCount(name), 1);
    CFRelease(name);
}

TEST_F(SimulatedServerTest, ListenerRemoval_TakesTheSameListenerObject) {
    Heard heard;
    auto listener = listenerInto(heard);
    const auto address = kGlobal(kAudioHardwarePropertyDevices);
    ASSERT_EQ(AudioObjectAddPropertyListenerBlock(kAudioObjectSystemObject, &address, queue, listener),
              kAudioHardwareNoError);
    auto lookalike = std::make_shared<const std::function<void(UInt32, const AudioObjectPropertyAddress*)>>(*listener);
    EXPECT_NE(AudioObjectRemovePropertyListenerBlock(kAudioObjectSystemObject, &address, queue, lookalike),
              kAudioHardwareNoError);
    EXPECT_EQ(server->listenerCount(), 1U);
    // A notification already on its way is not delivered after the removal.
    ASSERT_TRUE(server->unplugDevice("headset"));
    EXPECT_EQ(AudioObjectRemovePropertyListenerBlock(kAudioObjectSystemObject, &address, queue, listener),
              kAudioHardwareNoError);
    time.runUntilIdle();
    EXPECT_TRUE(heard.selectors.empty());
    EXPECT_EQ(server->listenerCount(), 0U);
}

TEST_F(SimulatedServerTest, Timeline_PlaysItsEventsAtTheirTimesAndNotifiesEachFlipOnce) {
    Scenario scenario = routeDesk();
    scenario.processes[1].isLaunched = false;
    scenario.timeline = {{1.0, TimelineEvent::Kind::stopAudio, kMusicPid, ""},
                         {1.0, TimelineEvent::Kind::launch, kChatPid, ""},
                         {2.0, TimelineEvent::Kind::unplug, 0, "headset"}};
    server.reset();
    server = SimulatedServer::create(scenario);
    Heard processes;
    Heard flips;
    listen(kAudioObjectSystemObject, kAudioHardwarePropertyProcessObjectList, processes);
    listen(music(), kAudioProcessPropertyIsRunningOutput, flips);
    time.advance(0.99);
    EXPECT_EQ(valueOf<UInt32>(music(), kAudioProcessPropertyIsRunningOutput), 1U);
    EXPECT_EQ(readIDs(kAudioObjectSystemObject, kAudioHardwarePropertyProcessObjectList).size(), 1U);
    time.advance(0.02);
    ASSERT_TRUE(server->stopAudio(kMusicPid));
    time.runUntilIdle();
    EXPECT_EQ(valueOf<UInt32>(music(), kAudioProcessPropertyIsRunningOutput), 0U);
    EXPECT_EQ(processes.selectors.size(), 1U);
    EXPECT_EQ(flips.selectors.size(), 1U);
    EXPECT_EQ(readIDs(kAudioObjectSystemObject, kAudioHardwarePropertyProcessObjectList).size(), 2U);
    EXPECT_TRUE(server->deviceID("headset"));
    time.advance(1.0);
    EXPECT_FALSE(server->deviceID("headset"));
}

TEST_F(SimulatedServerTest, Aggregate_GetsTapStreamAfterTheDelayAndSubdeviceInputStreams) {
    std::string tapUID;
    tapProcess(music(), &tapUID);
    const AudioObjectID aggregate = aggregateOn("headset", tapUID);
    const AudioObjectID withInput = aggregateOn("headset", tapUID, false);
    EXPECT_TRUE(inputStreams(aggregate).empty());
    Heard heard;
    listen(aggregate, kAudioDevicePropertyStreams, heard);
    time.advance(0.01);
    EXPECT_EQ(heard.selectors.size(), 1U);
    const auto inputs = inputStreams(aggregate);
    ASSERT_EQ(inputs.size(), 1U);
    EXPECT_EQ(readIDs(aggregate, kAudioDevicePropertyStreams, kAudioObjectPropertyScopeOutput).size(), 1U);
    EXPECT_EQ(inputStreams(withInput).size(), 2U);
}

// The tapped music is muted on its own output only while the aggregate reading the tap runs.
TEST_F(SimulatedServerTest, TappedProcess_IsMutedOnlyWhileTheAggregateRuns) {
    ASSERT_TRUE(server->startObserving("speakers"));
    const auto musicOnSpeakers = [this] {
        const dispatch::Seconds from = dispatch::now();
        time.advance(0.5);
        return server->played("speakers", from, dispatch::now()).toneAmplitude(kMusicFrequency);
    };
    std::string tapUID;
    tapProcess(music(), &tapUID);
    const AudioObjectID aggregate = aggregateOn("headset", tapUID);
    time.advance(0.02);
    EXPECT_NEAR(musicOnSpeakers(), kMusicAmplitude, 0.01) << "a tap alone mutes nothing";
    IOProbe probe;
    const AudioDeviceIOProcID proc = startProbe(aggregate, probe);
    time.advance(0.1);
    EXPECT_LT(musicOnSpeakers(), 0.01);
    ASSERT_EQ(AudioDeviceStop(aggregate, proc), kAudioHardwareNoError);
    time.advance(0.1);
    EXPECT_NEAR(musicOnSpeakers(), kMusicAmplitude, 0.01) << "a stopped route gives it back";
}

TEST_F(SimulatedServerTest, IOProc_CalledOncePerBufferPeriodWithStreamShapedBuffers) {
    IOProbe probe;
    const AudioObjectID headset = idOf("headset");
    const AudioDeviceIOProcID proc = startProbe(headset, probe);
    EXPECT_EQ(server->runningIOCount(), 1U);
    time.advance(512.0 / 48000.0 * 100.5);
    EXPECT_EQ(probe.calls.load(), 100U);
    EXPECT_EQ(probe.inputBuffers.load(), 1U);
    EXPECT_EQ(probe.inputBytes.load(), 512U * 1 * 4);
    EXPECT_EQ(probe.outputBytes.load(), 512U * 2 * 4);
    ASSERT_EQ(AudioDeviceStop(headset, proc), kAudioHardwareNoError);
    time.advance(1.0);
    EXPECT_EQ(probe.calls.load(), 100U);
    EXPECT_EQ(server->runningIOCount(), 0U);
    EXPECT_EQ(AudioDeviceDestroyIOProcID(headset, proc), kAudioHardwareNoError);
    EXPECT_EQ(server->ioProcCount(), 0U);
}

TEST_F(SimulatedServerTest, DeadDevice_StopsCallingAndRefusesStart) {
    IOProbe probe;
    const AudioObjectID headset = idOf("headset");
    const AudioDeviceIOProcID proc = startProbe(headset, probe);
    time.advance(0.1);
    ASSERT_TRUE(server->killDevice("headset"));
    const auto calls = probe.calls.load();
    time.advance(0.5);
    EXPECT_EQ(probe.calls.load(), calls);
    EXPECT_EQ(AudioDeviceStart(headset, proc), kAudioHardwareNotRunningError);
    EXPECT_EQ(valueOf<UInt32>(headset, kAudioDevicePropertyDeviceIsAlive), 0U);
}

TEST_F(SimulatedServerTest, Restart_DestroysTapsAndAggregatesAndRenumbersTheWorld) {
    std::string tapUID;
    const AudioObjectID tap = tapProcess(music(), &tapUID);
    IOProbe probe;
    startProbe(aggregateOn("headset", tapUID), probe);
    const AudioObjectID oldHeadset = idOf("headset");
    server->restartAudioService();
    EXPECT_EQ(server->tapCount() + server->aggregateDeviceCount() + server->ioProcCount(), 0U);
    EXPECT_EQ(server->runningIOCount(), 0U);
    UInt32 isAlive = 0;
    EXPECT_EQ(readValue(oldHeadset, kAudioDevicePropertyDeviceIsAlive, isAlive), kAudioHardwareBadObjectError);
    EXPECT_EQ(readText(idOf("headset"), kAudioDevicePropertyDeviceUID), "headset");
    EXPECT_EQ(readIDs(kAudioObjectSystemObject, kAudioHardwarePropertyDevices).size(), 4U);
    EXPECT_EQ(AudioHardwareDestroyProcessTap(tap), kAudioHardwareBadObjectError);
}

TEST_F(SimulatedServerTest, IdleServer_RunsNoIOCycle) {
    std::string tapUID;
    tapProcess(music(), &tapUID);
    aggregateOn("headset", tapUID);
    time.advance(1.0);
    EXPECT_EQ(server->runningIOCount(), 0U);
    EXPECT_EQ(server->ioCycleCount("speakers"), 0U);
    EXPECT_EQ(time.pendingCount(), 0U);
}

// Control calls from another thread while a route's IO thread runs: no data race
// (checked under ThreadSanitizer), no call after a stop, nothing left behind.
TEST(SimulatedServerRealTimeTest, ControlCallsDuringIO_LeaveTheServerConsistent) {
    auto server = SimulatedServer::create(routeDesk());
    ASSERT_TRUE(server->startObserving("headset"));
    std::string tapUID;
    const AudioObjectID tap = tapProcess(server->processObjectID(kMusicPid).value_or(0), &tapUID);
    server->setAggregateBehaviour({.streamDelaySeconds = 0.0});
    const AudioObjectID aggregate = createAggregate("test.concurrent", "headset", tapUID);
    IOProbe probe;
    probe.copiesInput = true;
    AudioDeviceIOProcID proc = nullptr;
    ASSERT_EQ(AudioDeviceCreateIOProcID(aggregate, &probeIOProc, &probe, &proc), kAudioHardwareNoError);
    ASSERT_EQ(AudioDeviceStart(aggregate, proc), kAudioHardwareNoError);
    const std::size_t deviceCount = readIDs(kAudioObjectSystemObject, kAudioHardwarePropertyDevices).size();
    std::thread control([&] {
        for (int i = 0; probe.calls.load() < 20 || i < 50; ++i) {
            EXPECT_EQ(readIDs(kAudioObjectSystemObject, kAudioHardwarePropertyDevices).size(),
                      i % 2 == 0 ? deviceCount : deviceCount - 1);
            static_cast<void>(i % 2 == 0 ? server->unplugDevice("speakers") : server->plugDevice("speakers"));
            static_cast<void>(i % 3 == 0 ? server->stopAudio(kMusicPid) : server->startAudio(kMusicPid));
            static_cast<void>(server->played("headset", dispatch::now() - 0.1, dispatch::now()));
            std::this_thread::yield();
        }
    });
    control.join();
    ASSERT_EQ(AudioDeviceStop(aggregate, proc), kAudioHardwareNoError);
    const auto calls = probe.calls.load();
    EXPECT_EQ(AudioDeviceDestroyIOProcID(aggregate, proc), kAudioHardwareNoError);
    EXPECT_EQ(AudioHardwareDestroyAggregateDevice(aggregate), kAudioHardwareNoError);
    EXPECT_EQ(AudioHardwareDestroyProcessTap(tap), kAudioHardwareNoError);
    EXPECT_EQ(probe.calls.load(), calls);
    EXPECT_EQ(server->ioProcCount(), 0U);
    EXPECT_TRUE(server->stopObserving("headset"));
    EXPECT_EQ(server->runningIOCount(), 0U);
}

}  // namespace
}  // namespace sim
