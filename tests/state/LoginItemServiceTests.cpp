#include "state/LoginItemService.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "platform/appkit/Workspace.h"
#include "tests/platform/foundation/TemporaryFolder.h"

namespace tonvale {
namespace {

using servicemanagement::SMAppServiceStatus;

// A platform login item whose raw status the test sets, recording every change asked of it.
class FakeAppService final : public servicemanagement::SMAppService {
public:
    FakeAppService() : SMAppService("/nonexistent/autostart", "/nonexistent/tonvale") {}

    SMAppServiceStatus status() const override { return rawStatus; }
    std::optional<foundation::FileError> registerAndReturnError() override {
        calls.emplace_back("register");
        return failure;
    }
    std::optional<foundation::FileError> unregisterAndReturnError() override {
        calls.emplace_back("unregister");
        return failure;
    }

    SMAppServiceStatus rawStatus = SMAppServiceStatus::notRegistered;
    std::optional<foundation::FileError> failure;
    std::vector<std::string> calls;
};

SMAppServiceStatus raw(std::int64_t value) {
    return static_cast<SMAppServiceStatus>(value);
}

class LoginItemServiceTest : public ::testing::Test {
protected:
    std::shared_ptr<FakeAppService> platform_ = std::make_shared<FakeAppService>();
    LoginItemService service_{platform_};
};

TEST_F(LoginItemServiceTest, Status_MapsEveryRawStateAndTreatsUnknownOnesAsUnavailable) {
    const std::vector<std::pair<std::int64_t, LoginItemStatus>> cases{
        {0, LoginItemStatus::disabled()},    {1, LoginItemStatus::enabled()},     {2, LoginItemStatus::requiresApproval()},
        {3, LoginItemStatus::unavailable()}, {7, LoginItemStatus::unavailable()}, {-1, LoginItemStatus::unavailable()},
    };
    for (const auto& [value, expected] : cases) {
        platform_->rawStatus = raw(value);
        EXPECT_EQ(service_.status(), expected) << value;
    }
    EXPECT_NE(LoginItemStatus::failed("a"), LoginItemStatus::failed("b"));
    EXPECT_EQ(LoginItemStatus::failed("a"), LoginItemStatus::failed("a"));
    EXPECT_EQ(LoginItemStatus::failed("a").kind(), LoginItemStatus::Kind::failed);
}

TEST_F(LoginItemServiceTest, SetEnabled_RegistersOnlyWhenNotRegisteredAndUnregistersOnlyWhenRegistered) {
    struct Case {
        std::int64_t rawStatus;
        bool enabled;
        std::vector<std::string> calls;
    };
    const std::vector<Case> cases{
        {0, true, {"register"}}, {1, true, {}},   {2, true, {}},   {3, true, {}},   {7, true, {}},
        {0, false, {}},          {1, false, {"unregister"}},       {2, false, {"unregister"}},
        {3, false, {}},          {7, false, {}},
    };
    for (const Case& c : cases) {
        platform_->rawStatus = raw(c.rawStatus);
        platform_->calls.clear();
        EXPECT_EQ(service_.setEnabled(c.enabled), std::nullopt);
        EXPECT_EQ(platform_->calls, c.calls) << "raw " << c.rawStatus << (c.enabled ? " enabling" : " disabling");
    }
}

TEST_F(LoginItemServiceTest, SetEnabled_ReportsThePlatformsDescription) {
    platform_->failure = foundation::FileError::fromCode(foundation::FileError::Operation::write,
                                                         "/home/ada/.config/autostart/tonvale.desktop", EACCES);
    EXPECT_EQ(service_.setEnabled(true),
              LoginItemError{"Could not write /home/ada/.config/autostart/tonvale.desktop: Permission denied"});
    platform_->rawStatus = SMAppServiceStatus::enabled;
    EXPECT_EQ(service_.setEnabled(false)->localizedDescription,
              "Could not write /home/ada/.config/autostart/tonvale.desktop: Permission denied");
}

// The real autostart entry behind the service: enabling leaves an entry the user switched
// off alone, and replaces one whose program is gone.
TEST(LoginItemServiceOnAutostartTest, EnablingRespectsTheUsersSwitchAndReplacesAStaleEntry) {
    const foundation::testing::TemporaryFolder temporary;
    const std::filesystem::path program = temporary.path() / "tonvale";
    foundation::testing::writeFile(program, "");
    const auto platform = std::make_shared<servicemanagement::SMAppService>(temporary.path() / "autostart", program);
    LoginItemService service(platform);

    ASSERT_EQ(service.setEnabled(true), std::nullopt);
    EXPECT_EQ(service.status(), LoginItemStatus::enabled());

    const std::string switchedOff = "[Desktop Entry]\nType=Application\nExec=" + program.string() + "\nHidden=true\n";
    foundation::testing::writeFile(platform->entryPath(), switchedOff);
    EXPECT_EQ(service.status(), LoginItemStatus::requiresApproval());
    ASSERT_EQ(service.setEnabled(true), std::nullopt);
    EXPECT_EQ(foundation::testing::readFile(platform->entryPath()), switchedOff);

    foundation::testing::writeFile(platform->entryPath(), "[Desktop Entry]\nExec=/nonexistent/tonvale\n");
    EXPECT_EQ(service.status(), LoginItemStatus::disabled());
    ASSERT_EQ(service.setEnabled(true), std::nullopt);
    EXPECT_EQ(service.status(), LoginItemStatus::enabled());

    ASSERT_EQ(service.setEnabled(false), std::nullopt);
    EXPECT_EQ(service.status(), LoginItemStatus::disabled());
    EXPECT_FALSE(std::filesystem::exists(platform->entryPath()));
}

TEST(LoginItemServiceOnAutostartTest, OpeningLoginItemsShowsTheAutostartFolder) {
    const foundation::testing::TemporaryFolder temporary;
    const foundation::testing::ScopedEnvironmentVariable configHome("XDG_CONFIG_HOME", temporary.path().string());
    const auto opener = std::make_shared<appkit::InMemoryURLOpener>();
    appkit::Workspace::sharedWorkspace().setURLOpener(opener);

    LoginItemService(servicemanagement::SMAppService::mainAppService()).openSystemSettingsLoginItems();

    appkit::Workspace::sharedWorkspace().setURLOpener(nullptr);
    EXPECT_EQ(opener->openedURLs(), std::vector<std::string>{"file://" + temporary.path().string() + "/autostart/"});
}

}  // namespace
}  // namespace tonvale
