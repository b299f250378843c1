// Routes on a real PipeWire server: a tone player's audio taken into a private capture and
// played to another sink at a gain, heard on the sinks' monitors; given back when the
// route goes, when another mixer moves it away, and when Tonvale is killed; and the whole
// application model following the player, a sink that goes and the server restarting.
#include <gtest/gtest.h>

#include <signal.h>

#include <cstdlib>
#include <memory>
#include <sstream>

#include "engine/RouteController.h"
#include "observe/AudioDeviceMonitor.h"
#include "observe/AudioProcessMonitor.h"
#include "observe/SystemLifecycleMonitor.h"
#include "state/AppStateController.h"
#include "tests/app/ProgramRun.h"
#include "tests/desktop/PipeWireTest.h"
#include "tests/desktop/SinkMonitor.h"
#include "tests/support/FakeStateServices.h"

namespace tonvale::testing {
namespace {

constexpr const char* kPlayerID = "org.example.Player";
constexpr const char* kSinkA = "tonvale_test_sink_a";
constexpr const char* kSinkB = "tonvale_test_sink_b";

class PipeWireRouteTest : public PipeWireTest {
protected:
    void SetUp() override {
        PipeWireTest::SetUp();
        if (HasFatalFailure()) {
            return;
        }
        sinkA = std::make_unique<SinkMonitor>(kSinkA);
        sinkB = std::make_unique<SinkMonitor>(kSinkB);
        play();
        ASSERT_TRUE(hearsGain(*sinkA, 1.0)) << "the player is not heard on its own output";
    }

    void play() {
        daemon.play(" application.id = \"org.example.Player\" application.name = \"Tone\" ");
        ASSERT_TRUE(waitFor([] { return isPlaying(kPlayerID); }));
    }

    // Starts a route of the player to the sink; true once it is active.
    static bool start(RouteController& route, const std::string& sink, float gain) {
        std::optional<bool> isActive;
        route.start({process(kPlayerID)->objectID}, sink, gain,
                    [&isActive](const RouteStartResult& result) { isActive = result.isSuccess(); });
        return waitFor([&isActive] { return isActive.has_value(); }) && *isActive;
    }
    static AudioRouteSnapshot snapshotOf(RouteController& route) {
        std::optional<AudioRouteSnapshot> taken;
        route.snapshot([&taken](const AudioRouteSnapshot& snapshot) { taken = snapshot; });
        EXPECT_TRUE(waitFor([&taken] { return taken.has_value(); }));
        return taken.value_or(AudioRouteSnapshot{});
    }
    static void stop(RouteController& route) {
        bool isStopped = false;
        route.stop([&isStopped] { isStopped = true; });
        EXPECT_TRUE(waitFor([&isStopped] { return isStopped; }));
    }
    // The "default" metadata's stream targets, one "id:N key:'target.object' value:'...'" each.
    std::string targets() { return daemon.ask({"pw-metadata", "-n", "default"}); }

    std::unique_ptr<SinkMonitor> sinkA;
    std::unique_ptr<SinkMonitor> sinkB;
};

TEST_F(PipeWireRouteTest, PipeWireRoute_PlaysTheAppOnTheChosenSinkAtItsGainRampedAndGivesItBack) {
    const auto route = RouteController::create();
    ASSERT_TRUE(start(*route, kSinkB, 0.5F));
    EXPECT_TRUE(hearsGain(*sinkB, 0.5)) << "B does not carry the tone at the route's gain";
    EXPECT_TRUE(hearsGain(*sinkA, 0.0)) << "the app still plays on its own output while routed";
    const AudioRouteSnapshot running = snapshotOf(*route);
    EXPECT_TRUE(running.isActive);
    EXPECT_EQ(running.unequalFrameCallbackCount, 0U);
    EXPECT_GT(running.lastInputFrameCount, 0U);

    route->setGain(0.25F);
    ASSERT_TRUE(hearsGain(*sinkB, 0.25));
    (void)sinkB->takeEnvelope();
    route->setGain(1.0F);
    ASSERT_TRUE(hearsGain(*sinkB, 1.0));
    const std::vector<double> envelope = sinkB->takeEnvelope();
    EXPECT_GE(std::count_if(envelope.begin(), envelope.end(), [](double gain) { return gain > 0.3 && gain < 0.95; }), 2)
        << "the gain jumped instead of ramping";

    stop(*route);
    EXPECT_TRUE(hearsGain(*sinkA, 1.0)) << "the app is not back on its own output at full level";
    EXPECT_TRUE(hearsGain(*sinkB, 0.0));
    EXPECT_EQ(daemon.ask({"pw-cli", "ls", "Node"}).find("tonvale."), std::string::npos) << "a route node remains";
    EXPECT_EQ(targets().find("target.object"), std::string::npos) << "a stream target remains";

    // A silent route is silent from its first cycle: the tone never reaches the destination.
    (void)sinkB->takePeak();
    const auto silent = RouteController::create();
    ASSERT_TRUE(start(*silent, kSinkB, 0.0F));
    EXPECT_TRUE(hearsGain(*sinkA, 0.0));
    EXPECT_LT(sinkB->takePeak(), 0.01);
}

TEST_F(PipeWireRouteTest, PipeWireRoute_AStreamAnotherMixerMovesAwayEndsTheRouteAndStaysWhereItWasMoved) {
    const auto route = RouteController::create();
    ASSERT_TRUE(start(*route, kSinkB, 0.5F));
    ASSERT_TRUE(hearsGain(*sinkB, 0.5));
    std::istringstream listed(targets());
    std::string stream;
    for (std::string line; std::getline(listed, line);) {
        if (line.find("tonvale.capture.") != std::string::npos) {
            stream = line.substr(line.find("id:") + 3, line.find(' ', line.find("id:")) - line.find("id:") - 3);
        }
    }
    ASSERT_FALSE(stream.empty()) << targets();

    (void)daemon.ask({"pw-metadata", stream, "target.object", kSinkA, "Spa:String"});
    EXPECT_TRUE(waitFor([&route] { return !snapshotOf(*route).isActive; })) << "the route did not notice";
    EXPECT_TRUE(hearsGain(*sinkA, 1.0));
    stop(*route);
    EXPECT_NE(targets().find(std::string("value:'") + kSinkA + "'"), std::string::npos)
        << "the route's teardown overwrote the other mixer's choice";
}

TEST_F(PipeWireRouteTest, PipeWireRoute_KilledMidRoute_TheAppPlaysOnAtOnceAndTheNextStartCleansUp) {
    ::setenv("TONVALE_AUDIO", "pipewire", 1);
    const pid_t tonvale = daemon.run({tonvaleExecutablePath(), "--route-test", "--bundle-id", kPlayerID, "--device-uid",
                                      kSinkB, "--gain", "0.5", "--duration", "60"});
    ::unsetenv("TONVALE_AUDIO");
    ASSERT_TRUE(hearsGain(*sinkB, 0.5));
    ASSERT_TRUE(hearsGain(*sinkA, 0.0));

    (void)sinkA->takePeak();
    ::kill(tonvale, SIGKILL);
    EXPECT_TRUE(waitFor([this] { return sinkA->takePeak() > 0.9; }, 1.0)) << "not heard on A within a second";
    EXPECT_TRUE(hearsGain(*sinkA, 1.0));
    EXPECT_NE(targets().find("tonvale.capture."), std::string::npos) << "nothing was left to clean up";

    server.reset();
    connect();
    EXPECT_TRUE(waitFor([this] { return targets().find("tonvale.capture.") == std::string::npos; }))
        << "a stream target naming a capture that is gone was left: " << targets();
}

// The application model as the tray application assembles it, on the private server.
class PipeWireApplicationTest : public PipeWireRouteTest {
protected:
    void SetUp() override {
        PipeWireRouteTest::SetUp();
        if (HasFatalFailure()) {
            return;
        }
        const dispatch::QueuePtr main = dispatch::DispatchQueue::main();
        controller =
            AppStateController::create({std::make_shared<InMemoryStateStore>(),
                                        {"com.zelkor.tonvale", 0, LogicalAppResolver::standardRunningAppLookup},
                                        AudioDeviceMonitor::create(main),
                                        AudioProcessMonitor::create(main),
                                        reconciler,
                                        std::make_shared<FakeLoginItemService>(),
                                        SystemLifecycleMonitor::create(main),
                                        AppStateController::kLifecycleRecoveryDelay,
                                        setDefaultInputDevice});
        controller->start();
    }
    void TearDown() override {
        if (controller) {
            controller->stop();
        }
    }

    void routeTo(const std::string& sink, float volume) {
        AppAudioConfiguration configuration;
        configuration.volume = volume;
        configuration.output = OutputPreference::device(sink, sink);
        controller->setConfiguration(configuration, {kPlayerID, "Tone"}, false);
    }
    [[nodiscard]] std::optional<RouteStatus> status() const {
        const auto& statuses = controller->routeStatuses();
        const auto found = statuses.find(kPlayerID);
        return found == statuses.end() ? std::nullopt : std::optional(found->second);
    }
    [[nodiscard]] bool isIn(RouteLifecyclePhase phase) {
        return waitFor([this, phase] { return status() && status()->phase == phase; });
    }

    // The number of processes the app's route takes, once the route has answered.
    [[nodiscard]] std::optional<std::size_t> routedProcesses() {
        std::optional<std::size_t> count;
        reconciler->collectRouteSnapshots([&count](const auto& snapshots) {
            const auto found = snapshots.find(kPlayerID);
            count = found == snapshots.end() || !found->second.isActive ? 0 : found->second.processIDs.size();
        });
        (void)waitFor([&count] { return count.has_value(); });
        return count;
    }

    std::shared_ptr<RouteReconciler> reconciler =
        RouteReconciler::create([] { return RouteController::create(); }, 2.0);
    std::shared_ptr<AppStateController> controller;
};

TEST_F(PipeWireApplicationTest, PipeWireApplication_TheRouteFollowsThePlayerQuittingComingBackAndASecondOne) {
    routeTo(kSinkB, 0.5F);
    ASSERT_TRUE(isIn(RouteLifecyclePhase::active));
    EXPECT_TRUE(hearsGain(*sinkB, 0.5));
    EXPECT_TRUE(hearsGain(*sinkA, 0.0));

    daemon.end(process(kPlayerID)->pid);
    EXPECT_TRUE(isIn(RouteLifecyclePhase::waitingForProcess));
    play();
    EXPECT_TRUE(isIn(RouteLifecyclePhase::active));
    EXPECT_TRUE(hearsGain(*sinkB, 0.5)) << "the player that came back is not routed";
    EXPECT_TRUE(hearsGain(*sinkA, 0.0));

    daemon.play(" application.id = \"org.example.Player\" ");
    EXPECT_TRUE(waitFor([] {
        const auto players = processes();
        return std::count_if(players.begin(), players.end(), [](const AudioProcessInfo& player) {
                   return player.bundleID == kPlayerID && player.isRunningOutput;
               }) == 2;
    }));
    EXPECT_TRUE(waitFor([this] { return routedProcesses() == 2U; })) << "the second player is not in the route";
    EXPECT_TRUE(hearsGain(*sinkA, 0.0)) << "the second player plays on its own output";
}

TEST_F(PipeWireApplicationTest, PipeWireApplication_ASinkThatGoesMidRouteFailsOpenWithinAHealthCycle) {
    const pid_t plugged = daemon.plugSink("tonvale_test_plugged", "Plugged Sink");
    ASSERT_TRUE(waitFor([] { return device("tonvale_test_plugged").has_value(); }));
    routeTo("tonvale_test_plugged", 0.5F);
    ASSERT_TRUE(isIn(RouteLifecyclePhase::active));
    ASSERT_TRUE(hearsGain(*sinkA, 0.0));

    daemon.end(plugged);
    EXPECT_TRUE(hearsGain(*sinkA, 1.0, 2.0)) << "the player is not back on its own output within a health cycle";
    EXPECT_TRUE(isIn(RouteLifecyclePhase::waitingForPreferredDevice));
    EXPECT_EQ(status()->message, "Preferred output is unavailable; using System Default.");
    EXPECT_TRUE(status()->isFallbackActive);
}

TEST_F(PipeWireApplicationTest, PipeWireApplication_TheRouteComesBackAfterTheServerRestarts) {
    routeTo(kSinkB, 0.5F);
    ASSERT_TRUE(isIn(RouteLifecyclePhase::active));
    sinkA.reset();
    sinkB.reset();
    daemon.stop();
    EXPECT_TRUE(waitFor([this] { return !status() || status()->phase != RouteLifecyclePhase::active; }));
    ASSERT_EQ(daemon.start(), "");
    ASSERT_TRUE(waitFor([] { return readDefaultOutputDevice().valueOr(0) != 0; }));
    sinkA = std::make_unique<SinkMonitor>(kSinkA);
    sinkB = std::make_unique<SinkMonitor>(kSinkB);
    daemon.play(" application.id = \"org.example.Player\" ");
    EXPECT_TRUE(isIn(RouteLifecyclePhase::active));
    EXPECT_TRUE(hearsGain(*sinkB, 0.5)) << "the route did not come back after the server did";
    EXPECT_TRUE(hearsGain(*sinkA, 0.0));
}

}  // namespace
}  // namespace tonvale::testing
