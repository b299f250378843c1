// What the model-based test does not watch: the order of the reconciler's notifications,
// routes kept across gain changes, a change reconciled once after a teardown, snapshots,
// release, and the health check's timing.
#include "reconcile/RouteReconciler.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "tests/reconcile/ReconcilerTestWorld.h"

namespace tonvale {
namespace {

using namespace tonvale::testing;
using Phase = RouteLifecyclePhase;
using StatusMap = RouteReconciler::StatusMap;

const OutputPreference kSystemDefault = OutputPreference::systemDefault();

class RouteReconcilerTest : public ::testing::Test {
protected:
    ReconcilerWorld world;
    RouteReconciler& reconciler = *world.reconciler;
};

TEST_F(RouteReconcilerTest, Statuses_NotifyOnlyChanges_ObserversBeforeTheWriteAndTheCallbackAfter) {
    std::vector<std::string> order;
    StatusMap told;
    combine::AnyCancellable objectSubscription = reconciler.objectWillChange().sink([&] { order.push_back("object"); });
    combine::AnyCancellable statusSubscription = reconciler.statusesPublisher().sink([&](const StatusMap& next) {
        EXPECT_NE(next, reconciler.statuses()) << "told before the write";
        order.push_back("published");
    });
    reconciler.setOnStatusesChanged([&](const StatusMap& map) {
        EXPECT_EQ(&map, &reconciler.statuses());
        order.push_back("changed");
        told = map;
    });
    reconciler.updateDeviceSnapshot(desk(kSpeakersID, false));
    reconciler.updateProcessGroups({group(kMusic, {{100, true}})});
    reconciler.updateProfile(profile(kMusic, 1.0F, false, headsetPreference()));
    reconciler.updateProfile(profile(kMusic, 1.0F, false, headsetPreference()));
    reconciler.retryBlockedRoutes();
    EXPECT_EQ(order, (std::vector<std::string>{"object", "published", "changed"})) << "equal statuses are not stored";

    const OutputPreference renamed = OutputPreference::device(kHeadset, "USB Headset");
    reconciler.updateProfile(profile(kMusic, 1.0F, false, renamed));
    EXPECT_EQ(told.at(kMusic).preferredOutput, renamed) << "another remembered device name is another status";
    reconciler.stopAll();
    EXPECT_TRUE(told.empty());
    world.reconciler.reset();  // the subscriptions end after their publisher
}

TEST_F(RouteReconcilerTest, GainChangesAndReorderedProcesses_KeepTheRouteAndItsStatus) {
    world.answersAtOnce = true;
    reconciler.updateDeviceSnapshot(desk());
    reconciler.updateProcessGroups({group(kMusic, {{101, true}, {100, true}})});
    reconciler.updateProfile(profile(kMusic, 0.5F));
    world.settle();
    ASSERT_EQ(world.phase(kMusic), Phase::active);
    const std::size_t changes = world.changes.size();

    reconciler.updateProfile(profile(kMusic, 0.25F));
    reconciler.updateProfile(profile(kMusic, 0.25F, true));
    reconciler.updateProcessGroups({group(kMusic, {{100, true}, {101, true}})});
    world.settle();
    EXPECT_EQ(world.engines.size(), 1U);
    EXPECT_EQ(world.engine(0).gains, (std::vector<float>{0.5F, 0.25F, 0.0F, 0.0F}));
    EXPECT_EQ(world.changes.size(), changes);
}

TEST_F(RouteReconcilerTest, ProfileChangeDuringATeardown_IsReconciledOnceWhenItHasFinished) {
    world.routeMusic();
    world.engine(0).answerNext();
    world.settle();
    reconciler.updateProfile(profile(kMusic, 1.0F));
    reconciler.updateProfile(profile(kMusic, 0.3F));
    EXPECT_EQ(world.engines.size(), 1U);
    EXPECT_EQ(world.status(kMusic), RouteStatus::stopping(kSystemDefault));

    const std::size_t changes = world.changes.size();
    world.engine(0).answerNext();
    world.settle();
    ASSERT_EQ(world.engines.size(), 2U);
    EXPECT_EQ(world.engine(1).gains, (std::vector<float>{0.3F}));
    ASSERT_EQ(world.changes.size(), changes + 2);
    EXPECT_EQ(world.changes[changes].at(kMusic).phase, Phase::bypassed);
    EXPECT_EQ(world.changes[changes + 1].at(kMusic).phase, Phase::starting);
}

TEST_F(RouteReconcilerTest, CollectRouteSnapshots_AnswersEveryRouteTogether) {
    std::optional<RouteReconciler::RouteSnapshots> collected;
    reconciler.collectRouteSnapshots([&](RouteReconciler::RouteSnapshots snapshots) { collected = snapshots; });
    EXPECT_EQ(collected, RouteReconciler::RouteSnapshots{}) << "at once without routes";

    world.answersAtOnce = true;
    world.routeMusic();
    reconciler.updateProcessGroups({group(kMusic, {{100, true}}), group(kChat, {{200, true}})});
    reconciler.updateProfile(profile(kChat, 0.5F));
    world.settle();
    collected.reset();
    reconciler.collectRouteSnapshots([&](RouteReconciler::RouteSnapshots snapshots) { collected = snapshots; });
    EXPECT_FALSE(collected.has_value());
    world.settle();
    ASSERT_TRUE(collected.has_value());
    EXPECT_EQ(collected->size(), 2U);
    EXPECT_TRUE(collected->at(kChat).isActive);
}

TEST_F(RouteReconcilerTest, Release_StopsEveryRouteAndDropsLaterAnswers) {
    world.routeMusic();
    world.reconciler.reset();
    EXPECT_EQ(world.engine(0).stopRequests, 1);
    world.engine(0).answerNext();
    world.engine(0).answerNext();
    world.settle();
    EXPECT_FALSE(world.engine(0).wasReleasedUnstopped);
    EXPECT_EQ(world.time.pendingCount(), 0U);
}

// Health checks every two seconds.

TEST(RouteHealthTest, FrozenCallbacks_FailAtTheThirdUnchangedCheck_SixToEightSecondsLater) {
    for (const double afterCheck : {0.0, 0.1, 1.0, 1.9}) {
        SCOPED_TRACE(afterCheck);
        ReconcilerWorld world;
        world.routeMusic();
        world.engine(0).answerNext();
        world.time.advance(2 * kHealthInterval + afterCheck);
        const dispatch::Seconds frozenAt = world.time.now();
        world.engine(0).frozenAt = frozenAt;
        while (world.phase(kMusic) == Phase::active && world.time.now() < frozenAt + 10.0) {
            world.time.advance(0.01);
        }
        EXPECT_EQ(world.status(kMusic), RouteStatus::stopping(kSystemDefault));
        EXPECT_GE(world.time.now() - frozenAt, 6.0);
        EXPECT_LE(world.time.now() - frozenAt, 8.0);

        world.engine(0).answerNext();
        world.settle();
        EXPECT_EQ(world.status(kMusic),
                  RouteStatus::failedRecoverable(kSystemDefault, kSpeakers, RouteStatus::kHeartbeatStalledMessage));
        world.reconciler->reconcileAll();
        EXPECT_EQ(world.engines.size(), 1U) << "no retry before the next event";
    }
}

// A change of processes waits for the verdict on a route that may have stalled: a new
// route's first callbacks would hide the stall.
TEST(RouteHealthTest, TwoUnchangedChecksThenCallbacks_KeepTheRoute_AndAProcessChangeWaitsForThem) {
    ReconcilerWorld world;
    world.routeMusic();
    world.engine(0).answerNext();
    world.time.advance(kHealthInterval);
    world.engine(0).frozenAt = world.time.now();
    world.time.advance(kHealthInterval + 0.5);
    world.reconciler->updateProcessGroups({group(kMusic, {{100, true}, {101, true}})});
    world.time.advance(kHealthInterval);
    EXPECT_EQ(world.engine(0).stopRequests, 0);
    world.engine(0).frozenAt.reset();
    world.time.advance(kHealthInterval);
    ASSERT_EQ(world.engine(0).stopRequests, 1) << "alive after all: the held change applies";
    world.engine(0).answerNext();
    world.settle();
    world.engine(1).answerNext();
    world.settle();
    EXPECT_EQ(world.engine(1).processIDs, (std::vector<AudioObjectID>{100, 101}));
    const int requests = world.engine(1).snapshotRequests;
    world.time.advance(kHealthInterval);
    EXPECT_EQ(world.engine(1).snapshotRequests, requests + 1) << "one snapshot request per health check";
}

// The checks keep their rhythm whatever arrives between them.
TEST(RouteHealthTest, AStallIsCaughtWhileADeviceEventArrivesEverySecond) {
    ReconcilerWorld world;
    world.routeMusic();
    world.engine(0).answerNext();
    world.engine(0).frozenAt = world.time.now();
    for (int second = 0; second < 4 * kHealthInterval; ++second) {
        world.reconciler->updateDeviceSnapshot(desk());
        world.time.advance(1.0);
    }
    EXPECT_EQ(world.status(kMusic), RouteStatus::stopping(kSystemDefault));
}

TEST(RouteHealthTest, StalledDestination_IsTriedAgainOnlyOnceItOrTheDefaultOutputChanged) {
    ReconcilerWorld world;
    world.answersAtOnce = true;
    const auto stall = [&world] {
        world.engines.back()->frozenAt = world.time.now();
        world.time.advance(4 * kHealthInterval);
        ASSERT_EQ(world.status(kMusic)->message, RouteStatus::kHeartbeatStalledMessage);
    };
    world.routeMusic(profile(kMusic, 0.5F, false, headsetPreference()));
    stall();
    RouteReconciler& reconciler = *world.reconciler;
    reconciler.updateProcessGroups({group(kMusic, {{100, true}, {101, true}})});
    reconciler.updateDeviceSnapshot(desk());
    reconciler.updateProcessGroups({group(kMusic, {{100, false}})});
    reconciler.updateProcessGroups({group(kMusic, {{100, true}})});
    EXPECT_EQ(world.engines.size(), 1U);
    EXPECT_EQ(world.phase(kMusic), Phase::failedRecoverable) << "playing again, still told why it is not routed";

    reconciler.updateDeviceSnapshot(desk(kHeadsetID));
    EXPECT_EQ(world.engines.size(), 2U) << "the default output changed";
    stall();
    reconciler.updateDeviceSnapshot(desk(kHeadsetID, false));
    reconciler.updateDeviceSnapshot(desk(kHeadsetID));
    EXPECT_EQ(world.engines.size(), 3U) << "the headset died and came back";
}

TEST(RouteHealthTest, OnlyActiveRoutesAreChecked_AndANewTimerWaitsAFullInterval) {
    ReconcilerWorld world;
    world.routeMusic();
    world.reconciler->retryBlockedRoutes();  // the timer comes with the route
    world.time.advance(5 * kHealthInterval);
    EXPECT_EQ(world.engine(0).snapshotRequests, 0) << "a starting route is never checked";
    world.engine(0).answerNext();
    world.time.advance(kHealthInterval);
    EXPECT_EQ(world.engine(0).snapshotRequests, 1);

    world.reconciler->updateProfile(profile(kMusic, 1.0F));
    world.engine(0).answerNext();
    world.settle();
    EXPECT_EQ(world.time.pendingCount(), 0U) << "the timer went with the last route";

    world.time.advance(0.7);
    world.answersAtOnce = true;
    world.reconciler->updateProfile(profile(kMusic, 0.5F));
    world.time.advance(kHealthInterval - 0.01);
    EXPECT_EQ(world.engine(1).snapshotRequests, 0);
    world.time.advance(0.02);
    EXPECT_EQ(world.engine(1).snapshotRequests, 1);
}

}  // namespace
}  // namespace tonvale
