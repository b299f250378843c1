#include "engine/RouteAggregateDescription.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "hal/PropertyListValues.h"
#include "platform/foundation/UUID.h"

namespace tonvale {
namespace {

std::vector<std::string> keysOf(const void* dictionary) {
    const auto* map = static_cast<CFDictionaryRef>(dictionary);
    std::vector<const void*> keys(static_cast<std::size_t>(CFDictionaryGetCount(map)));
    std::vector<const void*> values(keys.size());
    CFDictionaryGetKeysAndValues(map, keys.data(), values.data());
    std::vector<std::string> texts;
    for (const void* key : keys) {
        texts.push_back(CFStringGetUTF8(static_cast<CFStringRef>(key)));
    }
    return texts;
}

const void* valueAt(const void* dictionary, const char* key) {
    return CFDictionaryGetValueForUTF8Key(static_cast<CFDictionaryRef>(dictionary), key);
}
std::string textAt(const void* dictionary, const char* key) {
    return propertyListText(valueAt(dictionary, key)).value_or("<missing>");
}
const void* itemAt(const void* dictionary, const char* key, CFIndex index) {
    return CFArrayGetValueAtIndex(static_cast<CFArrayRef>(valueAt(dictionary, key)), index);
}
CFIndex countAt(const void* dictionary, const char* key) {
    return CFArrayGetCount(static_cast<CFArrayRef>(valueAt(dictionary, key)));
}

class RouteAggregateDescriptionTest : public ::testing::Test {};

TEST_F(RouteAggregateDescriptionTest, PlainDestination_HasSevenEntriesAroundOneTap) {
    const ValidatedDestination plain{{{"headset", std::nullopt, std::nullopt, std::nullopt, std::nullopt, false}},
                                     "headset", std::nullopt, std::nullopt};
    const auto description = routeAggregateDescription("com.zelkor.tonvale.route.X", "TAP-UID", plain);
    const void* map = description.get();
    EXPECT_EQ(keysOf(map), (std::vector<std::string>{"name", "uid", "private", "tapautostart", "master", "subdevices",
                                                     "taps"}));
    EXPECT_EQ(textAt(map, "name"), "Tonvale Private Route");
    EXPECT_EQ(textAt(map, "uid"), "com.zelkor.tonvale.route.X");
    EXPECT_EQ(valueAt(map, "private"), kCFBooleanTrue);
    EXPECT_EQ(valueAt(map, "tapautostart"), kCFBooleanTrue);
    EXPECT_EQ(textAt(map, "master"), "headset");
    ASSERT_EQ(countAt(map, "subdevices"), 1);
    EXPECT_EQ(keysOf(itemAt(map, "subdevices", 0)), (std::vector<std::string>{"uid", "channels-in"}))
        << "the route never opens the output's own inputs";
    EXPECT_EQ(propertyListInteger(valueAt(itemAt(map, "subdevices", 0), "channels-in")), 0);
    ASSERT_EQ(countAt(map, "taps"), 1);
    EXPECT_EQ(keysOf(itemAt(map, "taps", 0)), std::vector<std::string>{"uid"});
    EXPECT_EQ(textAt(itemAt(map, "taps", 0), "uid"), "TAP-UID");
}

TEST_F(RouteAggregateDescriptionTest, AggregateDestination_AddsClockAndStackedAfterTheTaps) {
    const ValidatedDestination multi{{{"speakers", 2, 0U, std::nullopt, std::nullopt, true},
                                      {"headset", std::nullopt, 1U, 127U, 0.002, true}},
                                     "headset", "speakers", false};
    const auto description = routeAggregateDescription("route", "tap", multi);
    const void* map = description.get();
    EXPECT_EQ(keysOf(map), (std::vector<std::string>{"name", "uid", "private", "tapautostart", "master", "subdevices",
                                                     "taps", "clock", "stacked"}));
    EXPECT_EQ(textAt(map, "master"), "headset");
    EXPECT_EQ(textAt(map, "clock"), "speakers");
    EXPECT_EQ(valueAt(map, "stacked"), kCFBooleanFalse);
    ASSERT_EQ(countAt(map, "subdevices"), 2);
    EXPECT_EQ(textAt(itemAt(map, "subdevices", 0), "uid"), "speakers");
    EXPECT_EQ(keysOf(itemAt(map, "subdevices", 1)),
              (std::vector<std::string>{"uid", "channels-in", "drift", "drift quality", "latency-out"}));
}

TEST_F(RouteAggregateDescriptionTest, NewUIDs_AreFreshUpperCaseUUIDsUnderTheRoutePrefix) {
    const std::string first = newRouteAggregateUID();
    const std::string prefix = "com.zelkor.tonvale.route.";
    ASSERT_EQ(first.substr(0, prefix.size()), prefix);
    const auto uuid = foundation::UUID::parse(first.substr(prefix.size()));
    ASSERT_TRUE(uuid.has_value());
    EXPECT_EQ(prefix + uuid->uuidString(), first);
    EXPECT_NE(newRouteAggregateUID(), first);
}

}  // namespace
}  // namespace tonvale
