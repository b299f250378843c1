// The description a route's aggregate is made from, whole: the simulated server ignores its
// privacy, tap start and clock, so only this comparison sees them. Fresh route UIDs under
// their prefix are met by the end-to-end tests, which find and run several routes at once.
#include "engine/RouteAggregateDescription.h"

#include <gtest/gtest.h>

#include <string>

#include "tests/hal/PropertyLists.h"

namespace tonvale {
namespace {

using testing::shown;

TEST(RouteAggregateDescriptionTest, PlainOrAggregateDestination_TapsAndCopiesItsOutputsClockAndStackedLast) {
    const ValidatedDestination plain{{{"headset", std::nullopt, std::nullopt, std::nullopt, std::nullopt, false}},
                                     "headset",
                                     std::nullopt,
                                     std::nullopt};
    EXPECT_EQ(shown(routeAggregateDescription("com.zelkor.tonvale.route.X", "TAP-UID", plain).get()),
              "{name: 'Tonvale Private Route', uid: 'com.zelkor.tonvale.route.X', private: true, tapautostart: true, "
              "master: 'headset', subdevices: [{uid: 'headset', channels-in: 0}], taps: [{uid: 'TAP-UID'}]}");

    const ValidatedDestination multi{
        {{"speakers", 2, 0U, std::nullopt, std::nullopt, true}, {"headset", std::nullopt, 1U, 127U, 0.002, true}},
        "headset",
        "speakers",
        false};
    EXPECT_EQ(shown(routeAggregateDescription("route", "tap", multi).get()),
              "{name: 'Tonvale Private Route', uid: 'route', private: true, tapautostart: true, master: 'headset', "
              "subdevices: [{uid: 'speakers', channels-in: 0, channels-out: 2, drift: 0}, {uid: 'headset', "
              "channels-in: 0, drift: 1, drift quality: 127, latency-out: 0.002}], taps: [{uid: 'tap'}], "
              "clock: 'speakers', stacked: false}");
}

}  // namespace
}  // namespace tonvale
