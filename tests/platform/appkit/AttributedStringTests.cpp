// Attributed strings split into runs at every attribute boundary, as the about panel's credits need.
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

}  // namespace
}  // namespace appkit
