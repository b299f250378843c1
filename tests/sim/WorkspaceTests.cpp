// The running applications the simulated server shows the workspace, and the bundle folders
// that go with the server. Where the helpers' bundles lie inside their application is seen
// by the program's diagnostics tests, which count the logical apps those bundles make.
#include "platform/appkit/Workspace.h"

#include "platform/dispatch/Dispatch.h"
#include "platform/foundation/Bundle.h"
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

std::string contentsOf(const std::filesystem::path& path) {
    std::stringstream text;
    text << std::ifstream(path).rdbuf();
    return text.str();
}

// Each created bundle declares an icon in its resources: the desk's apps a drawing of their
// own, an app whose scenario names an image that image.
TEST(WorkspaceIconTest, CreatedBundles_DeclareADistinctDrawingOrTheNamedImage) {
    dispatch::VirtualTime time;
    sim::Scenario scenario = sim::Scenario::embeddedDefault();
    const std::filesystem::path named = std::filesystem::temp_directory_path() / "tonvale-workspace-test-icon.png";
    std::ofstream(named) << "not really a PNG";
    for (sim::ScenarioProcess& process : scenario.processes) {
        if (process.pid == 2401) {  // the game
            process.application->iconPath = named.string();
        }
    }
    const auto server = sim::SimulatedServer::create(scenario);
    const auto iconOf = [](const char* bundleID) {
        const auto url = appkit::Workspace::sharedWorkspace().URLForApplicationWithBundleIdentifier(bundleID);
        const auto bundle = foundation::Bundle::at(url.value());
        return url.value() / "Contents" / "Resources" / bundle.value().infoValue("CFBundleIconFile").value();
    };
    for (const auto& [bundleID, initial] :
         {std::pair{"com.example.browser", ">L<"}, {"com.example.music", ">M<"}, {"com.example.meeting", ">P<"}}) {
        const std::string drawing = contentsOf(iconOf(bundleID));
        EXPECT_NE(drawing.find(initial), std::string::npos) << drawing;
    }
    EXPECT_EQ(iconOf("com.example.game").filename(), "AppIcon.png");
    EXPECT_EQ(contentsOf(iconOf("com.example.game")), "not really a PNG");
    std::filesystem::remove(named);
}

}  // namespace
