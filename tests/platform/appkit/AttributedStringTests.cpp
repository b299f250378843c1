#include "platform/appkit/AttributedString.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace appkit {
namespace {

TEST(AttributedStringTest, Runs_SplitTheTextAtEveryAttributeBoundary) {
    // "Website: example.org", the host linked, coloured and underlined as a link is.
    MutableAttributedString credits("Website: example.org");
    const TextRange host{9, 11};
    credits.addLink("https://example.org", host);
    credits.addForegroundColor(Color::linkColor, host);
    credits.addUnderlineStyle(UnderlineStyle::single, host);

    const TextAttributes link{"https://example.org", Color::linkColor, UnderlineStyle::single};
    EXPECT_EQ(credits.runs(), (std::vector<AttributedRun>{{{0, 9}, {}}, {{9, 11}, link}}));
}

TEST(AttributedStringTest, Runs_OverlapsLaterWinsRangesPastTheEndAreCutEmptyOnesIgnored) {
    MutableAttributedString text("abcdef");
    text.addForegroundColor(Color::systemRed, {0, 4});
    text.addForegroundColor(Color::systemGreen, {2, 100});
    text.addLink("https://ignored.example", {3, 0});
    text.addLink("https://never.example", {10, 2});

    EXPECT_EQ(text.runs(), (std::vector<AttributedRun>{{{0, 2}, {std::nullopt, Color::systemRed}},
                                                        {{2, 4}, {std::nullopt, Color::systemGreen}}}));
    EXPECT_TRUE(MutableAttributedString("").runs().empty());
}

}  // namespace
}  // namespace appkit
