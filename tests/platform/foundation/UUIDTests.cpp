// Random UUIDs and their canonical upper-case text, which settings files store and read back.
#include "platform/foundation/UUID.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

namespace foundation {
namespace {

class UUIDTest : public ::testing::Test {};

TEST_F(UUIDTest, Random_IsVersion4WithRfcVariantNeverRepeatsAndRoundTripsAsText) {
    std::set<UUID> seen;
    for (int round = 0; round < 1000; ++round) {
        const UUID uuid = UUID::random();
        EXPECT_TRUE(seen.insert(uuid).second);
        EXPECT_EQ(uuid.bytes[6] >> 4, 0x4);
        EXPECT_EQ(uuid.bytes[8] & 0xC0, 0x80);
        EXPECT_EQ(UUID::parse(uuid.uuidString()), uuid);
    }
}

TEST_F(UUIDTest, Text_IsUpperCaseCanonicalAndOnlyThatFormParsesInEitherCase) {
    UUID uuid;
    for (std::size_t index = 0; index < uuid.bytes.size(); ++index) {
        uuid.bytes[index] = static_cast<std::uint8_t>(0xF0 - index * 0x0F);
    }
    EXPECT_EQ(uuid.uuidString(), "F0E1D2C3-B4A5-9687-7869-5A4B3C2D1E0F");
    EXPECT_EQ(UUID::parse("f0e1D2c3-B4a5-9687-7869-5a4B3c2d1E0f"), uuid);

    const std::string rejected[] = {
        "",
        "E621E1F8-C36C-495A-93FC-0C247A3E6E5",    // one digit short
        "E621E1F8-C36C-495A-93FC-0C247A3E6E5F0",  // one digit long
        "E621E1F8-C36C-495A-93FC0-C247A3E6E5F",   // dash misplaced
        "E621E1F8-C36C-495A-93FC+0C247A3E6E5F",   // wrong separator
        "E621E1F8-C36C-495A-93FC-0C247A3E6E5G",   // non-hex digit
        std::string("E621E1F8-C36C-495A-93FC-0C247A3E6E5\0", 36),
    };
    for (const std::string& text : rejected) {
        EXPECT_FALSE(UUID::parse(text).has_value()) << '"' << text << '"';
    }
}

}  // namespace
}  // namespace foundation
