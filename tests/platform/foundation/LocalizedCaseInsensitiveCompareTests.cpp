// Names compare as the user's locale sorts them, ignoring case only: accents, alphabets,
// ill-formed text, the locale taken from the environment, and callers on several threads.
#include "platform/foundation/LocalizedCaseInsensitiveCompare.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <optional>
#include <thread>
#include <vector>

#include "tests/platform/foundation/TemporaryFolder.h"

namespace foundation {
namespace {

constexpr std::weak_ordering kLess = std::weak_ordering::less;
constexpr std::weak_ordering kEquivalent = std::weak_ordering::equivalent;
constexpr std::weak_ordering kGreater = std::weak_ordering::greater;

class LocalizedCaseInsensitiveCompareTest : public ::testing::Test {};

TEST_F(LocalizedCaseInsensitiveCompareTest, CaseIsIgnored_AccentsAndTheLocalesAlphabetCount) {
    struct Case {
        const char* lhs;
        const char* rhs;
        std::optional<std::string> locale;
        std::weak_ordering expected;
    };
    const Case cases[] = {
        {"a", "A", {}, kEquivalent},
        {"a", "B", {}, kLess},
        {"", "a", {}, kLess},
        {"e", "é", {}, kLess},
        {"é", "f", {}, kLess},
        {"É", "é", {}, kEquivalent},
        {"\xC3\xA9", "e\xCC\x81", {}, kEquivalent},  // composed and decomposed spellings
        {"ä", "z", "sv", kGreater},                  // Swedish places ä after z
        {"ä", "z", "", kLess},
        {"Ä", "ä", "sv", kEquivalent},
        {"a", "A", "not-a-locale", kEquivalent},
    };
    for (const Case& c : cases) {
        const std::weak_ordering actual = c.locale ? localizedCaseInsensitiveCompare(c.lhs, c.rhs, *c.locale)
                                                   : localizedCaseInsensitiveCompare(c.lhs, c.rhs);
        EXPECT_EQ(actual, c.expected) << c.lhs << " vs " << c.rhs << " in " << c.locale.value_or("user locale");
    }
}

TEST_F(LocalizedCaseInsensitiveCompareTest, IllFormedUtf8_ComparesConsistently) {
    const std::vector<std::string> texts{
        "\xFF", "\xC3", "abc\x80", "\xED\xA0\x80", "\xF4\x90\x80\x80", std::string("a\0b", 3), "a", "\xEF\xBF\xBD",
    };
    for (const std::string& lhs : texts) {
        EXPECT_EQ(localizedCaseInsensitiveCompare(lhs, lhs), kEquivalent);
        for (const std::string& rhs : texts) {
            EXPECT_EQ(localizedCaseInsensitiveCompare(lhs, rhs), 0 <=> localizedCaseInsensitiveCompare(rhs, lhs));
        }
    }
    EXPECT_EQ(localizedCaseInsensitiveCompare("\xFF", "\xEF\xBF\xBD"), kEquivalent);
}

TEST_F(LocalizedCaseInsensitiveCompareTest, UserLocale_FollowsPosixPrecedenceAndStripsEncoding) {
    for (const auto& [posix, collation] :
         std::vector<std::pair<std::string, std::string>>{{"de_DE.UTF-8", "de_DE"},
                                                          {"sr_RS.UTF-8@latin", "sr_RS"},
                                                          {"sv_SE@euro", "sv_SE"},
                                                          {"fr", "fr"},
                                                          {"C", ""},
                                                          {"C.UTF-8", ""},
                                                          {"POSIX", ""},
                                                          {"", ""},
                                                          {".UTF-8", ""}}) {
        EXPECT_EQ(collationLocaleName(posix), collation) << posix;
    }

    const testing::ScopedEnvironmentVariable lcAll("LC_ALL", "sv_SE.UTF-8");
    const testing::ScopedEnvironmentVariable lcCollate("LC_COLLATE", "de_DE.UTF-8");
    const testing::ScopedEnvironmentVariable lang("LANG", "fr_FR.UTF-8");
    EXPECT_EQ(userCollationLocaleName(), "sv_SE");
    ::setenv("LC_ALL", "", 1);
    EXPECT_EQ(userCollationLocaleName(), "de_DE");
    ::unsetenv("LC_COLLATE");
    EXPECT_EQ(userCollationLocaleName(), "fr_FR");
    ::setenv("LANG", "C.UTF-8", 1);
    EXPECT_EQ(userCollationLocaleName(), "");
    ::unsetenv("LANG");
    EXPECT_EQ(userCollationLocaleName(), "");
}

// Threads comparing in different locales at once must each get their own locale's answer.
TEST_F(LocalizedCaseInsensitiveCompareTest, ConcurrentCallersInDifferentLocales_GetTheirOwnLocalesAnswers) {
    std::atomic<int> mismatches{0};
    std::vector<std::thread> threads;
    for (int thread = 0; thread < 4; ++thread) {
        threads.emplace_back([&, isSwedish = thread % 2 == 0] {
            for (int round = 0; round < 500; ++round) {
                const std::weak_ordering actual = localizedCaseInsensitiveCompare("ä", "z", isSwedish ? "sv" : "de");
                mismatches += actual != (isSwedish ? kGreater : kLess) ? 1 : 0;
            }
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(mismatches.load(), 0);
}

}  // namespace
}  // namespace foundation
