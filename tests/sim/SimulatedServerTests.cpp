// The simulated server as the audio layer sees it: property answers and their failures,
// listeners, the timeline, taps, aggregates and their stream faults, IO cycles, restarts
// and injected failures. Where routed audio is heard is measured by the engine's tests.
#include "sim/SimulatedServer.h"

#include "platform/coreaudio/CoreAudio.h"
#include "platform/dispatch/Dispatch.h"
#include "tests/sim/SimTestWorld.h"

#include <gtest/gtest.h>

#include <memory>
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
    void SetUp() override { server = SimulatedServer::create(smallDesk()); }

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

    // Records the selectors a listener hears, and whether each came on the listener's queue.
    struct Heard {
        std::vector<AudioObjectPropertySelector> selectors;
        std::vector<bool> onQueue;
    };
    void listen(AudioObjectID object, AudioObjectPropertySelector selector, Heard& heard) {
        const auto address = kGlobal(selector);
        ASSERT_EQ(AudioObjectAddPropertyListenerBlock(object, &address, queue, listenerInto(heard)), kAudioHardwareNoError);
    }
    AudioObjectPropertyListenerBlock listenerInto(Heard& heard) {
        return std::make_shared<const std::function<void(UInt32, const AudioObjectPropertyAddress*)>>(
            [&heard, q = queue](UInt32 count, const AudioObjectPropertyAddress* addresses) {
                for (UInt32 i = 0; i < count; ++i) {
                    heard.selectors.push_back(addresses[i].mSelector);
                    heard.onQueue.push_back(q->isCurrent());
                }
            });
    }

    dispatch::VirtualTime time;
    std::shared_ptr<SimulatedServer> server;
    dispatch::QueuePtr queue = dispatch::DispatchQueue::create("test.listener");
    int routes = 0;
};

TEST_F(SimulatedServerTest, DeviceList_IsStableAndStringsAreOwnedByTheCaller) {
    const auto devices = readIDs(kAudioObjectSystemObject, kAudioHardwarePropertyDevices);
    ASSERT_EQ(devices.size(), 3U);
    EXPECT_EQ(devices, readIDs(kAudioObjectSystemObject, kAudioHardwarePropertyDevices));
    EXPECT_EQ(readIDs(devices[2], kAudioDevicePropertyStreams, kAudioObjectPropertyScopeOutput).size(), 0U);
    CFStringRef name = nullptr;
    ASSERT_EQ(readValue(devices[1], kAudioObjectPropertyName, name), kAudioHardwareNoError);
    EXPECT_EQ(CFGetRetainCount(name), 1);
    EXPECT_EQ(CFStringGetUTF8(name), "Headset");
    CFRelease(name);
}

TEST_F(SimulatedServerTest, PropertyReads_FailAsThePlatformDoes) {
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
    EXPECT_EQ(AudioObjectGetPropertyData(kAudioObjectSystemObject, &devices, 0, nullptr, &size, ids), kAudioHardwareNoError);
    EXPECT_EQ(size, 4U);
    EXPECT_EQ(ids[0], idOf("speakers"));
    // A process without a bundle identifier property answers 'who?'.
    CFStringRef bundle = nullptr;
    EXPECT_EQ(readValue(server->processObjectID(kQuietPid).value_or(0), kAudioProcessPropertyBundleID, bundle),
              kAudioHardwareUnknownPropertyError);
}

TEST_F(SimulatedServerTest, Listeners_HearEachChangeOnTheirQueueAfterItHappened) {
    Heard heard;
    for (auto selector : {kAudioHardwarePropertyDevices, kAudioHardwarePropertyDefaultOutputDevice,
                          kAudioHardwarePropertyProcessObjectList, kAudioHardwarePropertyServiceRestarted}) {
        listen(kAudioObjectSystemObject, selector, heard);
    }
    ASSERT_TRUE(server->unplugDevice("headset"));
    time.runUntilIdle();
    ASSERT_EQ(heard.selectors, std::vector<AudioObjectPropertySelector>{kAudioHardwarePropertyDevices});
    EXPECT_TRUE(heard.onQueue[0]);
    EXPECT_EQ(readIDs(kAudioObjectSystemObject, kAudioHardwarePropertyDevices).size(), 2U);

    heard.selectors.clear();
    ASSERT_FALSE(server->setDefaultOutputDevice("headset"));
    ASSERT_TRUE(server->plugDevice("headset"));
    ASSERT_TRUE(server->setDefaultOutputDevice("headset"));
    ASSERT_TRUE(server->quitProcess(kQuietPid));
    server->restartAudioService();
    time.runUntilIdle();
    const std::vector<AudioObjectPropertySelector> expected{
        kAudioHardwarePropertyDevices, kAudioHardwarePropertyDefaultOutputDevice,
        kAudioHardwarePropertyProcessObjectList, kAudioHardwarePropertyServiceRestarted,
        kAudioHardwarePropertyDevices, kAudioHardwarePropertyProcessObjectList,
        kAudioHardwarePropertyDefaultOutputDevice};
    EXPECT_EQ(heard.selectors, expected);
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
    Scenario scenario = smallDesk();
    scenario.processes[1].isLaunched = false;
    scenario.timeline = {{1.0, TimelineEvent::Kind::stopAudio, kMusicPid, ""},
                         {1.0, TimelineEvent::Kind::launch, kQuietPid, ""},
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
    const AudioObjectID tap = tapProcess(music(), &tapUID);
    EXPECT_EQ(readText(tap, kAudioTapPropertyUID), tapUID);
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
    EXPECT_EQ(server->tapCount(), 1U);
    EXPECT_EQ(server->aggregateDeviceCount(), 2U);
}

// Streams withheld and wrong shapes are met by the route controller's tests, through the
// answers the controller gives; a format that is not yet readable is met only here.
TEST_F(SimulatedServerTest, FormatFault_HidesTheTapFormatUntilItsDelayHasPassed) {
    std::string tapUID;
    tapProcess(music(), &tapUID);
    server->setAggregateBehaviour({.streamDelaySeconds = 0.0, .formatUnknownSeconds = 0.5});
    const auto inputs = inputStreams(aggregateOn("headset", tapUID));
    ASSERT_EQ(inputs.size(), 1U);
    AudioStreamBasicDescription format{};
    EXPECT_EQ(readValue(inputs[0], kAudioStreamPropertyVirtualFormat, format), kAudioHardwareUnknownPropertyError);
    time.advance(0.5);
    EXPECT_EQ(readValue(inputs[0], kAudioStreamPropertyVirtualFormat, format), kAudioHardwareNoError);
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

TEST_F(SimulatedServerTest, StalledDeadOrUnpluggedDevice_StopsCallingAndRefusesStart) {
    IOProbe probe;
    const AudioObjectID headset = idOf("headset");
    const AudioDeviceIOProcID proc = startProbe(headset, probe);
    ASSERT_TRUE(server->setIOStalled("headset", true));
    time.advance(0.5);
    EXPECT_EQ(probe.calls.load(), 0U);
    ASSERT_TRUE(server->setIOStalled("headset", false));
    time.advance(0.5);
    EXPECT_GT(probe.calls.load(), 40U);
    ASSERT_TRUE(server->killDevice("headset"));
    const auto calls = probe.calls.load();
    time.advance(0.5);
    EXPECT_EQ(probe.calls.load(), calls);
    EXPECT_EQ(AudioDeviceStart(headset, proc), kAudioHardwareNotRunningError);
    EXPECT_EQ(valueOf<UInt32>(headset, kAudioDevicePropertyDeviceIsAlive), 0U);

    const AudioObjectID speakers = idOf("speakers");
    AudioDeviceIOProcID speakersProc = nullptr;
    ASSERT_EQ(AudioDeviceCreateIOProcID(speakers, &probeIOProc, &probe, &speakersProc), kAudioHardwareNoError);
    ASSERT_TRUE(server->unplugDevice("speakers"));
    EXPECT_EQ(AudioDeviceStart(speakers, speakersProc), kAudioHardwareBadObjectError);
}

TEST_F(SimulatedServerTest, Restart_DestroysTapsAndAggregatesAndRenumbersTheWorld) {
    std::string tapUID;
    const AudioObjectID tap = tapProcess(music(), &tapUID);
    IOProbe probe;
    startProbe(aggregateOn("headset", tapUID), probe);
    const AudioObjectID oldHeadset = idOf("headset");
    server->restartAudioService();
    EXPECT_EQ(server->tapCount(), 0U);
    EXPECT_EQ(server->aggregateDeviceCount(), 0U);
    EXPECT_EQ(server->ioProcCount(), 0U);
    EXPECT_EQ(server->runningIOCount(), 0U);
    UInt32 isAlive = 0;
    EXPECT_EQ(readValue(oldHeadset, kAudioDevicePropertyDeviceIsAlive, isAlive), kAudioHardwareBadObjectError);
    EXPECT_EQ(readText(idOf("headset"), kAudioDevicePropertyDeviceUID), "headset");
    EXPECT_EQ(readIDs(kAudioObjectSystemObject, kAudioHardwarePropertyDevices).size(), 3U);
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

TEST_F(SimulatedServerTest, CaptureRefusal_FailsTapCreationWithTheGivenStatus) {
    server->setCaptureDenial(CaptureDenial::refuseTap, kAudioHardwareIllegalOperationError);
    CATapDescription description = CATapDescription::initStereoMixdownOfProcesses({music()});
    AudioObjectID tap = 0;
    EXPECT_EQ(AudioHardwareCreateProcessTap(&description, &tap), kAudioHardwareIllegalOperationError);
    server->setCaptureDenial(CaptureDenial::refuseTap);
    EXPECT_EQ(AudioHardwareCreateProcessTap(&description, &tap), kAudioHardwarePermissionDeniedError);
    EXPECT_EQ(server->tapCount(), 0U);
}

TEST_F(SimulatedServerTest, InjectedFailure_AnswersTheNextMatchingCallsOnly) {
    const AudioObjectID headset = idOf("headset");
    server->injectFailure({.call = Call::getPropertyData, .status = kAudioHardwareBadObjectError, .count = 2,
                           .object = headset, .selector = kAudioObjectPropertyName});
    EXPECT_EQ(readText(idOf("speakers"), kAudioObjectPropertyName), "Speakers");
    EXPECT_EQ(readText(headset, kAudioDevicePropertyDeviceUID), "headset");
    EXPECT_EQ(readText(headset, kAudioObjectPropertyName), "");
    EXPECT_EQ(readText(headset, kAudioObjectPropertyName), "");
    EXPECT_EQ(readText(headset, kAudioObjectPropertyName), "Headset");

    server->injectFailure({.call = Call::createAggregateDevice, .status = kAudioHardwareUnspecifiedError, .count = 0});
    std::string tapUID;
    tapProcess(music(), &tapUID);
    EXPECT_EQ(aggregateOn("headset", tapUID), 0U);
    EXPECT_EQ(aggregateOn("headset", tapUID), 0U);
    server->clearInjectedFailures();
    EXPECT_NE(aggregateOn("headset", tapUID), 0U);
}

TEST_F(SimulatedServerTest, MalformedAggregateDescription_IsRefused) {
    std::string tapUID;
    tapProcess(music(), &tapUID);
    AudioObjectID aggregate = 0;
    for (auto [subdevice, tap] : {std::pair<std::string, std::string>{"nowhere", tapUID}, {"headset", "NOT-A-TAP"}}) {
        const PropertyList description = routeDescription("test.bad", subdevice, tap);
        EXPECT_EQ(AudioHardwareCreateAggregateDevice(asDictionary(description), &aggregate),
                  kAudioHardwareIllegalOperationError);
    }
    EXPECT_EQ(AudioHardwareCreateAggregateDevice(asDictionary(dictionary({{"uid", integer(7)}})), &aggregate),
              kAudio_ParamError);
    EXPECT_EQ(server->aggregateDeviceCount(), 0U);
}

TEST_F(SimulatedServerTest, DefaultInputWrite_RefusesAnOutputOnlyDeviceAndAShortValue) {
    const auto address = kGlobal(kAudioHardwarePropertyDefaultInputDevice);
    auto write = [&](UInt32 size, const void* value) {
        return AudioObjectSetPropertyData(kAudioObjectSystemObject, &address, 0, nullptr, size, value);
    };
    // A valid choice is made through the audio layer's own test of setting the default input.
    const AudioObjectID speakers = idOf("speakers");
    const UInt16 shortValue = 1;
    EXPECT_EQ(write(sizeof(speakers), &speakers), kAudioHardwareIllegalOperationError);
    EXPECT_EQ(write(sizeof(shortValue), &shortValue), kAudioHardwareBadPropertySizeError);
}

}  // namespace
}  // namespace sim
