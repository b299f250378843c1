#include "reconcile/RouteReconciler.h"

#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <string>
#include <utility>
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

TEST(RouteLifecyclePhaseTest, RawValues_DecodeOnlyExactly) {
    const std::vector<std::pair<Phase, const char*>> phases{
        {Phase::bypassed, "bypassed"},
        {Phase::waitingForProcess, "waitingForProcess"},
        {Phase::starting, "starting"},
        {Phase::active, "active"},
        {Phase::fallbackDefault, "fallbackDefault"},
        {Phase::waitingForPreferredDevice, "waitingForPreferredDevice"},
        {Phase::failedRecoverable, "failedRecoverable"},
        {Phase::stopping, "stopping"}};
    for (const auto& [phase, text] : phases) {
        EXPECT_EQ(rawValue(phase), text);
        EXPECT_EQ(routeLifecyclePhase(text), phase);
    }
    for (const char* text : {"fallback", "Active", "", "stopping "}) {
        EXPECT_EQ(routeLifecyclePhase(text), std::nullopt) << text;
    }
}

// What one app's inputs, and its engine's answer, make of its status.
TEST(RouteStatusRulesTest, EachSituation_GivesItsPhaseFieldsAndMessage) {
    const std::vector<LogicalAppProcessGroup> playing{group(kMusic, {{100, true}})};
    struct Situation {
        const char* name;
        AppProfile musicProfile;
        std::vector<LogicalAppProcessGroup> groups;
        AudioDeviceSnapshot devices;
        std::optional<std::optional<std::string>> startAnswer;  // success, or the error's text
        RouteStatus expected;
    };
    const std::vector<Situation> situations{
        {"full volume from 0.9999 up", profile(kMusic, 0.9999F), playing, desk(), {},
         RouteStatus::bypassed(kSystemDefault)},
        {"no processes", profile(kMusic, 0.9998F), {}, desk(), {}, RouteStatus::waitingForProcess(kSystemDefault)},
        {"no process playing", profile(kMusic, 0.5F), {group(kMusic, {{100, false}})}, desk(), {},
         RouteStatus::waitingForProcess(kSystemDefault)},
        {"default output is AirPlay", profile(kMusic, 0.5F), playing, desk(kAirPlayID), {},
         RouteStatus::waitingForPreferredDevice(kSystemDefault, "airplay")},
        {"default output not listed", profile(kMusic, 0.5F), playing, desk(99), {},
         RouteStatus::waitingForPreferredDevice(kSystemDefault, std::nullopt)},
        {"preferred device not alive", profile(kMusic, 1.0F, false, headsetPreference()), playing,
         desk(kSpeakersID, false), {}, RouteStatus::waitingForPreferredDevice(headsetPreference(), kSpeakers)},
        {"start under way", profile(kMusic, 0.5F), playing, desk(), {}, RouteStatus::starting(kSystemDefault, kSpeakers)},
        {"started on the preferred device", profile(kMusic, 1.0F, false, headsetPreference()), playing, desk(),
         std::optional<std::string>(), RouteStatus::active(headsetPreference(), kHeadset)},
        {"start failed", profile(kMusic, 0.5F, true), playing, desk(), "Any words, kept verbatim.",
         RouteStatus::failedRecoverable(kSystemDefault, kSpeakers, "Any words, kept verbatim.")},
    };
    for (const Situation& situation : situations) {
        SCOPED_TRACE(situation.name);
        ReconcilerWorld world;
        world.reconciler->updateDeviceSnapshot(situation.devices);
        world.reconciler->updateProcessGroups(situation.groups);
        world.reconciler->updateProfile(situation.musicProfile);
        if (situation.startAnswer) {
            world.engine(0).answerNext(*situation.startAnswer);
            world.settle();
        }
        EXPECT_EQ(world.status(kMusic), situation.expected);
        const bool needsEngine = situation.expected.effectiveDestinationUID && !situation.expected.isFallbackActive;
        EXPECT_EQ(world.engines.size(), needsEngine || situation.startAnswer ? 1U : 0U);
    }
}

TEST_F(RouteReconcilerTest, Statuses_NotifyOnlyChanges_ObserversBeforeTheWriteAndTheCallbackAfter) {
    std::vector<std::string> order;
    combine::AnyCancellable objectSubscription = reconciler.objectWillChange().sink([&] { order.push_back("object"); });
    combine::AnyCancellable statusSubscription = reconciler.statusesPublisher().sink([&](const StatusMap& next) {
        EXPECT_NE(next, reconciler.statuses()) << "told before the write";
        order.push_back("published");
    });
    reconciler.setOnStatusesChanged([&](const StatusMap& map) {
        EXPECT_EQ(&map, &reconciler.statuses());
        order.push_back("changed");
    });
    reconciler.updateDeviceSnapshot(desk(kSpeakersID, false));
    reconciler.updateProcessGroups({group(kMusic, {{100, true}})});
    reconciler.updateProfile(profile(kMusic, 1.0F, false, headsetPreference()));
    reconciler.updateProfile(profile(kMusic, 1.0F, false, headsetPreference()));
    reconciler.retryBlockedRoutes();
    EXPECT_EQ(order, (std::vector<std::string>{"object", "published", "changed"})) << "equal statuses are not stored";

    reconciler.updateProfile(profile(kMusic, 1.0F, false, OutputPreference::device(kHeadset, "USB Headset")));
    EXPECT_EQ(order.size(), 6U) << "another remembered device name is another status";
    reconciler.stopAll();
    EXPECT_EQ(order.size(), 9U);
    EXPECT_TRUE(reconciler.statuses().empty());
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

TEST_F(RouteReconcilerTest, GroupsOfOneApp_AreOneRouteOverTheProcessesOfBoth) {
    reconciler.updateDeviceSnapshot(desk());
    reconciler.updateProcessGroups({group(kMusic, {{102, true}, {101, false}}), group(kChat, {{200, true}}),
                                    group(kMusic, {{101, true}, {100, true}})});
    reconciler.updateProfile(profile(kMusic, 0.5F));
    ASSERT_EQ(world.engines.size(), 1U);
    EXPECT_EQ(world.engine(0).processIDs, (std::vector<AudioObjectID>{100, 101, 102}));
}

TEST_F(RouteReconcilerTest, ProcessJoining_RestartsOnlyAfterTheTeardown) {
    world.routeMusic();
    world.engine(0).answerNext();
    world.settle();
    reconciler.updateProcessGroups({group(kMusic, {{100, true}, {101, true}})});
    EXPECT_EQ(world.status(kMusic), RouteStatus::stopping(kSystemDefault));
    world.settle();
    EXPECT_EQ(world.engines.size(), 1U) << "nothing starts while the old route is torn down";

    world.engine(0).answerNext();
    world.settle();
    ASSERT_EQ(world.engines.size(), 2U);
    EXPECT_EQ(world.engine(1).processIDs, (std::vector<AudioObjectID>{100, 101}));
    EXPECT_EQ(world.phase(kMusic), Phase::starting);
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

TEST_F(RouteReconcilerTest, StaleStartFailure_IsIgnoredAndBlocksNothing) {
    world.routeMusic();
    reconciler.updateProcessGroups({group(kMusic, {{101, true}})});
    world.engine(0).answerNext("Refused after all.");
    world.settle();
    EXPECT_EQ(world.phase(kMusic), Phase::stopping);

    world.engine(0).answerNext();
    world.settle();
    ASSERT_EQ(world.engines.size(), 2U) << "the stale failure did not block the app";
    world.engine(1).answerNext();
    world.settle();
    EXPECT_EQ(world.status(kMusic), RouteStatus::active(kSystemDefault, kSpeakers));
}

TEST_F(RouteReconcilerTest, StopAllDuringATeardown_ForgetsItsStatusCompletionAndPendingReconciliation) {
    world.routeMusic();
    world.engine(0).answerNext();
    world.settle();
    reconciler.updateProcessGroups({group(kMusic, {{100, true}, {101, true}})});
    reconciler.updateProfile(profile(kMusic, 0.3F));
    reconciler.stopAll();
    EXPECT_TRUE(reconciler.statuses().empty());

    world.engine(0).answerNext();
    world.settle();
    EXPECT_TRUE(reconciler.statuses().empty());
    EXPECT_EQ(world.engines.size(), 1U);
    EXPECT_EQ(world.time.pendingCount(), 0U) << "no health check without routes";
}

TEST(RouteRetryTest, StartFailure_BlocksRetriesUntilAnEventThatCoversTheApp) {
    const std::vector<std::pair<const char*, std::function<void(RouteReconciler&)>>> events{
        {"device snapshot", [](RouteReconciler& r) { r.updateDeviceSnapshot(desk()); }},
        {"process list", [](RouteReconciler& r) { r.updateProcessGroups({group(kMusic, {{100, true}})}); }},
        {"retry action", [](RouteReconciler& r) { r.retryBlockedRoutes(); }},
        {"the app's profile", [](RouteReconciler& r) { r.updateProfile(profile(kMusic, 0.4F)); }},
        {"profile document",
         [](RouteReconciler& r) {
             PersistedStateV1 state;
             state.appProfiles.emplace(kMusic, profile(kMusic, 0.5F));
             r.updateProfiles(state);
         }},
    };
    for (const auto& [event, lift] : events) {
        SCOPED_TRACE(event);
        ReconcilerWorld world;
        world.routeMusic();
        world.engine(0).answerNext("Tap refused.");
        world.settle();
        EXPECT_EQ(world.status(kMusic), RouteStatus::failedRecoverable(kSystemDefault, kSpeakers, "Tap refused."));
        EXPECT_EQ(world.engine(0).stopRequests, 1);
        world.reconciler->updateProfile(profile(kChat, 0.5F));
        world.reconciler->reconcileAll();
        EXPECT_EQ(world.engines.size(), 1U) << "blocked";

        lift(*world.reconciler);
        EXPECT_EQ(world.engines.size(), 2U);
        EXPECT_EQ(world.phase(kMusic), Phase::starting);
    }
}

TEST_F(RouteReconcilerTest, RemovedProfile_LeavesNoStatusEvenWhenItsTeardownWasUnderWay) {
    world.routeMusic(profile(kMusic, 0.5F, false, headsetPreference()));
    world.engine(0).answerNext();
    world.settle();
    reconciler.updateProfiles(PersistedStateV1{});
    EXPECT_EQ(world.status(kMusic), RouteStatus::stopping(kSystemDefault));
    world.engine(0).answerNext();
    world.settle();
    EXPECT_EQ(world.status(kMusic), std::nullopt);

    reconciler.updateProfile(profile(kMusic, 0.5F));
    world.engine(1).answerNext();
    world.settle();
    reconciler.updateProfile(profile(kMusic, 1.0F));  // its teardown would end in bypassed
    reconciler.updateProfiles(PersistedStateV1{});
    world.engine(1).answerNext();
    world.settle();
    EXPECT_TRUE(reconciler.statuses().empty());
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
        EXPECT_EQ(world.status(kMusic), RouteStatus::failedRecoverable(kSystemDefault, kSpeakers,
                                                                        RouteStatus::kHeartbeatStalledMessage));
        world.reconciler->reconcileAll();
        EXPECT_EQ(world.engines.size(), 1U) << "no retry before the next event";
    }
}

TEST(RouteHealthTest, TwoUnchangedChecksThenCallbacks_KeepTheRoute) {
    ReconcilerWorld world;
    world.routeMusic();
    world.engine(0).answerNext();
    world.time.advance(kHealthInterval);
    world.engine(0).frozenAt = world.time.now();
    world.time.advance(2 * kHealthInterval + 0.5);
    world.engine(0).frozenAt.reset();
    world.time.advance(10 * kHealthInterval);
    EXPECT_EQ(world.phase(kMusic), Phase::active);
    EXPECT_EQ(world.engine(0).snapshotRequests, 13);
}

TEST(RouteHealthTest, EngineNoLongerActive_FailsAtTheFirstCheck) {
    ReconcilerWorld world;
    world.routeMusic();
    world.engine(0).answerNext();
    world.engine(0).reportsActive = false;
    world.time.advance(kHealthInterval);
    world.engine(0).answerNext();
    world.settle();
    EXPECT_EQ(world.status(kMusic), RouteStatus::failedRecoverable(kSystemDefault, kSpeakers,
                                                                    RouteStatus::kEngineStoppedMessage));
    EXPECT_EQ(world.time.pendingCount(), 0U);
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
