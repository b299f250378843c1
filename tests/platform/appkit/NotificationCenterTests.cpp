#include "platform/appkit/NotificationCenter.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "platform/appkit/Workspace.h"
#include "platform/dispatch/Dispatch.h"
#include "sim/SimulatedServer.h"

namespace appkit {
namespace {

class NotificationCenterTest : public ::testing::Test {
protected:
    NotificationCenter& center() { return Workspace::sharedWorkspace().notificationCenter(); }

    dispatch::VirtualTime time_;
    std::shared_ptr<sim::SimulatedServer> server_ = sim::SimulatedServer::create(sim::Scenario{});
};

TEST_F(NotificationCenterTest, ObserverWithoutQueue_RunsOnThePostingThreadForItsNameOnly) {
    std::vector<NotificationName> received;
    const NotificationObserverToken sleep = center().addObserver(
        NSWorkspaceWillSleepNotification, nullptr, nullptr, [&] { received.push_back(NSWorkspaceWillSleepNotification); });
    const NotificationObserverToken wake = center().addObserver(
        NSWorkspaceDidWakeNotification, nullptr, nullptr, [&] { received.push_back(NSWorkspaceDidWakeNotification); });

    server_->sleep();
    EXPECT_EQ(received, std::vector<NotificationName>{NSWorkspaceWillSleepNotification}) << "no time passed";
    server_->wake();
    EXPECT_EQ(received, (std::vector<NotificationName>{NSWorkspaceWillSleepNotification, NSWorkspaceDidWakeNotification}));

    center().removeObserver(sleep);
    center().removeObserver(wake);
    EXPECT_EQ(server_->workspaceObserverCount(), 0u);
}

TEST_F(NotificationCenterTest, ObserverWithQueue_RunsLaterOnThatQueue) {
    const dispatch::QueuePtr queue = dispatch::DispatchQueue::create("test.observer");
    int onQueue = 0;
    const NotificationObserverToken token = center().addObserver(
        NSWorkspaceDidWakeNotification, nullptr, queue, [&] { onQueue += queue->isCurrent() ? 1 : 100; });

    server_->wake();
    EXPECT_EQ(onQueue, 0);
    time_.runUntilIdle();
    EXPECT_EQ(onQueue, 1);
    center().removeObserver(token);
}

TEST_F(NotificationCenterTest, RemovedObserver_IsNotCalledAndRemovingTwiceIsHarmless) {
    int calls = 0;
    const NotificationObserverToken token =
        center().addObserver(NSWorkspaceWillSleepNotification, nullptr, nullptr, [&] { ++calls; });
    center().removeObserver(token);
    center().removeObserver(token);

    server_->sleep();

    EXPECT_EQ(calls, 0);
}

TEST_F(NotificationCenterTest, UnknownNameOrNoServer_ObservesNothing) {
    const NotificationObserverToken unknown = center().addObserver("NSWorkspaceDidMountNotification", nullptr, nullptr, [] {});
    EXPECT_EQ(server_->workspaceObserverCount(), 0u);
    center().removeObserver(unknown);

    server_.reset();
    const NotificationObserverToken orphan =
        center().addObserver(NSWorkspaceWillSleepNotification, nullptr, nullptr, [] {});
    EXPECT_TRUE(orphan.server.expired());
    center().removeObserver(orphan);
}

}  // namespace
}  // namespace appkit
