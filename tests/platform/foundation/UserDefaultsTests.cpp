#include "platform/foundation/UserDefaults.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>

#include <string>
#include <vector>

#include "platform/foundation/UserConfigurationDirectory.h"
#include "tests/platform/foundation/TemporaryFolder.h"

namespace foundation {
namespace {

namespace fs = std::filesystem;
using testing::isPrivilegedUser;
using testing::modeOf;
using testing::readFile;
using testing::writeFile;

class UserDefaultsTest : public ::testing::Test {
protected:
    // The domain sits two missing folders deep, as ~/.config/tonvale does on a fresh account.
    fs::path domainFolder() const { return temporary_.path() / "config" / "tonvale"; }
    UserDefaults defaults() const { return UserDefaults(domainFolder()); }

    std::vector<std::string> namesInDomain() const {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(domainFolder())) {
            names.push_back(entry.path().filename().string());
        }
        std::sort(names.begin(), names.end());
        return names;
    }

    testing::TemporaryFolder temporary_;
};

TEST_F(UserDefaultsTest, Values_AreWholeFilesNamedAfterTheirKeysWithPrivateModes) {
    // A permissive umask must not widen the modes, nor a strict one narrow them.
    const mode_t savedMask = ::umask(0);
    const UserDefaults store = defaults();
    EXPECT_EQ(store.dataForKey("Tonvale.persistedState").value(), std::nullopt);
    EXPECT_TRUE(store.keys().value().empty());

    ASSERT_EQ(store.setDataForKey(R"({"a":1})", "Tonvale.persistedState"), std::nullopt);
    ::umask(077);
    ASSERT_EQ(store.setDataForKey(std::string("bytes\0kept", 10), "Other"), std::nullopt);
    ::umask(savedMask);

    EXPECT_EQ(readFile(domainFolder() / "Tonvale.persistedState"), R"({"a":1})");
    EXPECT_EQ(store.dataForKey("Other").value(), std::string("bytes\0kept", 10));
    EXPECT_EQ(modeOf(domainFolder()), 0700U);
    EXPECT_EQ(modeOf(domainFolder().parent_path()), 0700U);
    EXPECT_EQ(modeOf(domainFolder() / "Tonvale.persistedState"), 0600U);
    EXPECT_EQ(modeOf(domainFolder() / "Other"), 0600U);

    ASSERT_EQ(store.setDataForKey("{}", "Tonvale.persistedState"), std::nullopt);
    EXPECT_EQ(store.dataForKey("Tonvale.persistedState").value(), "{}");
    // Replacing leaves no temporary file behind, and hidden files are never keys.
    writeFile(domainFolder() / ".Other.abc123", "half");
    EXPECT_EQ(namesInDomain(), (std::vector<std::string>{".Other.abc123", "Other", "Tonvale.persistedState"}));
    EXPECT_EQ(store.keys().value(), (std::vector<std::string>{"Other", "Tonvale.persistedState"}));

    ASSERT_EQ(store.removeObjectForKey("Other"), std::nullopt);
    ASSERT_EQ(store.removeObjectForKey("Other"), std::nullopt);
    EXPECT_EQ(store.dataForKey("Other").value(), std::nullopt);
}

TEST_F(UserDefaultsTest, SetDataIfAbsent_NeverReplacesAValue) {
    const UserDefaults store = defaults();
    EXPECT_TRUE(store.setDataIfAbsent("first", "Copy").value());
    EXPECT_FALSE(store.setDataIfAbsent("second", "Copy").value());
    EXPECT_EQ(store.dataForKey("Copy").value(), "first");
    EXPECT_EQ(modeOf(domainFolder() / "Copy"), 0600U);
    EXPECT_EQ(namesInDomain(), std::vector<std::string>{"Copy"});
}

TEST_F(UserDefaultsTest, ASymbolicLinkIsReadThroughButReplacedNotWrittenThrough) {
    const fs::path elsewhere = temporary_.path() / "elsewhere.json";
    writeFile(elsewhere, "outside");
    fs::create_directories(domainFolder());
    fs::create_symlink(elsewhere, domainFolder() / "Key");
    const UserDefaults store = defaults();

    EXPECT_EQ(store.dataForKey("Key").value(), "outside");
    ASSERT_EQ(store.setDataForKey("inside", "Key"), std::nullopt);
    EXPECT_FALSE(fs::is_symlink(domainFolder() / "Key"));
    EXPECT_EQ(readFile(domainFolder() / "Key"), "inside");
    EXPECT_EQ(readFile(elsewhere), "outside");
}

TEST_F(UserDefaultsTest, Failures_NameThePathAndTheSystemsReason) {
    fs::create_directories(domainFolder());
    fs::create_directory(domainFolder() / "Folder");
    ASSERT_EQ(::mkfifo((domainFolder() / "Pipe").c_str(), 0600), 0);
    const std::string folder = domainFolder().string();

    const FileError directory = defaults().dataForKey("Folder").error();
    EXPECT_EQ(directory.localizedDescription(), "Could not read " + folder + "/Folder: Is a directory");
    EXPECT_EQ(directory.code, EISDIR);
    EXPECT_EQ(defaults().setDataForKey("x", "Folder")->localizedDescription(),
              "Could not write " + folder + "/Folder: Is a directory");
    // A pipe where a value belongs is refused at once instead of blocking the reader.
    EXPECT_EQ(defaults().dataForKey("Pipe").error().localizedDescription(),
              "Could not read " + folder + "/Pipe: Not a regular file");

    for (const std::string& key : std::vector<std::string>{"", ".hidden", "a/b", std::string("a\0b", 3)}) {
        EXPECT_EQ(defaults().setDataForKey("x", key)->reason, "Not a usable key") << key;
    }
    const FileError nowhere = UserDefaults(fs::path()).dataForKey("Key").error();
    EXPECT_EQ(nowhere.reason, "No settings folder: neither XDG_CONFIG_HOME nor HOME names an absolute folder");

    // A file where the domain's parent folder belongs: even a privileged user cannot help it.
    writeFile(temporary_.path() / "blocked", "");
    const UserDefaults blocked(temporary_.path() / "blocked" / "tonvale");
    EXPECT_EQ(blocked.setDataForKey("x", "Key")->localizedDescription(),
              "Could not create folder " + (temporary_.path() / "blocked" / "tonvale").string() + ": Not a directory");
    EXPECT_EQ(blocked.dataForKey("Key").error().code, ENOTDIR);
}

TEST_F(UserDefaultsTest, AReadOnlyFolderRefusesWritesWithPermissionDenied) {
    if (isPrivilegedUser()) {
        GTEST_SKIP() << "the superuser writes into read-only folders";
    }
    ASSERT_EQ(defaults().setDataForKey("old", "Key"), std::nullopt);
    fs::permissions(domainFolder(), fs::perms::owner_read | fs::perms::owner_exec);
    EXPECT_EQ(defaults().setDataForKey("new", "Key")->localizedDescription(),
              "Could not write " + (domainFolder() / "Key").string() + ": Permission denied");
    EXPECT_EQ(defaults().dataForKey("Key").value(), "old");
}

TEST(UserConfigurationDirectoryTest, FollowsTheBaseDirectoryRule) {
    struct Case {
        std::optional<std::string> xdgConfigHome;
        std::optional<std::string> home;
        std::string expected;
    };
    const std::vector<Case> cases{
        {"/srv/config", "/home/ada", "/srv/config"},
        {"/srv/config/", "/home/ada", "/srv/config/"},
        {std::nullopt, "/home/ada", "/home/ada/.config"},
        {"", "/home/ada", "/home/ada/.config"},
        {"relative/config", "/home/ada", "/home/ada/.config"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(userConfigurationDirectory(c.xdgConfigHome, c.home), fs::path(c.expected))
            << c.xdgConfigHome.value_or("(unset)");
    }
    // Without a usable $HOME the password database still knows where home is.
    const std::optional<fs::path> fallback = userConfigurationDirectory(std::nullopt, "not/absolute");
    ASSERT_TRUE(fallback.has_value());
    EXPECT_TRUE(fallback->is_absolute());
    EXPECT_EQ(fallback->filename(), ".config");
}

TEST(StandardUserDefaultsTest, LivesInTheTonvaleFolderOfTheConfigurationFolder) {
    const testing::TemporaryFolder temporary;
    const testing::ScopedEnvironmentVariable configHome("XDG_CONFIG_HOME", temporary.path().string());
    EXPECT_EQ(UserDefaults::standardUserDefaults().folder(), temporary.path() / "tonvale");
}

}  // namespace
}  // namespace foundation
