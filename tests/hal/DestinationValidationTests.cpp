#include "hal/DestinationValidation.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "hal/PropertyListValues.h"
#include "tests/hal/PropertyLists.h"
#include "tests/hal/SimulatedWorld.h"

namespace tonvale {
namespace {

using namespace testing;

RouteSubdeviceConfiguration copiedSubdevice(std::string uid) {
    RouteSubdeviceConfiguration configuration;
    configuration.uid = std::move(uid);
    configuration.suppressInputChannels = true;
    return configuration;
}

class DestinationValidationTest : public ::testing::Test {
protected:
    static sim::Scenario desk() {
        sim::Scenario scenario;
        scenario.devices = {outputDevice("speakers", "Speakers", kAudioDeviceTransportTypeBuiltIn),
                            outputDevice("headset", "Headset"), inputDevice("mic", "Microphone"),
                            outputDevice("airplay", "Living Room", kAudioDeviceTransportTypeAirPlay)};
        sim::ScenarioAggregate multiOutput;
        multiOutput.uid = "multi";
        multiOutput.name = "Multi-Output Device";
        multiOutput.subdevices = {sim::ScenarioSubdevice{"mic", 0, std::nullopt},
                                  sim::ScenarioSubdevice{"headset", 2, -1},
                                  sim::ScenarioSubdevice{"speakers", std::nullopt, 5000000000}};
        multiOutput.mainSubdeviceUID = "mic";
        multiOutput.clockDeviceUID = "speakers";
        multiOutput.isStacked = true;
        scenario.aggregates = {multiOutput};
        return scenario;
    }
};

TEST_F(DestinationValidationTest, PlainDevice_IsItsOwnOnlySubdeviceWithInputsKept) {
    SimulatedWorld world(desk());

    const auto destination = validateDestination("headset");

    ASSERT_TRUE(destination);
    const ValidatedDestination expected{{RouteSubdeviceConfiguration{"headset"}}, "headset", std::nullopt,
                                        std::nullopt};
    EXPECT_EQ(destination.value(), expected);
}

TEST_F(DestinationValidationTest, UnpluggedDevice_IsNoLongerAvailableEvenWithSameNamePresent) {
    sim::Scenario scenario = desk();
    scenario.devices.push_back(outputDevice("headset-2", "Headset"));
    SimulatedWorld world(scenario);
    ASSERT_TRUE(world.server().unplugDevice("headset"));

    const auto destination = validateDestination("headset");

    ASSERT_FALSE(destination);
    EXPECT_EQ(destination.error(), AudioHALError::invalidSelection("The selected output is no longer available."));
}

TEST_F(DestinationValidationTest, AirPlayDeadOrInputOnly_IsNotAnAvailableOutput) {
    SimulatedWorld world(desk());
    ASSERT_TRUE(world.server().killDevice("speakers"));

    for (const char* uid : {"airplay", "speakers", "mic"}) {
        const auto destination = validateDestination(uid);
        ASSERT_FALSE(destination) << uid;
        EXPECT_EQ(destination.error().description(), "The selected destination is not an available output.") << uid;
    }
}

TEST_F(DestinationValidationTest, UnreadableDeviceList_FailsWithCatalogueError) {
    SimulatedWorld world(desk());
    world.failRead(kAudioHardwarePropertyDevices, kAudioObjectSystemObject, kAudioHardwareNotRunningError,
                   sim::Call::getPropertyDataSize);

    const auto destination = validateDestination("headset");

    ASSERT_FALSE(destination);
    EXPECT_EQ(destination.error().description(), "Size Core Audio property 'dev#' failed: 'stop' (1937010544)");
}

TEST_F(DestinationValidationTest, MultiOutputAggregate_CopiesOutputSubdevicesOnly) {
    SimulatedWorld world(desk());

    const auto destination = validateDestination("multi");

    ASSERT_TRUE(destination);
    RouteSubdeviceConfiguration headset = copiedSubdevice("headset");
    headset.outputChannels = 2;
    headset.driftCompensation = 0;
    RouteSubdeviceConfiguration speakers = copiedSubdevice("speakers");
    speakers.outputChannels = 2;  // the layer fills in the device's own count
    speakers.driftCompensation = std::numeric_limits<UInt32>::max();
    const ValidatedDestination expected{{headset, speakers}, "headset", "speakers", true};
    EXPECT_EQ(destination.value(), expected);
}

TEST_F(DestinationValidationTest, UnreadableComposition_FailsWithDictionaryError) {
    SimulatedWorld world(desk());
    world.failRead(kAudioAggregateDevicePropertyComposition, world.deviceID("multi"), kAudioHardwareBadObjectError);

    const auto destination = validateDestination("multi");

    ASSERT_FALSE(destination);
    EXPECT_EQ(destination.error().description(), "Read Core Audio dictionary 'acom' failed: '!obj' (560947818)");
}

class AggregateCompositionTest : public ::testing::Test {};

TEST_F(AggregateCompositionTest, NonAggregateTransport_IsPlainWhateverTheComposition) {
    const auto destination = readAggregateComposition("usb", kAudioDeviceTransportTypeUSB, nullptr);

    ASSERT_TRUE(destination);
    EXPECT_EQ(destination.value().subdevices, std::vector<RouteSubdeviceConfiguration>{{"usb"}});
    EXPECT_EQ(destination.value().mainSubdeviceUID, "usb");
}

TEST_F(AggregateCompositionTest, UnusableSubdeviceList_IsMissingValue) {
    const std::vector<PropertyList> compositions{
        dictionary({}),
        dictionary({{"master", text("a")}}),
        dictionary({{"subdevices", text("a")}}),
        dictionary({{"subdevices", dictionary({{"uid", text("a")}})}}),
        dictionary({{"subdevices", array({dictionary({{"uid", text("a")}}), text("b")})}}),
    };
    const auto absent = readAggregateComposition("agg", kAudioDeviceTransportTypeAggregate, nullptr);
    ASSERT_FALSE(absent);
    EXPECT_EQ(absent.error().description(), "Read selected aggregate output composition returned no value");
    for (const PropertyList& composition : compositions) {
        const auto destination =
            readAggregateComposition("agg", kAudioDeviceTransportTypeAggregate, asDictionary(composition));
        ASSERT_FALSE(destination);
        EXPECT_EQ(destination.error(), AudioHALError::missingValue("Read selected aggregate output composition"));
    }
}

TEST_F(AggregateCompositionTest, NoSubdeviceWithOutput_IsInvalidSelection) {
    const PropertyList composition = dictionary(
        {{"subdevices", array({dictionary({{"uid", text("mic")}, {"channels-out", integer(0)}}),
                               dictionary({{"uid", text("")}}), dictionary({{"channels-out", integer(2)}})})}});

    const auto destination =
        readAggregateComposition("agg", kAudioDeviceTransportTypeAggregate, asDictionary(composition));

    ASSERT_FALSE(destination);
    EXPECT_EQ(destination.error().description(), "The selected aggregate device has no configured output subdevices.");
}

TEST_F(AggregateCompositionTest, MainClockAndStacked_TakenOnlyWhenUsable) {
    const PropertyList subdevices = array({dictionary({{"uid", text("a")}}), dictionary({{"uid", text("b")}})});
    const PropertyList named = dictionary({{"subdevices", subdevices},
                                           {"master", text("b")},
                                           {"clock", text("a")},
                                           {"stacked", integer(1)}});
    const PropertyList wrongTypes = dictionary(
        {{"subdevices", subdevices}, {"master", integer(3)}, {"clock", integer(4)}, {"stacked", text("yes")}});
    const PropertyList unstacked = dictionary({{"subdevices", subdevices}, {"stacked", boolean(false)}});
    const PropertyList notANumber = dictionary({{"subdevices", subdevices}, {"stacked", real(std::nan(""))}});

    const auto fromNamed = readAggregateComposition("agg", kAudioDeviceTransportTypeAggregate, asDictionary(named));
    const auto fromWrongTypes =
        readAggregateComposition("agg", kAudioDeviceTransportTypeAggregate, asDictionary(wrongTypes));
    const auto fromUnstacked =
        readAggregateComposition("agg", kAudioDeviceTransportTypeAggregate, asDictionary(unstacked));

    ASSERT_TRUE(fromNamed);
    EXPECT_EQ(fromNamed.value().mainSubdeviceUID, "b");
    EXPECT_EQ(fromNamed.value().clockDeviceUID, "a");
    EXPECT_EQ(fromNamed.value().isStacked, true);
    ASSERT_TRUE(fromWrongTypes);
    EXPECT_EQ(fromWrongTypes.value().mainSubdeviceUID, "a");
    EXPECT_EQ(fromWrongTypes.value().clockDeviceUID, std::nullopt);
    EXPECT_EQ(fromWrongTypes.value().isStacked, std::nullopt);
    ASSERT_TRUE(fromUnstacked);
    EXPECT_EQ(fromUnstacked.value().isStacked, false);
    const auto fromNotANumber =
        readAggregateComposition("agg", kAudioDeviceTransportTypeAggregate, asDictionary(notANumber));
    ASSERT_TRUE(fromNotANumber);
    EXPECT_EQ(fromNotANumber.value().isStacked, std::nullopt);
}

class RouteSubdeviceConfigurationTest : public ::testing::Test {};

TEST_F(RouteSubdeviceConfigurationTest, Parse_RequiresUIDText) {
    EXPECT_EQ(parseSubdevice(asDictionary(dictionary({}))), std::nullopt);
    EXPECT_EQ(parseSubdevice(asDictionary(dictionary({{"uid", text("")}}))), std::nullopt);
    EXPECT_EQ(parseSubdevice(asDictionary(dictionary({{"uid", integer(7)}}))), std::nullopt);
    EXPECT_EQ(parseSubdevice(nullptr), std::nullopt);
    EXPECT_EQ(parseSubdevice(asDictionary(text("not a map"))), std::nullopt);
}

TEST_F(RouteSubdeviceConfigurationTest, Parse_OutputChannels) {
    const auto fromText = parseSubdevice(asDictionary(dictionary({{"uid", text("a")}, {"channels-out", text("2")}})));
    const auto fromReal = parseSubdevice(asDictionary(dictionary({{"uid", text("a")}, {"channels-out", real(2.9)}})));
    const auto huge = parseSubdevice(asDictionary(dictionary({{"uid", text("a")}, {"channels-out", real(1e30)}})));

    ASSERT_TRUE(fromText);
    EXPECT_EQ(fromText->outputChannels, std::nullopt);
    ASSERT_TRUE(fromReal);
    EXPECT_EQ(fromReal->outputChannels, 2);
    ASSERT_TRUE(huge);
    EXPECT_EQ(huge->outputChannels, std::numeric_limits<std::int64_t>::max());
    EXPECT_EQ(parseSubdevice(asDictionary(dictionary({{"uid", text("a")}, {"channels-out", integer(-2)}}))),
              std::nullopt);
    EXPECT_EQ(parseSubdevice(asDictionary(dictionary({{"uid", text("a")}, {"channels-out", real(0.4)}}))),
              std::nullopt);
}

TEST_F(RouteSubdeviceConfigurationTest, Parse_DriftClampedToThirtyTwoBitsAndInputsSuppressed) {
    const auto parsed = parseSubdevice(asDictionary(dictionary({{"uid", text("a")},
                                                                {"channels-in", integer(4)},
                                                                {"drift", integer(-1)},
                                                                {"drift quality", integer(5000000000)},
                                                                {"latency-out", integer(12)}})));
    const auto notANumber = parseSubdevice(asDictionary(dictionary(
        {{"uid", text("a")}, {"drift", real(std::nan(""))}, {"drift quality", boolean(true)}, {"latency-out", text("1")}})));

    ASSERT_TRUE(parsed);
    RouteSubdeviceConfiguration expected = copiedSubdevice("a");
    expected.driftCompensation = 0;
    expected.driftCompensationQuality = 4294967295U;
    expected.extraOutputLatency = 12.0;
    EXPECT_EQ(*parsed, expected);
    ASSERT_TRUE(notANumber);
    EXPECT_EQ(notANumber->driftCompensation, std::nullopt);
    EXPECT_EQ(notANumber->driftCompensationQuality, 1U);
    EXPECT_EQ(notANumber->extraOutputLatency, std::nullopt);
    const auto infiniteLatency = parseSubdevice(
        asDictionary(dictionary({{"uid", text("a")}, {"latency-out", real(std::numeric_limits<double>::infinity())}})));
    ASSERT_TRUE(infiniteLatency);
    EXPECT_EQ(infiniteLatency->extraOutputLatency, std::nullopt);
}

std::vector<std::string> keysOf(CFDictionaryRef dictionary) {
    const auto count = static_cast<std::size_t>(CFDictionaryGetCount(dictionary));
    std::vector<const void*> keys(count);
    std::vector<const void*> values(count);
    CFDictionaryGetKeysAndValues(dictionary, keys.data(), values.data());
    std::vector<std::string> names;
    for (const void* key : keys) {
        names.push_back(CFStringGetUTF8(static_cast<CFStringRef>(key)));
    }
    return names;
}

TEST_F(RouteSubdeviceConfigurationTest, Description_ListsPresentSettingsInOrderWithTheirTypes) {
    const RouteSubdeviceConfiguration full{"a", 2, 1, 127, 0.005, true};

    const auto description = subdeviceDescription(full);
    const CFDictionaryRef map = description.get();

    EXPECT_EQ(keysOf(map), (std::vector<std::string>{"uid", "channels-in", "channels-out", "drift", "drift quality",
                                                     "latency-out"}));
    EXPECT_EQ(propertyListText(CFDictionaryGetValueForUTF8Key(map, "uid")), "a");
    EXPECT_EQ(propertyListInteger(CFDictionaryGetValueForUTF8Key(map, "channels-in")), 0);
    EXPECT_EQ(propertyListInteger(CFDictionaryGetValueForUTF8Key(map, "channels-out")), 2);
    EXPECT_EQ(propertyListInteger(CFDictionaryGetValueForUTF8Key(map, "drift")), 1);
    EXPECT_EQ(propertyListInteger(CFDictionaryGetValueForUTF8Key(map, "drift quality")), 127);
    EXPECT_FALSE(CFNumberIsFloatType(static_cast<CFNumberRef>(CFDictionaryGetValueForUTF8Key(map, "drift"))));
    EXPECT_TRUE(CFNumberIsFloatType(static_cast<CFNumberRef>(CFDictionaryGetValueForUTF8Key(map, "latency-out"))));
    EXPECT_EQ(propertyListReal(CFDictionaryGetValueForUTF8Key(map, "latency-out")), 0.005);
}

TEST_F(RouteSubdeviceConfigurationTest, Description_OfPlainDevice_HasOnlyUID) {
    const auto description = subdeviceDescription(RouteSubdeviceConfiguration{"speakers"});

    EXPECT_EQ(keysOf(description.get()), std::vector<std::string>{"uid"});
}

}  // namespace
}  // namespace tonvale
