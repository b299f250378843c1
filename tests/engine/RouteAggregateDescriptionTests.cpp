#include "engine/RouteAggregateDescription.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "hal/PropertyListValues.h"
#include "platform/foundation/UUID.h"

namespace tonvale {
namespace {

std::vector<std::string> keysOf(CFDictionaryRef dictionary) {
    const CFIndex count = CFDictionaryGetCount(dictionary);
    std::vector<const void*> keys(static_cast<std::size_t>(count));
    std::vector<const void*> values(static_cast<std::size_t>(count));
    CFDictionaryGetKeysAndValues(dictionary, keys.data(), values.data());
    std::vector<std::string> texts;
    for (const void* key : keys) {
        texts.push_back(CFStringGetUTF8(static_cast<CFStringRef>(key)));
    }
    return texts;
}

std::string textAt(CFDictionaryRef dictionary, const char* key) {
    return propertyListText(CFDictionaryGetValueForUTF8Key(dictionary, key)).value_or("<missing>");
}

CFDictionaryRef mapAt(CFArrayRef array, CFIndex index) {
    return static_cast<CFDictionaryRef>(CFArrayGetValueAtIndex(array, index));
}

CFArrayRef arrayAt(CFDictionaryRef dictionary, const char* key) {
    return static_cast<CFArrayRef>(CFDictionaryGetValueForUTF8Key(dictionary, key));
}

class RouteAggregateDescriptionTest : public ::testing::Test {};

TEST_F(RouteAggregateDescriptionTest, PlainDestination_HasSevenEntriesAroundOneTap) {
    const ValidatedDestination plain{{{"headset", std::nullopt, std::nullopt, std::nullopt, std::nullopt, false}},
                                     "headset", std::nullopt, std::nullopt};
    const auto description = routeAggregateDescription("com.zelkor.tonvale.route.X", "TAP-UID", plain);
    EXPECT_EQ(keysOf(description.get()), (std::vector<std::string>{"name", "uid", "private", "tapautostart", "master",
                                                                    "subdevices", "taps"}));
    EXPECT_EQ(textAt(description.get(), "name"), "Tonvale Private Route");
    EXPECT_EQ(textAt(description.get(), "uid"), "com.zelkor.tonvale.route.X");
    EXPECT_EQ(CFDictionaryGetValueForUTF8Key(description.get(), "private"), kCFBooleanTrue);
    EXPECT_EQ(CFDictionaryGetValueForUTF8Key(description.get(), "tapautostart"), kCFBooleanTrue);
    EXPECT_EQ(textAt(description.get(), "master"), "headset");

    const CFArrayRef subdevices = arrayAt(description.get(), "subdevices");
    ASSERT_EQ(CFArrayGetCount(subdevices), 1);
    EXPECT_EQ(keysOf(mapAt(subdevices, 0)), (std::vector<std::string>{"uid", "channels-in"}))
        << "the route never opens the output's own inputs";
    EXPECT_EQ(propertyListInteger(CFDictionaryGetValueForUTF8Key(mapAt(subdevices, 0), "channels-in")), 0);

    const CFArrayRef taps = arrayAt(description.get(), "taps");
    ASSERT_EQ(CFArrayGetCount(taps), 1);
    EXPECT_EQ(keysOf(mapAt(taps, 0)), std::vector<std::string>{"uid"});
    EXPECT_EQ(textAt(mapAt(taps, 0), "uid"), "TAP-UID");
}

TEST_F(RouteAggregateDescriptionTest, AggregateDestination_AddsClockAndStackedAfterTheTaps) {
    const ValidatedDestination multi{{{"speakers", 2, 0U, std::nullopt, std::nullopt, true},
                                      {"headset", std::nullopt, 1U, 127U, 0.002, true}},
                                     "headset", "speakers", false};
    const auto description = routeAggregateDescription("route", "tap", multi);
    EXPECT_EQ(keysOf(description.get()), (std::vector<std::string>{"name", "uid", "private", "tapautostart", "master",
                                                                    "subdevices", "taps", "clock", "stacked"}));
    EXPECT_EQ(textAt(description.get(), "master"), "headset");
    EXPECT_EQ(textAt(description.get(), "clock"), "speakers");
    EXPECT_EQ(CFDictionaryGetValueForUTF8Key(description.get(), "stacked"), kCFBooleanFalse);
    const CFArrayRef subdevices = arrayAt(description.get(), "subdevices");
    ASSERT_EQ(CFArrayGetCount(subdevices), 2);
    EXPECT_EQ(textAt(mapAt(subdevices, 0), "uid"), "speakers");
    EXPECT_EQ(keysOf(mapAt(subdevices, 1)),
              (std::vector<std::string>{"uid", "channels-in", "drift", "drift quality", "latency-out"}));
}

TEST_F(RouteAggregateDescriptionTest, NewUIDs_AreFreshUpperCaseUUIDsUnderTheRoutePrefix) {
    const std::string first = newRouteAggregateUID();
    const std::string prefix = "com.zelkor.tonvale.route.";
    ASSERT_EQ(first.substr(0, prefix.size()), prefix);
    const std::string uuid = first.substr(prefix.size());
    EXPECT_EQ(uuid.size(), 36U);
    ASSERT_TRUE(foundation::UUID::parse(uuid).has_value());
    EXPECT_EQ(foundation::UUID::parse(uuid)->uuidString(), uuid);
    EXPECT_NE(newRouteAggregateUID(), first);
}

}  // namespace
}  // namespace tonvale
