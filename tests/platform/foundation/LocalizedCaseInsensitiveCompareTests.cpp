#include "platform/foundation/LocalizedCaseInsensitiveCompare.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <optional>
#include <thread>
#include <vector>

namespace foundation {
namespace {

constexpr std::weak_ordering kLess = std::weak_ordering::less;
constexpr std::weak_ordering kEquivalent = std::weak_ordering::equivalent;
constexpr std::weak_ordering kGreater = std::weak_ordering::greater;

// Sets an environment variable for one test and restores what was there before.
class ScopedVariable {
public:
    ScopedVariable(const char* name, const char* value) : name_(name) {
        if (const char* previous = std::getenv(name)) {
            previous_ = previous;
        }
        ::setenv(name, value, 1);
    }
    ~ScopedVariable() {
        if (previous_) {
            ::setenv(name_, previous_->c_str(), 1);
            return;
        }
        ::unsetenv(name_);
    }
    ScopedVariable(const ScopedVariable&) = delete;
    ScopedVariable& operator=(const ScopedVariable&) = delete;

private:
    const char* name_;
    std::optional<std::string> previous_;
};

class LocalizedCaseInsensitiveCompareTest : public ::testing::Test {
protected:
    static std::vector<std::string> stableSorted(std::vector<std::string> names) {
        std::stable_sort(names.begin(), names.end(), [](const std::string& lhs, const std::string& rhs) {
            return localizedCaseInsensitiveCompare(lhs, rhs) < 0;
        });
        return names;
    }
};

TEST_F(LocalizedCaseInsensitiveCompareTest, Case_IsIgnoredButLettersOrder) {
    EXPECT_EQ(localizedCaseInsensitiveCompare("a", "A"), kEquivalent);
    EXPECT_EQ(localizedCaseInsensitiveCompare("USB Headset", "usb headset"), kEquivalent);
    EXPECT_EQ(localizedCaseInsensitiveCompare("a", "B"), kLess);
    EXPECT_EQ(localizedCaseInsensitiveCompare("b", "A"), kGreater);
    EXPECT_EQ(localizedCaseInsensitiveCompare("", "a"), kLess);
    EXPECT_EQ(localizedCaseInsensitiveCompare("", ""), kEquivalent);
}

TEST_F(LocalizedCaseInsensitiveCompareTest, Accents_AreSignificant) {
    EXPECT_NE(localizedCaseInsensitiveCompare("e", "é"), kEquivalent);
    EXPECT_EQ(localizedCaseInsensitiveCompare("e", "é"), kLess);
    EXPECT_EQ(localizedCaseInsensitiveCompare("é", "f"), kLess);
    EXPECT_EQ(localizedCaseInsensitiveCompare("É", "é"), kEquivalent);
    // Composed and decomposed spellings are the same text.
    EXPECT_EQ(localizedCaseInsensitiveCompare("\xC3\xA9", "e\xCC\x81"), kEquivalent);
}

TEST_F(LocalizedCaseInsensitiveCompareTest, StableSort_KeepsEquivalentNamesInInputOrder) {
    EXPECT_EQ(stableSorted({"b", "A", "a"}), (std::vector<std::string>{"A", "a", "b"}));
    EXPECT_EQ(stableSorted({"b", "a", "A"}), (std::vector<std::string>{"a", "A", "b"}));
    EXPECT_EQ(stableSorted({"Zoom", "music", "Browser", "browser helper", "Éclair"}),
              (std::vector<std::string>{"Browser", "browser helper", "Éclair", "music", "Zoom"}));
}

TEST_F(LocalizedCaseInsensitiveCompareTest, NamedLocale_AppliesItsOwnAlphabet) {
    // Swedish places ä after z; the root order treats it as an accented a.
    EXPECT_EQ(localizedCaseInsensitiveCompare("ä", "z", "sv"), kGreater);
    EXPECT_EQ(localizedCaseInsensitiveCompare("ä", "z", ""), kLess);
    EXPECT_EQ(localizedCaseInsensitiveCompare("ä", "z", "de_DE"), kLess);
    EXPECT_EQ(localizedCaseInsensitiveCompare("Ä", "ä", "sv"), kEquivalent);
    EXPECT_EQ(localizedCaseInsensitiveCompare("a", "A", "not-a-locale"), kEquivalent);
}

TEST_F(LocalizedCaseInsensitiveCompareTest, IllFormedUtf8_ComparesConsistently) {
    const std::vector<std::string> texts{
        "\xFF", "\xC3", "abc\x80", "\xED\xA0\x80", "\xF4\x90\x80\x80", std::string("a\0b", 3), "a", "\xEF\xBF\xBD",
    };
    for (const std::string& lhs : texts) {
        EXPECT_EQ(localizedCaseInsensitiveCompare(lhs, lhs), kEquivalent);
        for (const std::string& rhs : texts) {
            const std::weak_ordering forward = localizedCaseInsensitiveCompare(lhs, rhs);
            const std::weak_ordering backward = localizedCaseInsensitiveCompare(rhs, lhs);
            EXPECT_EQ(forward, 0 <=> backward);
        }
    }
    EXPECT_EQ(localizedCaseInsensitiveCompare("\xFF", "\xEF\xBF\xBD"), kEquivalent);
}

TEST_F(LocalizedCaseInsensitiveCompareTest, CollationLocaleName_StripsEncodingAndMapsPosixToRoot) {
    EXPECT_EQ(collationLocaleName("de_DE.UTF-8"), "de_DE");
    EXPECT_EQ(collationLocaleName("sr_RS.UTF-8@latin"), "sr_RS");
    EXPECT_EQ(collationLocaleName("sv_SE@euro"), "sv_SE");
    EXPECT_EQ(collationLocaleName("fr"), "fr");
    EXPECT_EQ(collationLocaleName("C"), "");
    EXPECT_EQ(collationLocaleName("C.UTF-8"), "");
    EXPECT_EQ(collationLocaleName("POSIX"), "");
    EXPECT_EQ(collationLocaleName(""), "");
    EXPECT_EQ(collationLocaleName(".UTF-8"), "");
}

TEST_F(LocalizedCaseInsensitiveCompareTest, UserLocale_FollowsPosixPrecedence) {
    const ScopedVariable lcAll("LC_ALL", "sv_SE.UTF-8");
    const ScopedVariable lcCollate("LC_COLLATE", "de_DE.UTF-8");
    const ScopedVariable lang("LANG", "fr_FR.UTF-8");
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

TEST_F(LocalizedCaseInsensitiveCompareTest, ConcurrentCallers_AgreeWithSingleThread) {
    const std::vector<std::string> names{"Built-in Speakers", "airplay", "AirPlay", "Écran HDMI", "écran hdmi", "Zoom"};
    std::vector<std::weak_ordering> expected;
    for (const std::string& lhs : names) {
        for (const std::string& rhs : names) {
            expected.push_back(localizedCaseInsensitiveCompare(lhs, rhs));
        }
    }
    std::atomic<int> mismatches{0};
    std::vector<std::thread> threads;
    for (int thread = 0; thread < 4; ++thread) {
        threads.emplace_back([&] {
            for (int round = 0; round < 200; ++round) {
                std::size_t index = 0;
                for (const std::string& lhs : names) {
                    for (const std::string& rhs : names) {
                        if (localizedCaseInsensitiveCompare(lhs, rhs) != expected[index++]) {
                            mismatches.fetch_add(1);
                        }
                    }
                }
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
