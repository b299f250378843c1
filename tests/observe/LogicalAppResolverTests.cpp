#include "observe/LogicalAppResolver.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "sim/SimulatedServer.h"

namespace tonvale {
namespace {

namespace fs = std::filesystem;

constexpr std::int32_t kOwnPID = 4242;
constexpr char kOwnBundleID[] = "com.zelkor.tonvale";

AudioProcessInfo process(AudioObjectID objectID, std::int32_t pid, std::string bundleID, std::string name,
                         bool isRunningOutput = true) {
    return AudioProcessInfo{objectID, pid, std::move(bundleID), std::move(name), true, isRunningOutput};
}

class LogicalAppResolverTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::random_device random;
        root_ = fs::temp_directory_path() / ("tonvale-resolver-" + std::to_string(random()));
        fs::create_directories(root_);
    }
    void TearDown() override { fs::remove_all(root_); }

    // Lays out <root>/<relativePath>/Contents/Info.plist with the given text entries and
    // answers the bundle's path.
    fs::path makeBundle(const std::string& relativePath, const std::map<std::string, std::string>& entries) {
        const fs::path bundle = root_ / relativePath;
        fs::create_directories(bundle / "Contents");
        std::ofstream plist(bundle / "Contents" / "Info.plist");
        plist << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\">\n<dict>\n";
        for (const auto& [key, value] : entries) {
            plist << "<key>" << key << "</key><string>" << value << "</string>\n";
        }
        plist << "</dict>\n</plist>\n";
        plist.close();
        return bundle;
    }

    void runningApp(std::int32_t pid, RunningAppMetadata metadata) { runningApps_[pid] = std::move(metadata); }

    [[nodiscard]] LogicalAppResolver resolver() const {
        return LogicalAppResolver{kOwnBundleID, kOwnPID,
                                  [apps = runningApps_](std::int32_t pid) -> std::optional<RunningAppMetadata> {
                                      const auto found = apps.find(pid);
                                      if (found == apps.end()) {
                                          return std::nullopt;
                                      }
                                      return found->second;
                                  }};
    }

    fs::path root_;
    std::map<std::int32_t, RunningAppMetadata> runningApps_;
};

TEST_F(LogicalAppResolverTest, BrowserHelperInsideBrowserBundle_JoinsBrowserWithKnownName) {
    const fs::path browserURL = makeBundle("Google Chrome.app", {{"CFBundleIdentifier", "com.google.Chrome"},
                                                                    {"CFBundleName", "Chrome"}});
    const fs::path helperURL = makeBundle(
        "Google Chrome.app/Contents/Frameworks/Google Chrome Framework.framework/Helpers/Google Chrome Helper "
        "(Renderer).app",
        {{"CFBundleIdentifier", "com.google.Chrome.helper.renderer"}, {"CFBundleName", "Helper"}});
    runningApp(100, {"com.google.Chrome", "Chrome", browserURL});
    runningApp(101, {"com.google.Chrome.helper.renderer", "Google Chrome Helper (Renderer)", helperURL});

    const auto groups = resolver().resolve({process(31, 101, "com.google.Chrome.helper.renderer", "Renderer"),
                                            process(30, 100, "com.google.Chrome", "Chrome", false)});

    ASSERT_EQ(groups.size(), 1U);
    EXPECT_EQ(groups[0].identity, (AppIdentity{"com.google.Chrome", "Google Chrome"}));
    ASSERT_EQ(groups[0].processes.size(), 2U);
    EXPECT_EQ(groups[0].processes[0].objectID, 30U);
    EXPECT_EQ(groups[0].processes[1].objectID, 31U);
    EXPECT_EQ(groups[0].activeProcessObjectIDs(), std::vector<AudioObjectID>{31});
}

TEST_F(LogicalAppResolverTest, HelperOfUnknownApp_JoinsEnclosingBundleUnderItsDisplayName) {
    makeBundle("Tools/Sound Deck.app", {{"CFBundleIdentifier", "com.example.deck"},
                                        {"CFBundleDisplayName", "Sound Deck"},
                                        {"CFBundleName", "Deck"}});
    const fs::path helperURL =
        makeBundle("Tools/Sound Deck.app/Contents/Helpers/Deck Audio.app",
                   {{"CFBundleIdentifier", "com.example.deck.audio"}, {"CFBundleName", "Deck Audio"}});
    runningApp(200, {"com.example.deck.audio", "Deck Audio", helperURL});

    const auto identity = resolver().logicalIdentity(process(40, 200, "com.example.deck.audio", "Deck Audio"));

    EXPECT_EQ(identity, (AppIdentity{"com.example.deck", "Sound Deck"}));
}

TEST_F(LogicalAppResolverTest, FamilyExtension_MapsToFamilyButLookalikePrefixDoesNot) {
    EXPECT_EQ(resolver().logicalIdentity(process(1, 1, "org.mozilla.firefox.plugin-container", "x")),
              (AppIdentity{"org.mozilla.firefox", "Firefox"}));
    EXPECT_EQ(resolver().logicalIdentity(process(2, 2, "com.google.ChromeBeta", "Beta")),
              (AppIdentity{"com.google.ChromeBeta", "Beta"}));
}

TEST_F(LogicalAppResolverTest, EnclosingWebKitBundle_KeepsTheProcessOwnIdentifier) {
    const fs::path url = makeBundle("WebKit.app", {{"CFBundleIdentifier", "com.apple.WebKit.WebContent"}});
    runningApp(300, {std::nullopt, "Web Content", url});

    EXPECT_EQ(resolver().logicalIdentity(process(50, 300, "com.example.reader", "Reader")),
              (AppIdentity{"com.example.reader", "Web Content"}));
}

TEST_F(LogicalAppResolverTest, OwnProcesses_AreNeverGrouped) {
    const fs::path ownURL = makeBundle("Tonvale.app", {{"CFBundleIdentifier", kOwnBundleID}});
    runningApp(400, {"com.zelkor.tonvale.helper", "Helper", ownURL});

    const auto groups = resolver().resolve({process(1, kOwnPID, "com.example.other", "Same PID"),
                                            process(2, 401, kOwnBundleID, "Own Identifier"),
                                            process(3, 400, "com.zelkor.tonvale.helper", "Inside Own Bundle")});

    EXPECT_TRUE(groups.empty());
}

TEST_F(LogicalAppResolverTest, BlankIdentifiers_FallThroughToNextCandidate) {
    runningApp(500, {"com.example.player", "Player", std::nullopt});
    runningApp(501, {" \t", "Other", std::nullopt});

    EXPECT_EQ(resolver().logicalIdentity(process(1, 500, " \n\u00A0", "Proc")),
              (AppIdentity{"com.example.player", "Player"}));
    EXPECT_EQ(resolver().logicalIdentity(process(2, 501, "", "Proc")), std::nullopt);
}

TEST_F(LogicalAppResolverTest, NoIdentifierAnywhere_LeavesProcessOut) {
    const fs::path upperCaseURL = makeBundle("Player.APP", {{"CFBundleIdentifier", "com.example.upper"}});
    runningApp(600, {std::nullopt, "Upper", upperCaseURL});

    const auto groups = resolver().resolve({process(1, 600, "", "Upper"), process(2, 601, "", "Nobody")});

    EXPECT_TRUE(groups.empty());
}

TEST_F(LogicalAppResolverTest, BundleIdentifierFromEnclosingBundle_ServesProcessWithoutOne) {
    const fs::path url = makeBundle("My Player.app", {{"CFBundleIdentifier", "com.example.myplayer"}});
    runningApp(700, {std::nullopt, std::nullopt, url});

    EXPECT_EQ(resolver().logicalIdentity(process(1, 700, "", "Process 700")),
              (AppIdentity{"com.example.myplayer", "Process 700"}));
}

TEST_F(LogicalAppResolverTest, BundlePath_IsStandardizedBeforeLookingForAppComponent) {
    makeBundle("Real.app", {{"CFBundleIdentifier", "com.example.real"}, {"CFBundleName", "Real"}});
    fs::create_directories(root_ / "Decoy.app" / "Contents");
    runningApp(750, {std::nullopt, std::nullopt, root_ / "Decoy.app" / ".." / "Real.app" / "Contents" / "."});

    EXPECT_EQ(resolver().logicalIdentity(process(1, 750, "", "Process 750")),
              (AppIdentity{"com.example.real", "Real"}));
}

TEST_F(LogicalAppResolverTest, DisplayName_FallsBackAlongBundleRunningAppProcessThenIdentifier) {
    const fs::path blankDisplayURL =
        makeBundle("Blank.app", {{"CFBundleIdentifier", "com.example.blank"}, {"CFBundleDisplayName", " "},
                                 {"CFBundleName", "Ignored Because Display Name Is Text"}});
    runningApp(800, {std::nullopt, "Running Name", blankDisplayURL});

    EXPECT_EQ(resolver().logicalIdentity(process(1, 800, "", "Process Name"))->displayName, "Running Name");
    EXPECT_EQ(resolver().logicalIdentity(process(2, 801, "com.example.bare", "  "))->displayName,
              "com.example.bare");
}

TEST_F(LogicalAppResolverTest, GroupName_IsSmallestMemberNameCaseInsensitively) {
    const auto groups = resolver().resolve({process(1, 900, "com.example.suite", "zeta"),
                                            process(2, 901, "com.example.suite", "Alpha"),
                                            process(3, 902, "com.example.suite", "beta")});

    ASSERT_EQ(groups.size(), 1U);
    EXPECT_EQ(groups[0].identity.displayName, "Alpha");
}

TEST_F(LogicalAppResolverTest, Groups_PlayingFirstThenByNameCaseInsensitively) {
    const auto groups = resolver().resolve({process(1, 1001, "com.example.aardvark", "Aardvark", false),
                                            process(2, 1002, "com.example.zebra", "zebra"),
                                            process(3, 1003, "com.example.mango", "Mango"),
                                            process(4, 1004, "com.example.apple", "apple", false)});

    ASSERT_EQ(groups.size(), 4U);
    EXPECT_EQ(groups[0].identity.displayName, "Mango");
    EXPECT_EQ(groups[1].identity.displayName, "zebra");
    EXPECT_EQ(groups[2].identity.displayName, "Aardvark");
    EXPECT_EQ(groups[3].identity.displayName, "apple");
    EXPECT_TRUE(groups[3].activeProcessObjectIDs().empty());
}

TEST_F(LogicalAppResolverTest, ActiveProcessObjectIDs_AreThePlayingOnesAscending) {
    const auto groups = resolver().resolve({process(9, 1, "com.example.app", "A"),
                                            process(3, 2, "com.example.app", "A", false),
                                            process(5, 3, "com.example.app", "A")});

    ASSERT_EQ(groups.size(), 1U);
    EXPECT_EQ(groups[0].activeProcessObjectIDs(), (std::vector<AudioObjectID>{5, 9}));
}

TEST_F(LogicalAppResolverTest, SnapshotLookup_AnswersLikeTheWorkspaceItRead) {
    const std::shared_ptr<sim::SimulatedServer> server = sim::SimulatedServer::create(sim::Scenario::embeddedDefault());
    const LogicalAppResolver::RunningAppLookup lookup = LogicalAppResolver::snapshotRunningAppLookup();

    for (const std::int32_t pid : {2101, 2102, 2201, 311, 999999}) {
        EXPECT_EQ(lookup(pid), LogicalAppResolver::standardRunningAppLookup(pid)) << pid;
    }
    ASSERT_TRUE(lookup(2102));
    EXPECT_EQ(lookup(2102)->displayName, "Lumen Helper (Renderer)");
    EXPECT_EQ(lookup(311), std::nullopt);
}

}  // namespace
}  // namespace tonvale
