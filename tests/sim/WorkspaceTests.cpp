#include "platform/appkit/Workspace.h"

#include "platform/dispatch/Dispatch.h"
#include "sim/SimulatedServer.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

namespace {

class WorkspaceTest : public ::testing::Test {
protected:
    dispatch::VirtualTime time;
    std::shared_ptr<sim::SimulatedServer> server = sim::SimulatedServer::create(sim::Scenario::embeddedDefault());
    appkit::Workspace& workspace = appkit::Workspace::sharedWorkspace();
};

TEST_F(WorkspaceTest, HelperProcesses_LiveInsideTheirApplicationsBundle) {
    const auto helper = appkit::RunningApplication::runningApplicationWithProcessIdentifier(2102);
    ASSERT_TRUE(helper);
    EXPECT_EQ(helper->bundleIdentifier, "com.example.browser.helper.renderer");
    ASSERT_TRUE(helper->bundleURL);
    const auto browser = workspace.URLForApplicationWithBundleIdentifier("com.example.browser");
    ASSERT_TRUE(browser);
    EXPECT_EQ(browser->filename(), "Lumen.app");
    EXPECT_TRUE(helper->bundleURL->string().starts_with(browser->string() + "/Contents/Frameworks/"));
    std::ifstream plist(*browser / "Contents" / "Info.plist");
    std::stringstream text;
    text << plist.rdbuf();
    EXPECT_NE(text.str().find("<string>com.example.browser</string>"), std::string::npos);
}

TEST_F(WorkspaceTest, ProcessesWithoutApplications_AreNotRunningApplicationsAndBundlesGoWithTheServer) {
    EXPECT_FALSE(appkit::RunningApplication::runningApplicationWithProcessIdentifier(311));
    EXPECT_EQ(workspace.runningApplications().size(), 6U);
    ASSERT_TRUE(server->quitProcess(2401));
    EXPECT_EQ(workspace.runningApplications().size(), 5U);
    EXPECT_TRUE(workspace.URLForApplicationWithBundleIdentifier("com.example.game")) << "installed, though not running";
    const auto bundle = workspace.URLForApplicationWithBundleIdentifier("com.example.browser");
    ASSERT_TRUE(bundle);
    // The server's bundle folders go with it.
    server.reset();
    EXPECT_TRUE(workspace.runningApplications().empty());
    EXPECT_FALSE(std::filesystem::exists(*bundle));
}

}  // namespace
