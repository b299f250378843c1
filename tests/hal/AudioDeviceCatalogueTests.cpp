#include "hal/AudioDeviceCatalogue.h"

#include <gtest/gtest.h>

#include "hal/AudioProcessCatalogue.h"
#include "tests/hal/MockAudioHardwareService.h"
#include "tests/hal/SimulatedWorld.h"

namespace tonvale {
namespace {

using testing::SimulatedWorld;
using testing::inputDevice;
using testing::outputDevice;

std::vector<std::string> namesOf(const std::vector<AudioDeviceInfo>& devices) {
    std::vector<std::string> names;
    for (const AudioDeviceInfo& device : devices) {
        names.push_back(device.name);
    }
    return names;
}

class AudioDeviceCatalogueTest : public ::testing::Test {
protected:
    static sim::Scenario desk() {
        sim::Scenario scenario;
        scenario.devices = {outputDevice("usb-b", "b"), outputDevice("usb-upper-a", "A"),
                            outputDevice("usb-lower-a", "a"), inputDevice("mic", "Microphone")};
        scenario.devices[0].sampleRate = 44100.0;
        scenario.defaultOutputUID = "usb-lower-a";
        scenario.defaultInputUID = "mic";
        return scenario;
    }
};

TEST_F(AudioDeviceCatalogueTest, Names_SortCaseInsensitivelyKeepingEnumerationOrderOfEqualNames) {
    {
        SimulatedWorld world(desk());
        EXPECT_EQ(namesOf(enumerateDevices().value()), (std::vector<std::string>{"A", "a", "b", "Microphone"}));
    }
    sim::Scenario reversed;
    reversed.devices = {outputDevice("1", "b"), outputDevice("2", "a"), outputDevice("3", "A")};
    SimulatedWorld world(reversed);
    EXPECT_EQ(namesOf(enumerateDevices().value()), (std::vector<std::string>{"a", "A", "b"}));
}

TEST_F(AudioDeviceCatalogueTest, Record_CarriesEveryAttributeOfTheDevice) {
    SimulatedWorld world(desk());

    const auto devices = enumerateDevices().value();

    const AudioDeviceInfo expectedB{world.deviceID("usb-b"), "usb-b", "b", kAudioDeviceTransportTypeUSB,
                                    true, false, true, 44100.0};
    const AudioDeviceInfo expectedMicrophone{world.deviceID("mic"), "mic", "Microphone",
                                             kAudioDeviceTransportTypeBuiltIn, false, true, true, 48000.0};
    EXPECT_EQ(devices.at(2), expectedB);
    EXPECT_EQ(devices.at(3), expectedMicrophone);
}

TEST_F(AudioDeviceCatalogueTest, UnreadableUIDOrName_SkipsOnlyThatDevice) {
    SimulatedWorld world(desk());
    world.failRead(kAudioDevicePropertyDeviceUID, world.deviceID("usb-b"));
    world.failRead(kAudioObjectPropertyName, world.deviceID("mic"));

    EXPECT_EQ(namesOf(enumerateDevices().value()), (std::vector<std::string>{"A", "a"}));
}

TEST_F(AudioDeviceCatalogueTest, UnreadableAttributes_GiveTheirDefaults) {
    SimulatedWorld world(desk());
    const AudioObjectID device = world.deviceID("usb-b");
    world.failRead(kAudioDevicePropertyTransportType, device);
    world.failRead(kAudioDevicePropertyDeviceIsAlive, device);
    world.failRead(kAudioDevicePropertyStreams, device, kAudioHardwareBadObjectError, sim::Call::getPropertyDataSize);
    world.failRead(kAudioDevicePropertyNominalSampleRate, device);

    const auto devices = enumerateDevices().value();

    const AudioDeviceInfo expected{device, "usb-b", "b", 0, false, false, false, std::nullopt};
    EXPECT_EQ(devices.at(2), expected);
    EXPECT_EQ(devices.at(2).transportTypeName(), "0x00000000");
}

TEST_F(AudioDeviceCatalogueTest, UnreadableDeviceList_FailsWithItsOperation) {
    SimulatedWorld world(desk());
    world.failRead(kAudioHardwarePropertyDevices, kAudioObjectSystemObject, -50, sim::Call::getPropertyDataSize);

    EXPECT_EQ(enumerateDevices().error().description(), "Size Core Audio property 'dev#' failed: 0xFFFFFFCE (-50)");
}

TEST_F(AudioDeviceCatalogueTest, SetDefaultInputDevice_ChangesInputOnly) {
    sim::Scenario scenario = desk();
    scenario.devices.push_back(inputDevice("mic-2", "Second Microphone"));
    SimulatedWorld world(scenario);
    ASSERT_EQ(readDefaultInputDevice().value(), world.deviceID("mic"));

    const auto result = setDefaultInputDevice(world.deviceID("mic-2"));

    ASSERT_TRUE(result);
    EXPECT_EQ(readDefaultInputDevice().value(), world.deviceID("mic-2"));
    EXPECT_EQ(readDefaultOutputDevice().value(), world.deviceID("usb-lower-a"));
}

TEST_F(AudioDeviceCatalogueTest, SetDefaultInputDevice_Refused_DescribesStatus) {
    SimulatedWorld world(desk());
    world.server().injectFailure(sim::InjectedFailure{sim::Call::setPropertyData, kAudioHardwareIllegalOperationError});

    const auto result = setDefaultInputDevice(world.deviceID("mic"));

    ASSERT_FALSE(result);
    EXPECT_EQ(result.error().description(), "Set default input device failed: 'nope' (1852797029)");
}

// A broken answer lists 16,384 objects, none of them readable: both
// catalogues come back empty, holding no memory for records they never read.
TEST(CatalogueMemoryTest, BrokenListAnswer_ReservesNoRecordPerListedIdentifier) {
    using namespace ::testing;
    tonvale::testing::InstalledMockService service;
    EXPECT_CALL(*service, getPropertyDataSize(kAudioObjectSystemObject, _, _))
        .WillRepeatedly(DoAll(SetArgReferee<2>(1U << 16), Return(kAudioHardwareNoError)));
    EXPECT_CALL(*service, getPropertyData(_, _, _, _))
        .WillRepeatedly([](AudioObjectID object, const AudioObjectPropertyAddress&, UInt32&, void*) {
            return object == kAudioObjectSystemObject ? kAudioHardwareNoError : kAudioHardwareBadObjectError;
        });

    const auto devices = enumerateDevices().value();
    const auto processes = enumerateProcesses().value();

    EXPECT_TRUE(devices.empty());
    EXPECT_LE(devices.capacity(), 1024U);
    EXPECT_TRUE(processes.empty());
    EXPECT_LE(processes.capacity(), 1024U);
}

}  // namespace
}  // namespace tonvale
