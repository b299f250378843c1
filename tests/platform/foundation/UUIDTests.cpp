#include "platform/foundation/UUID.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

namespace foundation {
namespace {

class UUIDTest : public ::testing::Test {};

TEST_F(UUIDTest, Random_HasVersion4AndRfcVariantBits) {
    for (int round = 0; round < 64; ++round) {
        const UUID uuid = UUID::random();
        EXPECT_EQ(uuid.bytes[6] >> 4, 0x4);
        EXPECT_EQ(uuid.bytes[8] & 0xC0, 0x80);
        const std::string text = uuid.uuidString();
        EXPECT_EQ(text[14], '4');
        EXPECT_NE(std::string("89AB").find(text[19]), std::string::npos) << text;
    }
}

TEST_F(UUIDTest, Random_DoesNotRepeat) {
    std::set<UUID> seen;
    for (int round = 0; round < 1000; ++round) {
        EXPECT_TRUE(seen.insert(UUID::random()).second);
    }
}

TEST_F(UUIDTest, Text_IsUpperCaseCanonicalAndRoundTrips) {
    UUID uuid;
    for (std::size_t index = 0; index < uuid.bytes.size(); ++index) {
        uuid.bytes[index] = static_cast<std::uint8_t>(0xF0 - index * 0x0F);
    }
    EXPECT_EQ(uuid.uuidString(), "F0E1D2C3-B4A5-9687-7869-5A4B3C2D1E0F");
    EXPECT_EQ(UUID::parse(uuid.uuidString()), uuid);

    for (int round = 0; round < 32; ++round) {
        const UUID random = UUID::random();
        EXPECT_EQ(UUID::parse(random.uuidString()), random);
    }
}

TEST_F(UUIDTest, Parse_AcceptsEitherCase) {
    const auto upper = UUID::parse("E621E1F8-C36C-495A-93FC-0C247A3E6E5F");
    const auto lower = UUID::parse("e621e1f8-c36c-495a-93fc-0c247a3e6e5f");
    const auto mixed = UUID::parse("e621E1f8-C36c-495A-93fC-0c247A3e6E5f");
    ASSERT_TRUE(upper.has_value());
    EXPECT_EQ(lower, upper);
    EXPECT_EQ(mixed, upper);
    EXPECT_EQ(upper->bytes[0], 0xE6);
    EXPECT_EQ(upper->bytes[15], 0x5F);
    EXPECT_EQ(UUID::parse("00000000-0000-0000-0000-000000000000"), UUID{});
}

TEST_F(UUIDTest, Parse_RejectsAnythingButTheCanonicalForm) {
    const char* const rejected[] = {
        "",
        "E621E1F8-C36C-495A-93FC-0C247A3E6E5",     // one digit short
        "E621E1F8-C36C-495A-93FC-0C247A3E6E5F0",   // one digit long
        "E621E1F8C36C495A93FC0C247A3E6E5F",        // no dashes
        "E621E1F8-C36C-495A-93FC0-C247A3E6E5F",    // dash misplaced
        "E621E1F8-C36C-495A-93FC+0C247A3E6E5F",    // wrong separator
        "{E621E1F8-C36C-495A-93FC-0C247A3E6E5F}",  // braces
        " E621E1F8-C36C-495A-93FC-0C247A3E6E5F",   // leading whitespace
        "E621E1F8-C36C-495A-93FC-0C247A3E6E5F\n",  // trailing newline
        "E621E1F8-C36C-495A-93FC-0C247A3E6E5G",    // non-hex digit
        "E621E1F8-C36C-495A-93FC-0C247A3E6E 5",    // inner space
        "urn:E621E1F8-C36C-495A-93FC-0C247A3E",    // prefix, right length
    };
    for (const char* text : rejected) {
        EXPECT_FALSE(UUID::parse(text).has_value()) << '"' << text << '"';
    }
    const std::string withNul("E621E1F8-C36C-495A-93FC-0C247A3E6E5\0", 36);
    EXPECT_FALSE(UUID::parse(withNul).has_value());
}

}  // namespace
}  // namespace foundation
