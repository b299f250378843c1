#include "sim/SimulatedServer.h"

#include "platform/coreaudio/CoreAudio.h"
#include "platform/dispatch/Dispatch.h"
#include "tests/sim/SimTestWorld.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <optional>
#include <vector>

namespace sim {
namespace {

using namespace sim::testing;

constexpr AudioObjectPropertyAddress kGlobal(AudioObjectPropertySelector selector) {
    return {selector, kAudioObjectPropertyScopeGlobal, kAudioObjectPropertyElementMain};
}

class SimulatedServerTest : public ::testing::Test {
protected:
    void SetUp() override { server = SimulatedServer::create(smallDesk()); }
    void TearDown() override { server.reset(); }

    AudioObjectID idOf(const std::string& uid) { return server->deviceID(uid).value_or(0); }
    AudioObjectID music() { return server->processObjectID(kMusicPid).value_or(0); }

    // A private tap on the music player, muted while read.
    AudioObjectID tapMusic(std::string* uid = nullptr) {
        CATapDescription description = CATapDescription::initStereoMixdownOfProcesses({music()});
        description.isPrivate = true;
        description.muteBehavior = CATapMutedWhenTapped;
        AudioObjectID tap = 0;
        EXPECT_EQ(AudioHardwareCreateProcessTap(&description, &tap), kAudioHardwareNoError);
        if (uid != nullptr) {
            *uid = description.uuid;
        }
        return tap;
    }

    AudioObjectID aggregateOn(const std::string& subdevice, const std::string& tapUID, bool suppressesInput = true) {
        CFDictionaryRef description = routeDescription("test.route." + std::to_string(++routes), subdevice, tapUID,
                                                       suppressesInput);
        AudioObjectID aggregate = 0;
        EXPECT_EQ(AudioHardwareCreateAggregateDevice(description, &aggregate), kAudioHardwareNoError);
        CFRelease(description);
        return aggregate;
    }

    // Records every notification a listener gets, with what the property read inside it.
    struct Heard {
        std::vector<AudioObjectPropertySelector> selectors;
        std::vector<bool> onQueue;
    };
    AudioObjectPropertyListenerBlock listenerInto(Heard& heard, const dispatch::QueuePtr& queue) {
        return std::make_shared<const std::function<void(UInt32, const AudioObjectPropertyAddress*)>>(
            [&heard, queue](UInt32 count, const AudioObjectPropertyAddress* addresses) {
                for (UInt32 i = 0; i < count; ++i) {
                    heard.selectors.push_back(addresses[i].mSelector);
                    heard.onQueue.push_back(queue->isCurrent());
                }
            });
    }

    dispatch::VirtualTime time;
    std::shared_ptr<SimulatedServer> server;
    int routes = 0;
};

TEST_F(SimulatedServerTest, DeviceList_IsStableAndAnswersEveryAttribute) {
    const auto devices = readIDs(kAudioObjectSystemObject, kAudioHardwarePropertyDevices);
    ASSERT_EQ(devices.size(), 3U);
    EXPECT_EQ(devices, readIDs(kAudioObjectSystemObject, kAudioHardwarePropertyDevices));
    EXPECT_EQ(readText(devices[0], kAudioDevicePropertyDeviceUID), "speakers");
    EXPECT_EQ(readText(devices[1], kAudioObjectPropertyName), "Headset");
    UInt32 transport = 0;
    EXPECT_EQ(readValue(devices[1], kAudioDevicePropertyTransportType, transport), kAudioHardwareNoError);
    EXPECT_EQ(transport, kAudioDeviceTransportTypeUSB);
    Float64 rate = 0;
    EXPECT_EQ(readValue(devices[0], kAudioDevicePropertyNominalSampleRate, rate), kAudioHardwareNoError);
    EXPECT_EQ(rate, 48000.0);
    EXPECT_EQ(readIDs(devices[1], kAudioDevicePropertyStreams, kAudioObjectPropertyScopeInput).size(), 1U);
    EXPECT_EQ(readIDs(devices[2], kAudioDevicePropertyStreams, kAudioObjectPropertyScopeOutput).size(), 0U);
    UInt32 defaultOutput = 0;
    EXPECT_EQ(readValue(kAudioObjectSystemObject, kAudioHardwarePropertyDefaultOutputDevice, defaultOutput),
              kAudioHardwareNoError);
    EXPECT_EQ(defaultOutput, devices[0]);
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

TEST_F(SimulatedServerTest, StringReads_AreOwnedByTheCaller) {
    CFStringRef uid = nullptr;
    ASSERT_EQ(readValue(idOf("headset"), kAudioDevicePropertyDeviceUID, uid), kAudioHardwareNoError);
    EXPECT_EQ(CFGetRetainCount(uid), 1);
    EXPECT_EQ(CFStringGetUTF8(uid), "headset");
    CFRelease(uid);
    EXPECT_EQ(readText(music(), kAudioProcessPropertyBundleID), "com.example.music");
    UInt32 pid = 0;
    EXPECT_EQ(readValue(music(), kAudioProcessPropertyPID, pid), kAudioHardwareNoError);
    EXPECT_EQ(pid, static_cast<UInt32>(kMusicPid));
}

TEST_F(SimulatedServerTest, UserAggregateComposition_IsAMapWithTypedEntries) {
    server.reset();
    Scenario scenario = smallDesk();
    ScenarioAggregate multi;
    multi.uid = "multi";
    multi.name = "Multi-Output";
    multi.subdevices = {{"speakers", std::nullopt, 0}, {"headset", std::nullopt, 1}};
    multi.mainSubdeviceUID = "speakers";
    multi.isStacked = true;
    scenario.aggregates = {multi};
    server = SimulatedServer::create(scenario);
    CFDictionaryRef composition = nullptr;
    ASSERT_EQ(readValue(idOf("multi"), kAudioAggregateDevicePropertyComposition, composition), kAudioHardwareNoError);
    ASSERT_NE(composition, nullptr);
    CFTypeRef stacked = CFDictionaryGetValueForUTF8Key(composition, "stacked");
    ASSERT_EQ(CFGetTypeID(stacked), CFNumberGetTypeID());
    CFTypeRef main = CFDictionaryGetValueForUTF8Key(composition, "master");
    EXPECT_EQ(CFStringGetUTF8(static_cast<CFStringRef>(main)), "speakers");
    auto subdevices = static_cast<CFArrayRef>(CFDictionaryGetValueForUTF8Key(composition, "subdevices"));
    ASSERT_EQ(CFArrayGetCount(subdevices), 2);
    auto second = static_cast<CFDictionaryRef>(CFArrayGetValueAtIndex(subdevices, 1));
    SInt64 drift = 0;
    CFNumberGetValue(static_cast<CFNumberRef>(CFDictionaryGetValueForUTF8Key(second, "drift")), kCFNumberSInt64Type, &drift);
    EXPECT_EQ(drift, 1);
    CFRelease(composition);
    UInt32 transport = 0;
    EXPECT_EQ(readValue(idOf("multi"), kAudioDevicePropertyTransportType, transport), kAudioHardwareNoError);
    EXPECT_EQ(transport, kAudioDeviceTransportTypeAggregate);
}

TEST_F(SimulatedServerTest, Listeners_HearEachChangeOnTheirQueueAfterItHappened) {
    auto queue = dispatch::DispatchQueue::create("test.listener");
    Heard heard;
    auto listener = listenerInto(heard, queue);
    for (auto selector : {kAudioHardwarePropertyDevices, kAudioHardwarePropertyDefaultOutputDevice,
                          kAudioHardwarePropertyProcessObjectList, kAudioHardwarePropertyServiceRestarted}) {
        const auto address = kGlobal(selector);
        ASSERT_EQ(AudioObjectAddPropertyListenerBlock(kAudioObjectSystemObject, &address, queue, listener),
                  kAudioHardwareNoError);
    }
    ASSERT_TRUE(server->unplugDevice("headset"));
    time.runUntilIdle();
    ASSERT_EQ(heard.selectors, std::vector<AudioObjectPropertySelector>{kAudioHardwarePropertyDevices});
    EXPECT_TRUE(heard.onQueue[0]);
    EXPECT_EQ(readIDs(kAudioObjectSystemObject, kAudioHardwarePropertyDevices).size(), 2U);

    heard.selectors.clear();
    ASSERT_TRUE(server->setDefaultOutputDevice("headset") == false);
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

TEST_F(SimulatedServerTest, Timeline_PlaysItsEventsAtTheirTimes) {
    server.reset();
    Scenario scenario = smallDesk();
    scenario.processes[1].isLaunched = false;
    scenario.timeline = {{1.0, TimelineEvent::Kind::stopAudio, kMusicPid, ""},
                         {1.0, TimelineEvent::Kind::launch, kQuietPid, ""},
                         {2.0, TimelineEvent::Kind::unplug, 0, "headset"}};
    server = SimulatedServer::create(scenario);
    auto queue = dispatch::DispatchQueue::create("test.listener");
    Heard heard;
    const auto processes = kGlobal(kAudioHardwarePropertyProcessObjectList);
    ASSERT_EQ(AudioObjectAddPropertyListenerBlock(kAudioObjectSystemObject, &processes, queue, listenerInto(heard, queue)),
              kAudioHardwareNoError);
    EXPECT_EQ(readIDs(kAudioObjectSystemObject, kAudioHardwarePropertyProcessObjectList).size(), 1U);
    time.advance(0.99);
    UInt32 isRunningOutput = 0;
    EXPECT_EQ(readValue(music(), kAudioProcessPropertyIsRunningOutput, isRunningOutput), kAudioHardwareNoError);
    EXPECT_EQ(isRunningOutput, 1U);
    time.advance(0.02);
    EXPECT_EQ(readValue(music(), kAudioProcessPropertyIsRunningOutput, isRunningOutput), kAudioHardwareNoError);
    EXPECT_EQ(isRunningOutput, 0U);
    EXPECT_EQ(heard.selectors.size(), 1U);
    EXPECT_EQ(readIDs(kAudioObjectSystemObject, kAudioHardwarePropertyProcessObjectList).size(), 2U);
    EXPECT_TRUE(server->deviceID("headset"));
    time.advance(1.0);
    EXPECT_FALSE(server->deviceID("headset"));
}

TEST_F(SimulatedServerTest, ProcessListener_HearsRunningOutputFlip) {
    auto queue = dispatch::DispatchQueue::create("test.listener");
    Heard heard;
    auto listener = listenerInto(heard, queue);
    const auto address = kGlobal(kAudioProcessPropertyIsRunningOutput);
    ASSERT_EQ(AudioObjectAddPropertyListenerBlock(music(), &address, queue, listener), kAudioHardwareNoError);
    ASSERT_TRUE(server->stopAudio(kMusicPid));
    ASSERT_TRUE(server->stopAudio(kMusicPid));
    time.runUntilIdle();
    EXPECT_EQ(heard.selectors.size(), 1U);
    UInt32 isRunningOutput = 1;
    EXPECT_EQ(readValue(music(), kAudioProcessPropertyIsRunningOutput, isRunningOutput), kAudioHardwareNoError);
    EXPECT_EQ(isRunningOutput, 0U);
}

TEST_F(SimulatedServerTest, ListenerRemoval_TakesTheSameListenerObject) {
    auto queue = dispatch::DispatchQueue::create("test.listener");
    Heard heard;
    auto listener = listenerInto(heard, queue);
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

TEST_F(SimulatedServerTest, Aggregate_GetsTapStreamAfterTheDelay) {
    std::string tapUID;
    const AudioObjectID tap = tapMusic(&tapUID);
    EXPECT_EQ(readText(tap, kAudioTapPropertyUID), tapUID);
    const AudioObjectID aggregate = aggregateOn("headset", tapUID);
    EXPECT_TRUE(readIDs(aggregate, kAudioDevicePropertyStreams, kAudioObjectPropertyScopeInput).empty());
    auto queue = dispatch::DispatchQueue::create("test.listener");
    Heard heard;
    const auto streams = kGlobal(kAudioDevicePropertyStreams);
    ASSERT_EQ(AudioObjectAddPropertyListenerBlock(aggregate, &streams, queue, listenerInto(heard, queue)),
              kAudioHardwareNoError);
    time.advance(0.01);
    EXPECT_EQ(heard.selectors.size(), 1U);
    const auto inputs = readIDs(aggregate, kAudioDevicePropertyStreams, kAudioObjectPropertyScopeInput);
    ASSERT_EQ(inputs.size(), 1U);
    EXPECT_EQ(readIDs(aggregate, kAudioDevicePropertyStreams, kAudioObjectPropertyScopeOutput).size(), 1U);
    AudioStreamBasicDescription format{};
    ASSERT_EQ(readValue(inputs[0], kAudioStreamPropertyVirtualFormat, format), kAudioHardwareNoError);
    EXPECT_EQ(format.mFormatID, kAudioFormatLinearPCM);
    EXPECT_EQ(format.mChannelsPerFrame, 2U);
    EXPECT_EQ(format.mBitsPerChannel, 32U);
    EXPECT_NE(format.mFormatFlags & kAudioFormatFlagIsFloat, 0U);
    EXPECT_EQ(format.mSampleRate, 48000.0);
    EXPECT_EQ(server->tapCount(), 1U);
    EXPECT_EQ(server->aggregateDeviceCount(), 1U);
}

TEST_F(SimulatedServerTest, SubdeviceInput_AddsAPhysicalInputStream) {
    std::string tapUID;
    tapMusic(&tapUID);
    const AudioObjectID aggregate = aggregateOn("headset", tapUID, false);
    time.advance(0.01);
    EXPECT_EQ(readIDs(aggregate, kAudioDevicePropertyStreams, kAudioObjectPropertyScopeInput).size(), 2U);
}

TEST_F(SimulatedServerTest, StreamFaults_WithholdStreamsOrHideFormatsOrBreakTheShape) {
    std::string tapUID;
    tapMusic(&tapUID);
    server->setAggregateBehaviour({.streamDelaySeconds = std::numeric_limits<double>::infinity()});
    const AudioObjectID never = aggregateOn("headset", tapUID);
    server->setAggregateBehaviour({.streamDelaySeconds = 0.0, .formatUnknownSeconds = 0.5});
    const AudioObjectID unknownFormat = aggregateOn("headset", tapUID);
    server->setAggregateBehaviour({.streamDelaySeconds = 0.0, .shapeFault = StreamShapeFault::sixteenBitTap});
    const AudioObjectID sixteenBit = aggregateOn("headset", tapUID);
    server->setAggregateBehaviour({.streamDelaySeconds = 0.0, .shapeFault = StreamShapeFault::extraInputStream});
    const AudioObjectID twoInputs = aggregateOn("headset", tapUID);
    time.advance(0.1);
    EXPECT_TRUE(readIDs(never, kAudioDevicePropertyStreams, kAudioObjectPropertyScopeInput).empty());
    const auto inputs = readIDs(unknownFormat, kAudioDevicePropertyStreams, kAudioObjectPropertyScopeInput);
    ASSERT_EQ(inputs.size(), 1U);
    AudioStreamBasicDescription format{};
    EXPECT_EQ(readValue(inputs[0], kAudioStreamPropertyVirtualFormat, format), kAudioHardwareUnknownPropertyError);
    time.advance(0.5);
    EXPECT_EQ(readValue(inputs[0], kAudioStreamPropertyVirtualFormat, format), kAudioHardwareNoError);
    const auto narrow = readIDs(sixteenBit, kAudioDevicePropertyStreams, kAudioObjectPropertyScopeInput);
    ASSERT_EQ(narrow.size(), 1U);
    ASSERT_EQ(readValue(narrow[0], kAudioStreamPropertyVirtualFormat, format), kAudioHardwareNoError);
    EXPECT_EQ(format.mBitsPerChannel, 16U);
    EXPECT_EQ(format.mFormatFlags & kAudioFormatFlagIsFloat, 0U);
    EXPECT_EQ(readIDs(twoInputs, kAudioDevicePropertyStreams, kAudioObjectPropertyScopeInput).size(), 2U);
}

TEST_F(SimulatedServerTest, IOProc_CalledOncePerBufferPeriodWithStreamShapedBuffers) {
    IOProbe probe;
    AudioDeviceIOProcID proc = nullptr;
    const AudioObjectID headset = idOf("headset");
    ASSERT_EQ(AudioDeviceCreateIOProcID(headset, &probeIOProc, &probe, &proc), kAudioHardwareNoError);
    EXPECT_EQ(server->runningIOCount(), 0U);
    ASSERT_EQ(AudioDeviceStart(headset, proc), kAudioHardwareNoError);
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

TEST_F(SimulatedServerTest, DeadOrUnpluggedDevice_StopsCallingAndRefusesStart) {
    IOProbe probe;
    AudioDeviceIOProcID proc = nullptr;
    const AudioObjectID headset = idOf("headset");
    ASSERT_EQ(AudioDeviceCreateIOProcID(headset, &probeIOProc, &probe, &proc), kAudioHardwareNoError);
    ASSERT_EQ(AudioDeviceStart(headset, proc), kAudioHardwareNoError);
    time.advance(0.1);
    ASSERT_TRUE(server->killDevice("headset"));
    const auto calls = probe.calls.load();
    time.advance(0.5);
    EXPECT_EQ(probe.calls.load(), calls);
    EXPECT_EQ(AudioDeviceStart(headset, proc), kAudioHardwareNotRunningError);
    UInt32 isAlive = 1;
    EXPECT_EQ(readValue(headset, kAudioDevicePropertyDeviceIsAlive, isAlive), kAudioHardwareNoError);
    EXPECT_EQ(isAlive, 0U);

    const AudioObjectID speakers = idOf("speakers");
    ASSERT_EQ(AudioDeviceCreateIOProcID(speakers, &probeIOProc, &probe, &proc), kAudioHardwareNoError);
    ASSERT_TRUE(server->unplugDevice("speakers"));
    EXPECT_EQ(AudioDeviceStart(speakers, proc), kAudioHardwareBadObjectError);
}

TEST_F(SimulatedServerTest, StalledIO_CallsNothingUntilResumed) {
    IOProbe probe;
    AudioDeviceIOProcID proc = nullptr;
    const AudioObjectID headset = idOf("headset");
    ASSERT_EQ(AudioDeviceCreateIOProcID(headset, &probeIOProc, &probe, &proc), kAudioHardwareNoError);
    ASSERT_EQ(AudioDeviceStart(headset, proc), kAudioHardwareNoError);
    ASSERT_TRUE(server->setIOStalled("headset", true));
    time.advance(0.5);
    EXPECT_EQ(probe.calls.load(), 0U);
    ASSERT_TRUE(server->setIOStalled("headset", false));
    time.advance(0.5);
    EXPECT_GT(probe.calls.load(), 40U);
    EXPECT_EQ(AudioDeviceStop(headset, proc), kAudioHardwareNoError);
    EXPECT_EQ(AudioDeviceDestroyIOProcID(headset, proc), kAudioHardwareNoError);
}

TEST_F(SimulatedServerTest, Restart_DestroysTapsAndAggregatesAndRenumbersTheWorld) {
    std::string tapUID;
    const AudioObjectID tap = tapMusic(&tapUID);
    const AudioObjectID aggregate = aggregateOn("headset", tapUID);
    IOProbe probe;
    AudioDeviceIOProcID proc = nullptr;
    ASSERT_EQ(AudioDeviceCreateIOProcID(aggregate, &probeIOProc, &probe, &proc), kAudioHardwareNoError);
    ASSERT_EQ(AudioDeviceStart(aggregate, proc), kAudioHardwareNoError);
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
    tapMusic(&tapUID);
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
    tapMusic(&tapUID);
    CFDictionaryRef description = routeDescription("test.failing", "headset", tapUID);
    AudioObjectID aggregate = 0;
    EXPECT_EQ(AudioHardwareCreateAggregateDevice(description, &aggregate), kAudioHardwareUnspecifiedError);
    EXPECT_EQ(AudioHardwareCreateAggregateDevice(description, &aggregate), kAudioHardwareUnspecifiedError);
    server->clearInjectedFailures();
    EXPECT_EQ(AudioHardwareCreateAggregateDevice(description, &aggregate), kAudioHardwareNoError);
    CFRelease(description);
}

TEST_F(SimulatedServerTest, MalformedAggregateDescription_IsRefused) {
    std::string tapUID;
    tapMusic(&tapUID);
    CFDictionaryRef unknownDevice = routeDescription("test.unknown", "nowhere", tapUID);
    CFDictionaryRef unknownTap = routeDescription("test.no-tap", "headset", "NOT-A-TAP");
    AudioObjectID aggregate = 0;
    EXPECT_EQ(AudioHardwareCreateAggregateDevice(unknownDevice, &aggregate), kAudioHardwareIllegalOperationError);
    EXPECT_EQ(AudioHardwareCreateAggregateDevice(unknownTap, &aggregate), kAudioHardwareIllegalOperationError);
    CFMutableDictionaryRef wrongType =
        CFDictionaryCreateMutable(kCFAllocatorDefault, 0, &kCFTypeDictionaryKeyCallBacks, &kCFTypeDictionaryValueCallBacks);
    const SInt32 number = 7;
    CFNumberRef seven = CFNumberCreate(kCFAllocatorDefault, kCFNumberSInt32Type, &number);
    CFStringRef key = CFStringCreateWithUTF8("uid");
    CFDictionarySetValue(wrongType, key, seven);
    EXPECT_EQ(AudioHardwareCreateAggregateDevice(wrongType, &aggregate), kAudio_ParamError);
    EXPECT_EQ(server->aggregateDeviceCount(), 0U);
    CFRelease(key);
    CFRelease(seven);
    CFRelease(wrongType);
    CFRelease(unknownDevice);
    CFRelease(unknownTap);
}

TEST_F(SimulatedServerTest, DefaultInputWrite_ChangesAndNotifiesOnlyValidDevices) {
    const auto address = kGlobal(kAudioHardwarePropertyDefaultInputDevice);
    const AudioObjectID headset = idOf("headset");
    EXPECT_EQ(AudioObjectSetPropertyData(kAudioObjectSystemObject, &address, 0, nullptr, sizeof(headset), &headset),
              kAudioHardwareNoError);
    UInt32 current = 0;
    EXPECT_EQ(readValue(kAudioObjectSystemObject, kAudioHardwarePropertyDefaultInputDevice, current), kAudioHardwareNoError);
    EXPECT_EQ(current, headset);
    const AudioObjectID speakers = idOf("speakers");
    EXPECT_EQ(AudioObjectSetPropertyData(kAudioObjectSystemObject, &address, 0, nullptr, sizeof(speakers), &speakers),
              kAudioHardwareIllegalOperationError);
    const UInt16 shortValue = 1;
    EXPECT_EQ(AudioObjectSetPropertyData(kAudioObjectSystemObject, &address, 0, nullptr, sizeof(shortValue), &shortValue),
              kAudioHardwareBadPropertySizeError);
}

TEST_F(SimulatedServerTest, SleepAndWake_ReachWorkspaceObserversUntilRemoved) {
    std::vector<std::string> heard;
    const auto sleepToken = server->addWorkspaceObserver(WorkspaceNotification::willSleep, [&] { heard.push_back("sleep"); });
    const auto wakeToken = server->addWorkspaceObserver(WorkspaceNotification::didWake, [&] { heard.push_back("wake"); });
    server->sleep();
    server->wake();
    server->removeWorkspaceObserver(sleepToken);
    server->removeWorkspaceObserver(wakeToken);
    server->sleep();
    EXPECT_EQ(heard, (std::vector<std::string>{"sleep", "wake"}));
    EXPECT_EQ(server->workspaceObserverCount(), 0U);
}

TEST_F(SimulatedServerTest, RunningApplications_HaveRealBundleFolders) {
    const auto applications = server->runningApplications();
    ASSERT_EQ(applications.size(), 1U);
    EXPECT_EQ(applications[0].processIdentifier, kMusicPid);
    EXPECT_EQ(applications[0].localizedName, "Melody");
    ASSERT_TRUE(applications[0].bundleURL);
    EXPECT_TRUE(std::filesystem::exists(*applications[0].bundleURL / "Contents" / "Info.plist"));
    const auto folder = applications[0].bundleURL->parent_path();
    server.reset();
    EXPECT_FALSE(std::filesystem::exists(folder));
}

}  // namespace
}  // namespace sim
