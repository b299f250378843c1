// Destination validation: which devices a route may play to and how an aggregate's composition
// becomes the route's sub-devices, unusable values in it included. How a sub-device is written
// back is seen whole by the route aggregate description's test.
#include "hal/DestinationValidation.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "tests/hal/PropertyLists.h"
#include "tests/hal/SimulatedWorld.h"

namespace tonvale {
namespace {

using namespace testing;

// A route output "uid", inputs suppressed, with the given further settings.
RouteSubdeviceConfiguration output(std::string uid, std::optional<std::int64_t> channels = std::nullopt,
                                   std::optional<UInt32> drift = std::nullopt) {
    return {std::move(uid), channels, drift, std::nullopt, std::nullopt, true};
}

HALResult<ValidatedDestination> composeAggregate(const PropertyList& composition) {
    return readAggregateComposition("agg", kAudioDeviceTransportTypeAggregate, asDictionary(composition));
}

TEST(DestinationValidationTest, Destinations_AreCheckedAndLaidOutForARoute) {
    sim::Scenario desk;
    desk.devices = {outputDevice("speakers", "Speakers", kAudioDeviceTransportTypeBuiltIn),
                    outputDevice("headset", "Headset"), inputDevice("mic", "Microphone"),
                    outputDevice("airplay", "Living Room", kAudioDeviceTransportTypeAirPlay),
                    outputDevice("dead", "Dead")};
    desk.aggregates = {
        {.uid = "multi",
         .name = "Multi-Output Device",
         .subdevices = {{"mic", 0, std::nullopt}, {"headset", 2, -1}, {"speakers", std::nullopt, 5000000000}},
         .mainSubdeviceUID = "mic",
         .clockDeviceUID = "speakers",
         .isStacked = true}};
    SimulatedWorld world(desk);
    ASSERT_TRUE(world.server().killDevice("dead"));

    EXPECT_EQ(validateDestination("headset").value(),
              (ValidatedDestination{{RouteSubdeviceConfiguration{"headset"}}, "headset", std::nullopt, std::nullopt}))
        << "a plain device is its own only sub-device, inputs kept";
    // The layer fills in the speakers' own channel count; drift is clamped to 32 bits.
    EXPECT_EQ(
        validateDestination("multi").value(),
        (ValidatedDestination{{output("headset", 2, 0), output("speakers", 2, std::numeric_limits<UInt32>::max())},
                              "headset",
                              "speakers",
                              true}))
        << "an aggregate copies its output sub-devices only";
    for (const char* uid : {"airplay", "dead", "mic"}) {
        EXPECT_EQ(validateDestination(uid).error().description(),
                  "The selected destination is not an available output.")
            << uid;
    }
}

TEST(AggregateCompositionTest, UnusableSubdevices_AreMissingOrInvalid) {
    EXPECT_EQ(readAggregateComposition("agg", kAudioDeviceTransportTypeAggregate, nullptr).error().description(),
              "Read selected aggregate output composition returned no value");
    for (const PropertyList& composition :
         {dictionary({{"master", text("a")}}), dictionary({{"subdevices", dictionary({{"uid", text("a")}})}}),
          dictionary({{"subdevices", array({dictionary({{"uid", text("a")}}), text("b")})}})}) {
        EXPECT_EQ(composeAggregate(composition).error(),
                  AudioHALError::missingValue("Read selected aggregate output composition"));
    }
    EXPECT_EQ(composeAggregate(
                  dictionary({{"subdevices",
                               array({dictionary({{"uid", text("mic")}, {"channels-out", integer(0)}}),
                                      dictionary({{"uid", text("")}}), dictionary({{"channels-out", integer(2)}})})}}))
                  .error()
                  .description(),
              "The selected aggregate device has no configured output subdevices.");
}

TEST(RouteSubdeviceConfigurationTest, Parse_NeedsAUIDAndOutputsAndTakesOnlyUsableSettings) {
    const auto inf = std::numeric_limits<double>::infinity();
    RouteSubdeviceConfiguration full = output("a", std::nullopt, 0);
    full.driftCompensationQuality = 4294967295U;
    full.extraOutputLatency = 12.0;
    RouteSubdeviceConfiguration odd = output("a");
    odd.driftCompensationQuality = 1;
    const struct {
        PropertyListEntries entries;
        std::optional<RouteSubdeviceConfiguration> expected;
    } cases[] = {
        {{}, std::nullopt},
        {{{"uid", text("")}}, std::nullopt},
        {{{"uid", text("a")}, {"channels-out", real(2.9)}}, output("a", 2)},
        {{{"uid", text("a")}, {"channels-out", real(1e30)}}, output("a", std::numeric_limits<std::int64_t>::max())},
        {{{"uid", text("a")}, {"channels-out", real(0.4)}}, std::nullopt},
        {{{"uid", text("a")},
          {"channels-in", integer(4)},
          {"drift", integer(-1)},
          {"drift quality", integer(5000000000)},
          {"latency-out", integer(12)}},
         full},
        {{{"uid", text("a")},
          {"drift", real(std::nan(""))},
          {"drift quality", boolean(true)},
          {"latency-out", text("1")}},
         odd},
        {{{"uid", text("a")}, {"latency-out", real(inf)}}, output("a")},
    };
    for (const auto& testCase : cases) {
        EXPECT_EQ(parseSubdevice(asDictionary(dictionary(testCase.entries))), testCase.expected)
            << shown(dictionary(testCase.entries).get());
    }
    EXPECT_EQ(parseSubdevice(nullptr), std::nullopt);
    EXPECT_EQ(parseSubdevice(asDictionary(text("not a map"))), std::nullopt);
}

}  // namespace
}  // namespace tonvale
