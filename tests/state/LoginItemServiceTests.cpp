// The login item's states as the platform reports them, and the changes asked of the
// platform: only those that change something. The entry on disk is the platform's own test.
#include "state/LoginItemService.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <memory>
#include <string>
#include <vector>

namespace tonvale {
namespace {

using servicemanagement::SMAppServiceStatus;

// A platform login item with the raw status the test sets, recording each change asked of it.
class FakeAppService final : public servicemanagement::SMAppService {
public:
    FakeAppService() : SMAppService("/nonexistent", std::nullopt) {}
    SMAppServiceStatus status() const override { return static_cast<SMAppServiceStatus>(rawStatus); }
    std::optional<foundation::FileError> registerAndReturnError() override { return record("register"); }
    std::optional<foundation::FileError> unregisterAndReturnError() override { return record("unregister"); }

    std::int64_t rawStatus = 0;
    std::optional<foundation::FileError> failure;
    std::vector<std::string> calls;

private:
    std::optional<foundation::FileError> record(std::string call) {
        calls.push_back(std::move(call));
        return failure;
    }
};

TEST(LoginItemServiceTest, MapsRawStatesAndChangesOnlyWhatNeedsChanging) {
    const auto platform = std::make_shared<FakeAppService>();
    LoginItemService service(platform);
    struct Case {
        std::int64_t rawStatus;
        LoginItemStatus status;
        std::vector<std::string> callsEnabling;
        std::vector<std::string> callsDisabling;
    };
    const std::vector<Case> cases{
        {0, LoginItemStatus::disabled(), {"register"}, {}},
        {1, LoginItemStatus::enabled(), {}, {"unregister"}},
        {2, LoginItemStatus::requiresApproval(), {}, {"unregister"}},
        {3, LoginItemStatus::unavailable(), {}, {}},
        {7, LoginItemStatus::unavailable(), {}, {}},
    };
    for (const Case& c : cases) {
        platform->rawStatus = c.rawStatus;
        EXPECT_EQ(service.status(), c.status) << c.rawStatus;
        for (const bool enabled : {true, false}) {
            platform->calls.clear();
            EXPECT_EQ(service.setEnabled(enabled), std::nullopt);
            EXPECT_EQ(platform->calls, enabled ? c.callsEnabling : c.callsDisabling) << c.rawStatus << enabled;
        }
    }
    platform->rawStatus = 1;
    platform->failure =
        foundation::FileError::fromCode(foundation::FileError::Operation::write, "/a/tonvale.desktop", EACCES);
    EXPECT_EQ(service.setEnabled(false), LoginItemError{"Could not write /a/tonvale.desktop: Permission denied"});
}

}  // namespace
}  // namespace tonvale
