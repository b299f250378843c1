#include "state/OutputPreference.h"

#include <gtest/gtest.h>

#include <unordered_set>

namespace tonvale {
namespace {

class OutputPreferenceTest : public ::testing::Test {};

TEST_F(OutputPreferenceTest, Kind_ReadsOnlyItsTwoExactRawValues) {
    EXPECT_EQ(OutputPreference::kindFromRawValue("systemDefault"), OutputPreference::Kind::systemDefault);
    EXPECT_EQ(OutputPreference::kindFromRawValue("device"), OutputPreference::Kind::device);
    for (const char* other : {"", "Device", "systemdefault", "device ", "airplay"}) {
        EXPECT_FALSE(OutputPreference::kindFromRawValue(other).has_value()) << other;
    }
    for (const auto kind : {OutputPreference::Kind::systemDefault, OutputPreference::Kind::device}) {
        EXPECT_EQ(OutputPreference::kindFromRawValue(OutputPreference::rawValue(kind)), kind);
    }
}

TEST_F(OutputPreferenceTest, Equality_NeedsSameCaseAndForDevicesSameUIDAndName) {
    EXPECT_EQ(OutputPreference(), OutputPreference::systemDefault());
    EXPECT_EQ(OutputPreference::device("USB-1", "Headset"), OutputPreference::device("USB-1", "Headset"));
    EXPECT_NE(OutputPreference::device("USB-1", "Headset"), OutputPreference::device("USB-1", "Old Headset"));
    EXPECT_NE(OutputPreference::device("USB-1", "Headset"), OutputPreference::device("USB-2", "Headset"));
    EXPECT_NE(OutputPreference::device("", ""), OutputPreference::systemDefault());

    const std::unordered_set<OutputPreference> distinct{
        OutputPreference::systemDefault(), OutputPreference::device("", ""), OutputPreference::device("USB-1", "A"),
        OutputPreference::device("USB-1", "B"), OutputPreference::device("A", "USB-1")};
    EXPECT_EQ(distinct.size(), 5U);
}

TEST_F(OutputPreferenceTest, SelectedDevice_IsAbsentForSystemDefault) {
    EXPECT_EQ(OutputPreference::systemDefault().selectedDevice(), nullptr);
    const OutputPreference device = OutputPreference::device("USB-1", "Headset");
    ASSERT_NE(device.selectedDevice(), nullptr);
    EXPECT_EQ(device.selectedDevice()->uid, "USB-1");
    EXPECT_EQ(device.selectedDevice()->lastKnownName, "Headset");
    EXPECT_EQ(device.kind(), OutputPreference::Kind::device);
}

}  // namespace
}  // namespace tonvale
