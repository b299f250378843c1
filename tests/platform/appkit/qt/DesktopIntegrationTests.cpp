// The desktop services the interactive application installs or shows: the clipboard
// behind the pasteboard and the about panel with its credits link.
#include <QApplication>
#include <QClipboard>
#include <QLabel>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "platform/appkit/Pasteboard.h"
#include "platform/appkit/Workspace.h"
#include "platform/appkit/qt/AboutPanel.h"
#include "platform/appkit/qt/DesktopClipboardStore.h"
#include "platform/appkit/qt/RichText.h"

namespace appkit {
namespace {

TEST(DesktopClipboardStoreTest, PasteboardText_GoesThroughTheDesktopsClipboard) {
    Pasteboard& pasteboard = Pasteboard::generalPasteboard();
    pasteboard.setStore(std::make_shared<DesktopClipboardStore>());

    pasteboard.clearContents();
    EXPECT_EQ(pasteboard.string(), std::nullopt);
    EXPECT_TRUE(pasteboard.setString("Tonvale diagnostics\nroutes: 1\n"));
    EXPECT_EQ(QApplication::clipboard()->text(), QStringLiteral("Tonvale diagnostics\nroutes: 1\n"));
    EXPECT_EQ(pasteboard.string(), "Tonvale diagnostics\nroutes: 1\n");

    pasteboard.setStore(nullptr);
}

TEST(RichTextTest, AttributedString_IsEscapedAndItsLinksBecomeAnchors) {
    MutableAttributedString credits("Website: <example> & co");
    credits.addLink("https://example.org/?a=1&b=\"2\"", {9, 9});
    credits.addUnderlineStyle(UnderlineStyle::single, {9, 9});

    const QString html = richText(credits, QApplication::palette());

    EXPECT_TRUE(html.contains(
        QStringLiteral("<a href=\"https://example.org/?a=1&amp;b=&quot;2&quot;\" style=\"text-decoration:underline;\">"
                       "&lt;example&gt;</a>")))
        << html.toStdString();
    EXPECT_TRUE(html.contains(QStringLiteral(" &amp; co"))) << html.toStdString();
}

TEST(AboutPanelTest, CreditsLink_OpensThroughTheWorkspaceAndAskingAgainReusesThePanel) {
    const auto opener = std::make_shared<InMemoryURLOpener>();
    Workspace::sharedWorkspace().setURLOpener(opener);
    MutableAttributedString credits("Website: tonvale.example");
    credits.addLink("https://tonvale.example", {9, 15});

    orderFrontStandardAboutPanelWithOptions({"Tonvale", credits});
    QWidget* panel = standardAboutPanel();
    ASSERT_NE(panel, nullptr);
    EXPECT_TRUE(panel->isVisible());
    auto* creditsLabel = panel->findChild<QLabel*>(QStringLiteral("credits"));
    ASSERT_NE(creditsLabel, nullptr);
    emit creditsLabel->linkActivated(QStringLiteral("https://tonvale.example"));
    orderFrontStandardAboutPanelWithOptions({"Tonvale", credits});

    EXPECT_EQ(opener->openedURLs(), std::vector<std::string>{"https://tonvale.example"});
    EXPECT_EQ(standardAboutPanel(), panel);
    panel->close();
    Workspace::sharedWorkspace().setURLOpener(nullptr);
}

}  // namespace
}  // namespace appkit
