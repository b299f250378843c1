// The workspace's notification center over the installed desktop service, its URL opener and the pasteboard.
#include "platform/appkit/Workspace.h"

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/appkit/Pasteboard.h"
#include "platform/appkit/WorkspaceService.h"
#include "platform/dispatch/Dispatch.h"

namespace appkit {
namespace {

// A desktop that posts what the test tells it to.
class FakeWorkspaceService final : public WorkspaceService {
public:
    std::vector<RunningApplication> runningApplications() const override { return {}; }
    std::optional<std::filesystem::path> URLForApplicationWithBundleIdentifier(const std::string&) const override {
        return std::nullopt;
    }
    std::uint64_t addObserver(NotificationName name, std::function<void()> block) override {
        if (name != NSWorkspaceWillSleepNotification && name != NSWorkspaceDidWakeNotification) {
            return 0;
        }
        observers[nextToken] = {std::string(name), std::move(block)};
        return nextToken++;
    }
    void removeObserver(std::uint64_t token) override { observers.erase(token); }

    void post(NotificationName name) {
        for (const auto& [token, observer] : std::map(observers)) {
            if (observer.first == name) {
                observer.second();
            }
        }
    }

    std::map<std::uint64_t, std::pair<std::string, std::function<void()>>> observers;
    std::uint64_t nextToken = 1;
};

class WorkspaceTest : public ::testing::Test {
protected:
    WorkspaceTest() { WorkspaceInstallService(service_); }
    ~WorkspaceTest() override { WorkspaceInstallService(nullptr); }

    NotificationCenter& center() { return Workspace::sharedWorkspace().notificationCenter(); }

    dispatch::VirtualTime time_;
    std::shared_ptr<FakeWorkspaceService> service_ = std::make_shared<FakeWorkspaceService>();
};

TEST_F(WorkspaceTest, ObserverWithoutQueue_RunsOnThePostingThreadForItsNameOnly_UntilRemoved) {
    std::vector<NotificationName> received;
    const NotificationObserverToken sleep =
        center().addObserver(NSWorkspaceWillSleepNotification, nullptr, nullptr,
                             [&] { received.push_back(NSWorkspaceWillSleepNotification); });
    const NotificationObserverToken wake = center().addObserver(
        NSWorkspaceDidWakeNotification, nullptr, nullptr, [&] { received.push_back(NSWorkspaceDidWakeNotification); });

    service_->post(NSWorkspaceWillSleepNotification);
    EXPECT_EQ(received, std::vector<NotificationName>{NSWorkspaceWillSleepNotification}) << "no time passed";

    center().removeObserver(sleep);
    center().removeObserver(sleep);
    service_->post(NSWorkspaceWillSleepNotification);
    service_->post(NSWorkspaceDidWakeNotification);
    EXPECT_EQ(received,
              (std::vector<NotificationName>{NSWorkspaceWillSleepNotification, NSWorkspaceDidWakeNotification}));
    center().removeObserver(wake);
    EXPECT_TRUE(service_->observers.empty());
}

TEST_F(WorkspaceTest, URLsAndPasteboardText_GoToWhatIsInstalled_InMemoryByDefault) {
    auto& workspace = Workspace::sharedWorkspace();
    auto opener = std::make_shared<InMemoryURLOpener>();
    workspace.setURLOpener(opener);
    EXPECT_TRUE(workspace.openURL("file:///tmp/help.html"));
    EXPECT_EQ(opener->openedURLs(), std::vector<std::string>{"file:///tmp/help.html"});
    const auto fresh = std::dynamic_pointer_cast<InMemoryURLOpener>(workspace.setURLOpener(nullptr));
    ASSERT_TRUE(fresh);
    EXPECT_TRUE(fresh->openedURLs().empty());

    Pasteboard& pasteboard = Pasteboard::generalPasteboard();
    pasteboard.clearContents();
    EXPECT_FALSE(pasteboard.string());
    EXPECT_TRUE(pasteboard.setString("report"));
    EXPECT_EQ(pasteboard.string(), "report");
    pasteboard.setStore(nullptr);
    EXPECT_FALSE(pasteboard.string());
}

}  // namespace
}  // namespace appkit
