// The logical-app resolver: which app each process belongs to, and how the apps are ordered.
// Each group's members and active processes are met by the program's diagnostics.
#include "observe/LogicalAppResolver.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <random>
#include <string>
#include <vector>

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
    LogicalAppResolverTest() { fs::create_directories(root_); }
    ~LogicalAppResolverTest() override { fs::remove_all(root_); }

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
        return bundle;
    }

    [[nodiscard]] LogicalAppResolver resolver() const {
        return LogicalAppResolver{kOwnBundleID, kOwnPID,
                                  [apps = runningApps_](std::int32_t pid) -> std::optional<RunningAppMetadata> {
                                      const auto found = apps.find(pid);
                                      return found == apps.end() ? std::nullopt : std::optional(found->second);
                                  }};
    }

    fs::path root_ = fs::temp_directory_path() / ("tonvale-resolver-" + std::to_string(std::random_device{}()));
    std::map<std::int32_t, RunningAppMetadata> runningApps_;
};

// Each process against one desk of bundles on disk and running applications.
TEST_F(LogicalAppResolverTest, LogicalIdentity_FollowsBundleFamilyAndNameRules) {
    makeBundle("Google Chrome.app", {{"CFBundleIdentifier", "com.google.Chrome"}, {"CFBundleName", "Chrome"}});
    runningApps_[101] = {"com.google.Chrome.helper.renderer", "Google Chrome Helper (Renderer)",
                         makeBundle("Google Chrome.app/Contents/Frameworks/Google Chrome Framework.framework/Helpers/"
                                    "Google Chrome Helper (Renderer).app",
                                    {{"CFBundleIdentifier", "com.google.Chrome.helper.renderer"}})};
    makeBundle(
        "Tools/Sound Deck.app",
        {{"CFBundleIdentifier", "com.example.deck"}, {"CFBundleDisplayName", "Sound Deck"}, {"CFBundleName", "Deck"}});
    runningApps_[200] = {
        "com.example.deck.audio", "Deck Audio",
        makeBundle("Tools/Sound Deck.app/Contents/Helpers/Deck Audio.app",
                   {{"CFBundleIdentifier", "com.example.deck.audio"}, {"CFBundleName", "Deck Audio"}})};
    runningApps_[300] = {std::nullopt, "Web Content",
                         makeBundle("WebKit.app", {{"CFBundleIdentifier", "com.apple.WebKit.WebContent"}})};
    runningApps_[400] = {"com.zelkor.tonvale.helper", "Helper",
                         makeBundle("Tonvale.app", {{"CFBundleIdentifier", kOwnBundleID}})};
    runningApps_[500] = {"com.example.player", "Player", std::nullopt};
    runningApps_[700] = {std::nullopt, std::nullopt,
                         makeBundle("My Player.app", {{"CFBundleIdentifier", "com.example.myplayer"}})};
    runningApps_[900] = {"com.example.plugin", "Plugin", makeBundle("Host.app", {{"CFBundleIdentifier", " \t"}})};
    const struct {
        const char* what;
        AudioProcessInfo process;
        std::optional<AppIdentity> identity;
    } cases[] = {
        {"a browser's helper joins the browser under its known name",
         process(1, 101, "com.google.Chrome.helper.renderer", "Renderer"),
         AppIdentity{"com.google.Chrome", "Google Chrome"}},
        {"helper of an unknown app joins its enclosing bundle under that bundle's display name",
         process(40, 200, "com.example.deck.audio", "Deck Audio"), AppIdentity{"com.example.deck", "Sound Deck"}},
        {"a family's extension maps to the family", process(1, 1, "org.mozilla.firefox.plugin-container", "x"),
         AppIdentity{"org.mozilla.firefox", "Firefox"}},
        {"a look-alike prefix is not the family", process(2, 2, "com.google.ChromeBeta", "Beta"),
         AppIdentity{"com.google.ChromeBeta", "Beta"}},
        {"an enclosing WebKit bundle keeps the process's own identifier",
         process(50, 300, "com.example.reader", "Reader"), AppIdentity{"com.example.reader", "Web Content"}},
        {"this program's process", process(1, kOwnPID, "com.example.other", "Same PID"), std::nullopt},
        {"this program's identifier", process(2, 401, kOwnBundleID, "Own Identifier"), std::nullopt},
        {"inside this program's bundle", process(3, 400, "com.zelkor.tonvale.helper", "Inside"), std::nullopt},
        {"a blank identifier falls through to the running app's", process(1, 500, " \n\u00A0", "Proc"),
         AppIdentity{"com.example.player", "Player"}},
        {"the enclosing bundle serves a process without an identifier", process(1, 700, "", "Process 700"),
         AppIdentity{"com.example.myplayer", "Process 700"}},
        {"a blank enclosing bundle identifier counts as absent", process(1, 900, "com.example.plugin", "x"),
         AppIdentity{"com.example.plugin", "Plugin"}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(resolver().logicalIdentity(c.process), c.identity) << c.what;
    }
}

TEST_F(LogicalAppResolverTest, Groups_PlayingFirstThenBySmallestMemberName) {
    const auto groups = resolver().resolve(
        {process(1, 1001, "com.example.aardvark", "Aardvark", false), process(2, 1002, "com.example.zebra", "zebra"),
         process(3, 1003, "com.example.mango", "Mango"), process(4, 1004, "com.example.apple", "apple", false),
         process(9, 900, "com.example.suite", "zeta"), process(5, 901, "com.example.suite", "Alpha"),
         process(7, 902, "com.example.suite", "beta", false), process(8, kOwnPID, "com.example.suite", "Own")});
    std::vector<std::string> names;
    for (const auto& group : groups) {
        names.push_back(group.identity.displayName);
    }
    EXPECT_EQ(names, (std::vector<std::string>{"Alpha", "Mango", "zebra", "Aardvark", "apple"}));
}

}  // namespace
}  // namespace tonvale
