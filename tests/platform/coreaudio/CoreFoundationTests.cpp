// The Core Foundation values the audio layer reads: numbers that keep integers and reals
// apart, and maps that keep their order and own what they hold.
#include "platform/coreaudio/CoreFoundation.h"

#include <gtest/gtest.h>

namespace {

class CoreFoundationTest : public ::testing::Test {
protected:
    static CFNumberRef integer(SInt64 value) {
        return CFNumberCreate(kCFAllocatorDefault, kCFNumberSInt64Type, &value);
    }
    static CFNumberRef real(Float64 value) { return CFNumberCreate(kCFAllocatorDefault, kCFNumberFloat64Type, &value); }
};

TEST_F(CoreFoundationTest, Numbers_KeepIntegersAndFloatsApart) {
    CFNumberRef whole = integer(5000000000);
    CFNumberRef fraction = real(0.25);
    EXPECT_FALSE(CFNumberIsFloatType(whole));
    EXPECT_TRUE(CFNumberIsFloatType(fraction));
    SInt32 narrow = 0;
    EXPECT_FALSE(CFNumberGetValue(whole, kCFNumberSInt32Type, &narrow));
    SInt64 wide = 0;
    EXPECT_TRUE(CFNumberGetValue(whole, kCFNumberSInt64Type, &wide));
    EXPECT_EQ(wide, 5000000000);
    EXPECT_FALSE(CFNumberGetValue(fraction, kCFNumberSInt64Type, &wide));
    EXPECT_EQ(wide, 0);
    Float64 value = 0;
    EXPECT_TRUE(CFNumberGetValue(fraction, kCFNumberFloat64Type, &value));
    EXPECT_EQ(value, 0.25);
    CFRelease(whole);
    CFRelease(fraction);
}

TEST_F(CoreFoundationTest, Dictionary_KeepsInsertionOrderAndReplacesInPlace) {
    CFMutableDictionaryRef map = CFDictionaryCreateMutable(kCFAllocatorDefault, 0, &kCFTypeDictionaryKeyCallBacks,
                                                           &kCFTypeDictionaryValueCallBacks);
    CFStringRef keys[] = {CFStringCreateWithUTF8("name"), CFStringCreateWithUTF8("uid"),
                          CFStringCreateWithUTF8("name")};
    CFNumberRef values[] = {integer(1), integer(2), integer(3)};
    for (int i = 0; i < 3; ++i) {
        CFDictionarySetValue(map, keys[i], values[i]);
    }
    ASSERT_EQ(CFDictionaryGetCount(map), 2);
    const void* storedKeys[2] = {};
    const void* storedValues[2] = {};
    CFDictionaryGetKeysAndValues(map, storedKeys, storedValues);
    EXPECT_EQ(CFStringGetUTF8(static_cast<CFStringRef>(storedKeys[0])), "name");
    EXPECT_EQ(storedValues[0], values[2]);
    EXPECT_EQ(CFDictionaryGetValueForUTF8Key(map, "uid"), values[1]);
    EXPECT_EQ(CFDictionaryGetValueForUTF8Key(map, "missing"), nullptr);
    EXPECT_EQ(CFGetRetainCount(values[0]), 1);
    EXPECT_EQ(CFGetRetainCount(values[2]), 2);
    for (int i = 0; i < 3; ++i) {
        CFRelease(keys[i]);
        CFRelease(values[i]);
    }
    CFRelease(map);
}

}  // namespace
