// The device and process catalogues on the simulated server: their order, what an unreadable
// property costs, and the memory a broken list answer may take.
// Each record's fields as printed are pinned by the program's diagnostics tests.
#include <gtest/gtest.h>

#include <unistd.h>

#include "hal/AudioDeviceCatalogue.h"
#include "hal/AudioProcessCatalogue.h"
#include "tests/hal/MockAudioHardwareService.h"
#include "tests/hal/SimulatedWorld.h"

namespace tonvale {
namespace {

using namespace testing;

template <typename Record, typename Field>
auto fieldsOf(const std::vector<Record>& records, Field field) {
    std::vector<std::decay_t<decltype(records.front().*field)>> fields;
    for (const Record& record : records) {
        fields.push_back(record.*field);
    }
    return fields;
}

sim::Scenario desk() {
    sim::Scenario scenario;
    // Listed "a" before "A", whose UID sorts first: only a stable case-insensitive sort keeps them so.
    scenario.devices = {outputDevice("usb-b", "b"), outputDevice("usb-lower-a", "a"),
                        outputDevice("usb-capital-a", "A"), inputDevice("mic", "Microphone"),
                        inputDevice("mic-2", "Second Microphone")};
    scenario.devices[0].sampleRate = 44100.0;
    scenario.defaultOutputUID = "usb-lower-a";
    scenario.defaultInputUID = "mic";
    return scenario;
}

TEST(AudioDeviceCatalogueTest, Devices_SortByNameCaseInsensitivelyAndStably) {
    SimulatedWorld world(desk());
    EXPECT_EQ(fieldsOf(enumerateDevices().value(), &AudioDeviceInfo::name),
              (std::vector<std::string>{"a", "A", "b", "Microphone", "Second Microphone"}));
}

TEST(AudioDeviceCatalogueTest, UnreadableProperties_SkipTheDeviceOrGiveTheirDefaults) {
    SimulatedWorld world(desk());
    world.failRead(kAudioDevicePropertyDeviceUID, world.deviceID("usb-capital-a"));
    world.failRead(kAudioObjectPropertyName, world.deviceID("mic"));
    const AudioObjectID device = world.deviceID("usb-b");
    for (const auto selector : {kAudioDevicePropertyTransportType, kAudioDevicePropertyDeviceIsAlive,
                                kAudioDevicePropertyNominalSampleRate}) {
        world.failRead(selector, device);
    }
    world.failRead(kAudioDevicePropertyStreams, device, kAudioHardwareBadObjectError, sim::Call::getPropertyDataSize);

    const auto devices = enumerateDevices().value();
    EXPECT_EQ(fieldsOf(devices, &AudioDeviceInfo::name), (std::vector<std::string>{"a", "b", "Second Microphone"}));
    EXPECT_EQ(devices.at(1), (AudioDeviceInfo{device, "usb-b", "b", 0, false, false, false, std::nullopt}));
}

// Unreadable: the identifier of 30 (its app's taken), the PID of 40 (left out), the running flags of 41 (false).
TEST(AudioProcessCatalogueTest, Processes_PlayingFirstThenByNameWithIdentityNameAndUnreadableFallbacks) {
    sim::ScenarioProcess unreadableID = audioProcess(30, std::nullopt, "Helper");
    unreadableID.application->bundleID = "com.example.helper";
    sim::Scenario scenario;
    scenario.processes = {audioProcess(10, "com.example.a", "aardvark"),
                          audioProcess(11, "com.example.z", "Zither", true),
                          audioProcess(12, "com.example.b", "Banjo"),
                          audioProcess(13, "com.example.m", "mandolin", true),
                          unreadableID,
                          audioProcess(40, "com.example.gone", "Gone"),
                          audioProcess(41, "com.example.kept", "Kept", true),
                          audioProcess(311, std::nullopt),
                          audioProcess(::getpid(), std::nullopt)};
    SimulatedWorld world(scenario);
    world.failRead(kAudioProcessPropertyPID, world.processObjectID(40));
    world.failRead(kAudioProcessPropertyIsRunning, world.processObjectID(41));
    world.failRead(kAudioProcessPropertyIsRunningOutput, world.processObjectID(41));

    const auto processes = enumerateProcesses().value();
    EXPECT_EQ(fieldsOf(processes, &AudioProcessInfo::bundleID),
              (std::vector<std::string>{"com.example.m", "com.example.z", "com.example.a", "com.example.b", "",
                                        "com.example.helper", "com.example.kept", ""}));
    EXPECT_EQ(fieldsOf(processes, &AudioProcessInfo::displayName),
              (std::vector<std::string>{"mandolin", "Zither", "aardvark", "Banjo", "hal_tests", "Helper", "Kept",
                                        "Process 311"}));
}

// A broken answer lists 16,384 objects, none of them readable: both catalogues come back
// empty, holding no memory for records they never read.
TEST(CatalogueMemoryTest, BrokenListAnswer_ReservesNoRecordPerListedIdentifier) {
    using namespace ::testing;
    InstalledMockService service;
    EXPECT_CALL(*service, getPropertyDataSize(kAudioObjectSystemObject, _, _))
        .WillRepeatedly(DoAll(SetArgReferee<2>(1U << 16), Return(kAudioHardwareNoError)));
    EXPECT_CALL(*service, getPropertyData(_, _, _, _))
        .WillRepeatedly([](AudioObjectID object, const AudioObjectPropertyAddress&, UInt32&, void*) {
            return object == kAudioObjectSystemObject ? kAudioHardwareNoError : kAudioHardwareBadObjectError;
        });
    const auto devices = enumerateDevices().value();
    const auto processes = enumerateProcesses().value();
    EXPECT_TRUE(devices.empty() && processes.empty());
    EXPECT_LE(devices.capacity(), 1024U);
    EXPECT_LE(processes.capacity(), 1024U);
}

}  // namespace
}  // namespace tonvale
