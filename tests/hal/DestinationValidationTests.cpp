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

HALResult<ValidatedDestination> composeAggregate(const PropertyList& composition) {
    return readAggregateComposition("agg", kAudioDeviceTransportTypeAggregate, asDictionary(composition));
}

// The sub-device "a" with the given further settings.
std::optional<RouteSubdeviceConfiguration> parseA(PropertyListEntries settings) {
    settings.emplace_back("uid", text("a"));
    return parseSubdevice(asDictionary(dictionary(settings)));
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

    const ValidatedDestination expected{{RouteSubdeviceConfiguration{"headset"}}, "headset", std::nullopt,
                                        std::nullopt};
    EXPECT_EQ(validateDestination("headset").value(), expected);
}

TEST_F(DestinationValidationTest, UnpluggedDevice_IsNoLongerAvailableEvenWithSameNamePresent) {
    sim::Scenario scenario = desk();
    scenario.devices.push_back(outputDevice("headset-2", "Headset"));
    SimulatedWorld world(scenario);
    ASSERT_TRUE(world.server().unplugDevice("headset"));

    EXPECT_EQ(validateDestination("headset").error(),
              AudioHALError::invalidSelection("The selected output is no longer available."));
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

TEST_F(DestinationValidationTest, UnreadableDeviceListOrComposition_FailsWithReaderError) {
    SimulatedWorld world(desk());
    world.failRead(kAudioHardwarePropertyDevices, kAudioObjectSystemObject, kAudioHardwareNotRunningError,
                   sim::Call::getPropertyDataSize);
    EXPECT_EQ(validateDestination("headset").error().description(),
              "Size Core Audio property 'dev#' failed: 'stop' (1937010544)");

    world.failRead(kAudioAggregateDevicePropertyComposition, world.deviceID("multi"), kAudioHardwareBadObjectError);
    EXPECT_EQ(validateDestination("multi").error().description(),
              "Read Core Audio dictionary 'acom' failed: '!obj' (560947818)");
}

TEST_F(DestinationValidationTest, MultiOutputAggregate_CopiesOutputSubdevicesOnly) {
    SimulatedWorld world(desk());

    RouteSubdeviceConfiguration headset = copiedSubdevice("headset");
    headset.outputChannels = 2;
    headset.driftCompensation = 0;
    RouteSubdeviceConfiguration speakers = copiedSubdevice("speakers");
    speakers.outputChannels = 2;  // the layer fills in the device's own count
    speakers.driftCompensation = std::numeric_limits<UInt32>::max();
    const ValidatedDestination expected{{headset, speakers}, "headset", "speakers", true};
    EXPECT_EQ(validateDestination("multi").value(), expected);
}

TEST(AggregateCompositionTest, UnusableSubdeviceList_IsMissingValue) {
    const std::vector<PropertyList> compositions{
        dictionary({}),
        dictionary({{"master", text("a")}}),
        dictionary({{"subdevices", text("a")}}),
        dictionary({{"subdevices", dictionary({{"uid", text("a")}})}}),
        dictionary({{"subdevices", array({dictionary({{"uid", text("a")}}), text("b")})}}),
    };
    EXPECT_EQ(readAggregateComposition("agg", kAudioDeviceTransportTypeAggregate, nullptr).error().description(),
              "Read selected aggregate output composition returned no value");
    for (const PropertyList& composition : compositions) {
        EXPECT_EQ(composeAggregate(composition).error(),
                  AudioHALError::missingValue("Read selected aggregate output composition"));
    }
}

TEST(AggregateCompositionTest, NoSubdeviceWithOutput_IsInvalidSelection) {
    const PropertyList composition = dictionary(
        {{"subdevices", array({dictionary({{"uid", text("mic")}, {"channels-out", integer(0)}}),
                               dictionary({{"uid", text("")}}), dictionary({{"channels-out", integer(2)}})})}});

    EXPECT_EQ(composeAggregate(composition).error().description(),
              "The selected aggregate device has no configured output subdevices.");
}

TEST(AggregateCompositionTest, MainClockAndStacked_TakenOnlyWhenUsable) {
    const PropertyList subdevices = array({dictionary({{"uid", text("a")}}), dictionary({{"uid", text("b")}})});

    const auto named = composeAggregate(dictionary(
        {{"subdevices", subdevices}, {"master", text("b")}, {"clock", text("a")}, {"stacked", integer(1)}}));
    const auto wrongTypes = composeAggregate(dictionary(
        {{"subdevices", subdevices}, {"master", integer(3)}, {"clock", integer(4)}, {"stacked", text("yes")}}));

    EXPECT_EQ(named.value().mainSubdeviceUID, "b");
    EXPECT_EQ(named.value().clockDeviceUID, "a");
    EXPECT_EQ(named.value().isStacked, true);
    EXPECT_EQ(wrongTypes.value().mainSubdeviceUID, "a");
    EXPECT_EQ(wrongTypes.value().clockDeviceUID, std::nullopt);
    EXPECT_EQ(wrongTypes.value().isStacked, std::nullopt);
    EXPECT_EQ(composeAggregate(dictionary({{"subdevices", subdevices}, {"stacked", boolean(false)}})).value().isStacked,
              false);
    EXPECT_EQ(
        composeAggregate(dictionary({{"subdevices", subdevices}, {"stacked", real(std::nan(""))}})).value().isStacked,
        std::nullopt);
}

TEST(RouteSubdeviceConfigurationTest, Parse_RequiresUIDText) {
    EXPECT_EQ(parseSubdevice(asDictionary(dictionary({}))), std::nullopt);
    EXPECT_EQ(parseSubdevice(asDictionary(dictionary({{"uid", text("")}}))), std::nullopt);
    EXPECT_EQ(parseSubdevice(asDictionary(dictionary({{"uid", integer(7)}}))), std::nullopt);
    EXPECT_EQ(parseSubdevice(nullptr), std::nullopt);
    EXPECT_EQ(parseSubdevice(asDictionary(text("not a map"))), std::nullopt);
}

TEST(RouteSubdeviceConfigurationTest, Parse_OutputChannels) {
    EXPECT_EQ(parseA({{"channels-out", text("2")}}).value().outputChannels, std::nullopt);
    EXPECT_EQ(parseA({{"channels-out", real(2.9)}}).value().outputChannels, 2);
    EXPECT_EQ(parseA({{"channels-out", real(1e30)}}).value().outputChannels,
              std::numeric_limits<std::int64_t>::max());
    EXPECT_EQ(parseA({{"channels-out", integer(-2)}}), std::nullopt);
    EXPECT_EQ(parseA({{"channels-out", real(0.4)}}), std::nullopt);
}

TEST(RouteSubdeviceConfigurationTest, Parse_DriftClampedToThirtyTwoBitsAndInputsSuppressed) {
    const auto parsed = parseA({{"channels-in", integer(4)},
                                {"drift", integer(-1)},
                                {"drift quality", integer(5000000000)},
                                {"latency-out", integer(12)}});
    const auto notANumber =
        parseA({{"drift", real(std::nan(""))}, {"drift quality", boolean(true)}, {"latency-out", text("1")}});

    RouteSubdeviceConfiguration expected = copiedSubdevice("a");
    expected.driftCompensation = 0;
    expected.driftCompensationQuality = 4294967295U;
    expected.extraOutputLatency = 12.0;
    EXPECT_EQ(parsed.value(), expected);
    EXPECT_EQ(notANumber.value().driftCompensation, std::nullopt);
    EXPECT_EQ(notANumber.value().driftCompensationQuality, 1U);
    EXPECT_EQ(notANumber.value().extraOutputLatency, std::nullopt);
    EXPECT_EQ(parseA({{"latency-out", real(std::numeric_limits<double>::infinity())}}).value().extraOutputLatency,
              std::nullopt);
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

TEST(RouteSubdeviceConfigurationTest, Description_ListsPresentSettingsInOrderWithTheirTypes) {
    const auto description = subdeviceDescription(RouteSubdeviceConfiguration{"a", 2, 1, 127, 0.005, true});
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
    EXPECT_EQ(keysOf(subdeviceDescription(RouteSubdeviceConfiguration{"speakers"}).get()),
              std::vector<std::string>{"uid"});
}

}  // namespace
}  // namespace tonvale
