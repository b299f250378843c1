// The running applications the simulated server shows the workspace, and the bundle folders
// that go with the server. Where the helpers' bundles lie inside their application is seen
// by the program's diagnostics tests, which count the logical apps those bundles make.
#include "platform/appkit/Workspace.h"

#include "platform/dispatch/Dispatch.h"
#include "sim/SimulatedServer.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace {

class WorkspaceTest : public ::testing::Test {
protected:
    dispatch::VirtualTime time;
    std::shared_ptr<sim::SimulatedServer> server = sim::SimulatedServer::create(sim::Scenario::embeddedDefault());
    appkit::Workspace& workspace = appkit::Workspace::sharedWorkspace();
};

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
