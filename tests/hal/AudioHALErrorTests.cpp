#include "hal/AudioHALError.h"

#include <gtest/gtest.h>

#include "hal/FourCharCode.h"

namespace tonvale {
namespace {

constexpr std::uint32_t code(char a, char b, char c, char d) {
    return (static_cast<std::uint32_t>(static_cast<unsigned char>(a)) << 24) |
           (static_cast<std::uint32_t>(static_cast<unsigned char>(b)) << 16) |
           (static_cast<std::uint32_t>(static_cast<unsigned char>(c)) << 8) |
           static_cast<std::uint32_t>(static_cast<unsigned char>(d));
}

TEST(FourCharCodeTextTest, PrintableBytes_ShowAsCharactersBetweenApostrophes) {
    EXPECT_EQ(fourCharCodeText(code('d', 'e', 'v', '#')), "'dev#'");
    EXPECT_EQ(fourCharCodeText(code('u', 's', 'b', ' ')), "'usb '");
    EXPECT_EQ(fourCharCodeText(code(' ', ' ', ' ', ' ')), "'    '");
    EXPECT_EQ(fourCharCodeText(code('~', '~', '~', '~')), "'~~~~'");
}

TEST(FourCharCodeTextTest, AnyUnprintableByte_ShowsPaddedUpperCaseHex) {
    EXPECT_EQ(fourCharCodeText(0), "0x00000000");
    EXPECT_EQ(fourCharCodeText(code('a', 'b', 'c', '\0')), "0x61626300");
    EXPECT_EQ(fourCharCodeText(code('\x7F', 'a', 'b', 'c')), "0x7F616263");
    EXPECT_EQ(fourCharCodeText(code('a', '\x1F', 'b', 'c')), "0x611F6263");
    EXPECT_EQ(fourCharCodeText(0xFFFFFFCEU), "0xFFFFFFCE");
    EXPECT_EQ(fourCharCodeText(0xABU), "0x000000AB");
}

TEST(AudioHALErrorTest, OSStatus_DescribesNegativeStatusByBitPatternAndSignedValue) {
    const AudioHALError error = AudioHALError::osStatus("Read Core Audio property 'dev#'", -50);
    EXPECT_EQ(error.description(), "Read Core Audio property 'dev#' failed: 0xFFFFFFCE (-50)");
    EXPECT_EQ(error.kind(), AudioHALError::Kind::osStatus);
    EXPECT_EQ(error.status(), -50);
}

TEST(AudioHALErrorTest, OSStatus_DescribesPrintableStatusAsCharacters) {
    const auto status = static_cast<std::int32_t>(code('w', 'h', 'o', '?'));
    const AudioHALError error = AudioHALError::osStatus("Set default input device", status);
    EXPECT_EQ(error.description(), "Set default input device failed: 'who?' (2003332927)");
}

TEST(AudioHALErrorTest, MissingValueAndInvalidSelection_DescribeTheirTexts) {
    EXPECT_EQ(AudioHALError::missingValue("Read Core Audio property").description(),
              "Read Core Audio property returned no value");
    EXPECT_EQ(AudioHALError::invalidSelection("Select a destination output.").description(),
              "Select a destination output.");
}

TEST(AudioHALErrorTest, Equality_ComparesKindTextAndStatus) {
    EXPECT_EQ(AudioHALError::osStatus("a", 1), AudioHALError::osStatus("a", 1));
    EXPECT_NE(AudioHALError::osStatus("a", 1), AudioHALError::osStatus("a", 2));
    EXPECT_NE(AudioHALError::missingValue("a"), AudioHALError::invalidSelection("a"));
}

}  // namespace
}  // namespace tonvale
