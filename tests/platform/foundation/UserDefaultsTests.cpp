// The defaults domain as one private, atomically written file per key, and its failures' texts.
#include "platform/foundation/UserDefaults.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cerrno>
#include <string>
#include <vector>

#include "platform/foundation/UserConfigurationDirectory.h"
#include "tests/platform/foundation/TemporaryFolder.h"

namespace foundation {
namespace {

namespace fs = std::filesystem;
using testing::modeOf;
using testing::readFile;
using testing::writeFile;

class UserDefaultsTest : public ::testing::Test {
protected:
    // Two missing folders deep, as ~/.config/tonvale on a fresh account.
    fs::path folder() const { return temporary_.path() / "config" / "tonvale"; }

    testing::TemporaryFolder temporary_;
    UserDefaults defaults_{folder()};
};

TEST_F(UserDefaultsTest, Values_AreWholePrivateFilesNamedAfterTheirKeys) {
    EXPECT_EQ(defaults_.dataForKey("Tonvale.persistedState", 100).value(), std::nullopt);
    EXPECT_TRUE(defaults_.keys().value().empty());
    // Neither a permissive nor a strict umask changes the modes.
    const mode_t savedMask = ::umask(0);
    ASSERT_TRUE(defaults_.setDataForKey(R"({"a":1})", "Tonvale.persistedState"));
    ::umask(077);
    ASSERT_TRUE(defaults_.setDataForKey(std::string("raw\0bytes", 9), "Other"));
    ::umask(savedMask);
    const FileIdentity written = defaults_.setDataForKey("{}", "Tonvale.persistedState").value();

    EXPECT_EQ(readFile(folder() / "Tonvale.persistedState"), "{}");
    EXPECT_EQ(defaults_.dataForKey("Tonvale.persistedState", 100).value(), (FileContents{"{}", written}));
    EXPECT_EQ(defaults_.dataForKey("Other", 100).value()->bytes, std::string("raw\0bytes", 9));
    EXPECT_EQ((std::vector<unsigned>{modeOf(folder().parent_path()), modeOf(folder()),
                                     modeOf(folder() / "Tonvale.persistedState"), modeOf(folder() / "Other")}),
              (std::vector<unsigned>{0700, 0700, 0600, 0600}));
    // No temporary file is left behind; a killed writer's hidden one is no key, and goes once
    // the domain is held.
    writeFile(folder() / ".Other.Xy12Ab", "half");
    writeFile(folder() / ".Other.notes", "the user's");
    EXPECT_EQ(std::distance(fs::directory_iterator(folder()), fs::directory_iterator()), 4);
    EXPECT_EQ(defaults_.keys().value(), (std::vector<std::string>{"Other", "Tonvale.persistedState"}));
    ASSERT_TRUE(defaults_.exclusiveAccess(false));
    EXPECT_FALSE(fs::exists(folder() / ".Other.Xy12Ab"));
    EXPECT_TRUE(fs::exists(folder() / ".Other.notes"));

    EXPECT_TRUE(defaults_.copyDataIfAbsent("Other", "Copy").value());
    EXPECT_FALSE(defaults_.copyDataIfAbsent("Tonvale.persistedState", "Copy").value());
    EXPECT_TRUE(defaults_.hasSameData("Copy", "Other").value());
    EXPECT_FALSE(defaults_.hasSameData("Copy", "Tonvale.persistedState").value());
    ASSERT_EQ(defaults_.removeObjectForKey("Other"), std::nullopt);
    ASSERT_EQ(defaults_.removeObjectForKey("Other"), std::nullopt);
    EXPECT_EQ(defaults_.identityForKey("Other").value(), std::nullopt);
}

TEST_F(UserDefaultsTest, Failures_NameThePathAndTheSystemsReason) {
    fs::create_directories(folder() / "Folder");
    ASSERT_EQ(::mkfifo((folder() / "Pipe").c_str(), 0600), 0);
    const std::string path = folder().string();
    EXPECT_EQ(defaults_.dataForKey("Folder", 100).error(),
              FileError::fromCode(FileError::Operation::read, path + "/Folder", EISDIR));
    EXPECT_EQ(defaults_.setDataForKey("x", "Folder").error().localizedDescription(),
              "Could not write " + path + "/Folder: Is a directory");
    // A pipe is refused at once rather than blocking the reader.
    EXPECT_EQ(defaults_.dataForKey("Pipe", 100).error().localizedDescription(),
              "Could not read " + path + "/Pipe: Not a regular file");
    for (const std::string& key : std::vector<std::string>{"", ".hidden", "a/b", std::string("a\0b", 3)}) {
        EXPECT_EQ(defaults_.setDataForKey("x", key).error().reason, "Not a usable key") << key;
    }
    EXPECT_EQ(UserDefaults(fs::path()).dataForKey("Key", 100).error().reason,
              "No settings folder: neither XDG_CONFIG_HOME nor HOME names an absolute folder");
}

TEST(UserConfigurationDirectoryTest, FollowsTheBaseDirectoryRule) {
    using Optional = std::optional<std::string>;
    EXPECT_EQ(userConfigurationDirectory(Optional("/srv/config"), "/home/ada"), fs::path("/srv/config"));
    for (const Optional& ignored : {Optional(), Optional(""), Optional("relative/config")}) {
        EXPECT_EQ(userConfigurationDirectory(ignored, "/home/ada"), fs::path("/home/ada/.config"));
    }
    // Without a usable $HOME the password database still knows where home is.
    EXPECT_EQ(userConfigurationDirectory(Optional(), "not/absolute").value_or("").filename(), ".config");

    const testing::TemporaryFolder temporary;
    const testing::ScopedEnvironmentVariable configHome("XDG_CONFIG_HOME", temporary.path().string());
    EXPECT_EQ(UserDefaults::standardUserDefaults().folder(), temporary.path() / "tonvale");
}

}  // namespace
}  // namespace foundation
