#include "platform/servicemanagement/SMAppService.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "platform/appkit/Workspace.h"
#include "platform/servicemanagement/DesktopEntry.h"
#include "tests/platform/foundation/TemporaryFolder.h"

namespace servicemanagement {
namespace {

namespace fs = std::filesystem;
using foundation::testing::isPrivilegedUser;
using foundation::testing::readFile;
using foundation::testing::TemporaryFolder;
using foundation::testing::writeFile;

class SMAppServiceTest : public ::testing::Test {
protected:
    SMAppServiceTest() {
        fs::create_directories(program_.parent_path());
        writeFile(program_, "#!/bin/sh\n");
    }

    fs::path autostartFolder() const { return temporary_.path() / "config" / "autostart"; }
    SMAppService service() const { return SMAppService(autostartFolder(), program_); }
    // An entry as the desktop's startup settings leave it after the user's own edit.
    void writeEntry(std::string_view programLine, std::string_view extraLines = "") const {
        fs::create_directories(autostartFolder());
        writeFile(autostartFolder() / "tonvale.desktop", "[Desktop Entry]\nType=Application\nExec=" +
                                                             std::string(programLine) + "\n" + std::string(extraLines));
    }

    std::string quotedProgram() const { return '"' + program_.string() + '"'; }

    TemporaryFolder temporary_;
    fs::path program_ = temporary_.path() / "My Apps" / "tonvale";
};

TEST_F(SMAppServiceTest, RegisterWritesAnEnabledEntryForTheProgramAndUnregisterRemovesIt) {
    SMAppService item = service();
    EXPECT_EQ(item.status(), SMAppServiceStatus::notRegistered);

    ASSERT_EQ(item.registerAndReturnError(), std::nullopt);
    EXPECT_EQ(item.status(), SMAppServiceStatus::enabled);
    const DesktopEntry entry = DesktopEntry::parse(readFile(item.entryPath()));
    EXPECT_EQ(entry.program(), program_.string());
    EXPECT_EQ(entry.values.at("Type"), "Application");
    EXPECT_FALSE(entry.isSwitchedOff());

    ASSERT_EQ(item.unregisterAndReturnError(), std::nullopt);
    EXPECT_FALSE(fs::exists(item.entryPath()));
    EXPECT_EQ(item.status(), SMAppServiceStatus::notRegistered);
    EXPECT_EQ(item.unregisterAndReturnError(), std::nullopt);
}

TEST_F(SMAppServiceTest, AnEntrySwitchedOffByTheUserAwaitsApproval) {
    for (const std::string_view switchedOff : {"Hidden=true\n", "X-GNOME-Autostart-enabled=false\n",
                                               "X-GNOME-Autostart-enabled = false\nHidden=false\n"}) {
        writeEntry(quotedProgram(), switchedOff);
        EXPECT_EQ(service().status(), SMAppServiceStatus::requiresApproval) << switchedOff;
    }
    // The same keys in another group, or with other values, switch nothing off.
    writeEntry(quotedProgram(), "Hidden=false\n[Desktop Action Quit]\nHidden=true\n");
    EXPECT_EQ(service().status(), SMAppServiceStatus::enabled);
}

TEST_F(SMAppServiceTest, AnEntryWhoseProgramIsGoneIsNotRegistered) {
    writeEntry("/nonexistent/old/tonvale --flag");
    EXPECT_EQ(service().status(), SMAppServiceStatus::notRegistered);
    writeEntry("", "Hidden=true\n");
    EXPECT_EQ(service().status(), SMAppServiceStatus::notRegistered);
    // A bare program name is looked up along PATH, as the desktop would run it.
    writeEntry("sh -c true");
    EXPECT_EQ(service().status(), SMAppServiceStatus::enabled);
    writeEntry("tonvale-no-such-program");
    EXPECT_EQ(service().status(), SMAppServiceStatus::notRegistered);
}

TEST_F(SMAppServiceTest, WithoutItsOwnPathTheItemCannotBeFound) {
    SMAppService item(autostartFolder(), std::nullopt);
    EXPECT_EQ(item.status(), SMAppServiceStatus::notFound);
    EXPECT_EQ(item.registerAndReturnError()->reason, "The running program's own path cannot be determined");
    EXPECT_FALSE(fs::exists(autostartFolder()));
}

TEST_F(SMAppServiceTest, AnAutostartFolderThatCannotBeMadeGivesTheSystemsReason) {
    fs::create_directories(autostartFolder().parent_path());
    writeFile(autostartFolder(), "a file where the folder belongs");
    EXPECT_EQ(service().registerAndReturnError()->localizedDescription(),
              "Could not create folder " + autostartFolder().string() + ": Not a directory");
}

TEST_F(SMAppServiceTest, AReadOnlyAutostartFolderGivesPermissionDenied) {
    if (isPrivilegedUser()) {
        GTEST_SKIP() << "the superuser writes into read-only folders";
    }
    fs::create_directories(autostartFolder());
    fs::permissions(autostartFolder(), fs::perms::owner_read | fs::perms::owner_exec);
    SMAppService item = service();
    EXPECT_EQ(item.registerAndReturnError()->localizedDescription(),
              "Could not write " + item.entryPath().string() + ": Permission denied");
    EXPECT_EQ(item.status(), SMAppServiceStatus::notRegistered);
}

TEST(MainAppServiceTest, KeepsItsEntryInTheConfigurationFolderAndStartsThisExecutable) {
    const TemporaryFolder temporary;
    const foundation::testing::ScopedEnvironmentVariable configHome("XDG_CONFIG_HOME", temporary.path().string());
    const std::shared_ptr<SMAppService> item = SMAppService::mainAppService();
    EXPECT_EQ(item->entryPath(), temporary.path() / "autostart" / "tonvale.desktop");

    ASSERT_EQ(item->registerAndReturnError(), std::nullopt);
    EXPECT_EQ(DesktopEntry::parse(readFile(item->entryPath())).program(),
              fs::read_symlink("/proc/self/exe").string());
    EXPECT_EQ(item->status(), SMAppServiceStatus::enabled);
}

TEST(MainAppServiceTest, OpeningTheLoginItemsHandsTheAutostartFolderToTheWorkspace) {
    const TemporaryFolder temporary;
    const fs::path configuration = temporary.path() / "with space";
    const foundation::testing::ScopedEnvironmentVariable configHome("XDG_CONFIG_HOME", configuration.string());
    const auto opener = std::make_shared<appkit::InMemoryURLOpener>();
    appkit::Workspace::sharedWorkspace().setURLOpener(opener);

    SMAppService::openSystemSettingsLoginItems();

    appkit::Workspace::sharedWorkspace().setURLOpener(nullptr);
    EXPECT_EQ(opener->openedURLs(),
              std::vector<std::string>{"file://" + temporary.path().string() + "/with%20space/autostart/"});
    EXPECT_TRUE(fs::is_directory(configuration / "autostart"));
}

TEST(DesktopEntryTest, AnyProgramPathReadsBackFromTheExecLine) {
    for (const std::string path : {"/usr/bin/tonvale", "/opt/My Apps/Tonvale.app/Contents/MacOS/tonvale",
                                   R"(/tmp/q"uote/back\slash/$dollar/`tick`/100%/tonvale)", "/tmp/new\nline/tab\tx"}) {
        const std::string text = DesktopEntry::launching(path, "Tonvale");
        EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 6) << text;
        const DesktopEntry entry = DesktopEntry::parse(text);
        EXPECT_EQ(entry.program(), path) << text;
        EXPECT_FALSE(entry.isSwitchedOff());
    }
    EXPECT_EQ(DesktopEntry::parse("[Desktop Entry]\nExec=\"/a b/c\" --x %U\n").program(), "/a b/c");
    EXPECT_EQ(DesktopEntry::parse("[Desktop Entry]\nExec=/usr/bin/tonvale %U\n").program(), "/usr/bin/tonvale");
    EXPECT_EQ(DesktopEntry::parse("[Other]\nExec=/usr/bin/tonvale\n").program(), std::nullopt);
}

}  // namespace
}  // namespace servicemanagement
