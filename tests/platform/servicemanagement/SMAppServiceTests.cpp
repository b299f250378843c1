// The login item as an autostart entry: written, read back and removed as the desktop reads
// it, with the path and the system's reason when it cannot be.
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
using foundation::testing::readFile;
using foundation::testing::ScopedEnvironmentVariable;
using foundation::testing::TemporaryFolder;
using foundation::testing::writeFile;
using Status = SMAppServiceStatus;

class SMAppServiceTest : public ::testing::Test {
protected:
    SMAppServiceTest() {
        fs::create_directories(program_.parent_path());
        writeFile(program_, "#!/bin/sh\n");
    }

    fs::path autostart() const { return temporary_.path() / "config" / "autostart"; }

    TemporaryFolder temporary_;
    fs::path program_ = temporary_.path() / "My Apps" / "tonvale";
    SMAppService item_{autostart(), program_};
};

TEST_F(SMAppServiceTest, RegisterWritesAnEnabledEntryStartingTheProgramAndUnregisterRemovesIt) {
    EXPECT_EQ(item_.status(), Status::notRegistered);
    ASSERT_EQ(item_.registerAndReturnError(), std::nullopt);
    EXPECT_EQ(item_.status(), Status::enabled);
    EXPECT_EQ(DesktopEntry::parse(readFile(item_.entryPath())).program(), program_.string());

    ASSERT_EQ(item_.unregisterAndReturnError(), std::nullopt);
    EXPECT_FALSE(fs::exists(item_.entryPath()));
    EXPECT_EQ(item_.status(), Status::notRegistered);
    EXPECT_EQ(item_.unregisterAndReturnError(), std::nullopt);

    writeFile(item_.entryPath(), "[Desktop Entry]\nExec=/nonexistent/tonvale\n");
    ASSERT_EQ(item_.registerAndReturnError(), std::nullopt);
    EXPECT_EQ(item_.status(), Status::enabled) << "an entry for a program that is gone is replaced";
}

TEST_F(SMAppServiceTest, Status_ReadsTheEntryAsTheDesktopWould) {
    const std::string program = "\"" + program_.string() + "\"";
    const std::vector<std::pair<std::string, Status>> cases{
        {"Exec=" + program + "\nHidden=true", Status::requiresApproval},
        {"Exec=" + program + "\nX-GNOME-Autostart-enabled = false\nHidden=false", Status::requiresApproval},
        // The keys count only in the main group.
        {"Exec=" + program + "\n[Desktop Action Quit]\nHidden=true", Status::enabled},
        // An enabled entry whose program is gone is as good as none; one switched off stays off.
        {"Exec=/nonexistent/tonvale --flag", Status::notRegistered},
        {"Exec=/nonexistent/tonvale --flag\nHidden=true", Status::requiresApproval},
        {"Exec=", Status::notRegistered},
        // A bare name is looked up along PATH.
        {"Exec=sh -c true", Status::enabled},
        {"Exec=tonvale-no-such-program", Status::notRegistered},
    };
    fs::create_directories(autostart());
    for (const auto& [lines, expected] : cases) {
        writeFile(item_.entryPath(), "[Desktop Entry]\nType=Application\n" + lines + "\n");
        EXPECT_EQ(item_.status(), expected) << lines;
    }
    EXPECT_EQ(SMAppService(autostart(), std::nullopt).status(), Status::notFound);
}

TEST_F(SMAppServiceTest, Failures_GiveThePathAndTheSystemsReason) {
    EXPECT_EQ(SMAppService(autostart(), std::nullopt).registerAndReturnError()->reason,
              "The running program's own path cannot be determined");
    fs::create_directories(autostart().parent_path());
    writeFile(autostart(), "a file where the folder belongs");
    EXPECT_EQ(item_.registerAndReturnError()->localizedDescription(),
              "Could not create folder " + autostart().string() + ": Not a directory");
    // A failed write of the entry itself, which even the superuser meets.
    fs::remove(autostart());
    fs::create_directories(item_.entryPath());
    EXPECT_TRUE(item_.registerAndReturnError().has_value());
}

TEST(MainAppServiceTest, StartsThisExecutableFromTheConfigurationFolderAndOpensItsFolder) {
    const TemporaryFolder temporary;
    const fs::path configuration = temporary.path() / "with space";
    const ScopedEnvironmentVariable configHome("XDG_CONFIG_HOME", configuration.string());
    const std::shared_ptr<SMAppService> item = SMAppService::mainAppService();
    ASSERT_EQ(item->registerAndReturnError(), std::nullopt);
    EXPECT_EQ(DesktopEntry::parse(readFile(configuration / "autostart" / "tonvale.desktop")).program(),
              fs::read_symlink("/proc/self/exe").string());

    const auto opener = std::make_shared<appkit::InMemoryURLOpener>();
    appkit::Workspace::sharedWorkspace().setURLOpener(opener);
    SMAppService::openSystemSettingsLoginItems();
    appkit::Workspace::sharedWorkspace().setURLOpener(nullptr);
    EXPECT_EQ(opener->openedURLs(),
              std::vector<std::string>{"file://" + temporary.path().string() + "/with%20space/autostart/"});
}

TEST(DesktopEntryTest, AnyProgramPathReadsBackFromTheExecLine) {
    for (const std::string path : {"/opt/My Apps/Tonvale.app/Contents/MacOS/tonvale",
                                   R"(/tmp/q"uote/back\slash/$dollar/`tick`/100%/tonvale)", "/tmp/new\nline/tab\tx"}) {
        const std::string text = DesktopEntry::launching(path, "Tonvale");
        EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 6) << text;
        EXPECT_EQ(DesktopEntry::parse(text).program(), path) << text;
    }
    EXPECT_EQ(DesktopEntry::parse("[Desktop Entry]\nExec=\"/a b/c\" --x %U\n").program(), "/a b/c");
    EXPECT_EQ(DesktopEntry::parse("[Desktop Entry]\nExec=/usr/bin/tonvale %U\n").program(), "/usr/bin/tonvale");
}

}  // namespace
}  // namespace servicemanagement
