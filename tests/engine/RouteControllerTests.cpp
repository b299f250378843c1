// The route controller on the simulated desk: why starts fail, what is heard at which gain,
// the order of work on its queue, the teardown and its release.
#include "engine/RouteController.h"

#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/dispatch/Dispatch.h"
#include "sim/SimulatedServer.h"
#include "tests/engine/RouteTestWorld.h"

namespace tonvale {
namespace {

using namespace tonvale::testing;

// One buffer period of the desk's devices (512 frames at 48 kHz).
constexpr double kBufferPeriod = 512.0 / 48000.0;

class RouteControllerTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(server->startObserving(kSpeakers) && server->startObserving(kHeadset)); }
    void TearDown() override {
        controller.reset();
        expectNothingLeft();
    }

    [[nodiscard]] std::vector<AudioObjectID> music() const { return {server->processObjectID(kMusicPid).value()}; }

    // Starts and answers, within two seconds of virtual time, "active" or the error's description.
    std::string start(std::vector<AudioObjectID> processes, const std::string& uid, float gain) {
        std::optional<std::string> answer;
        controller->start(std::move(processes), uid, gain, [&answer](RouteStartResult result) {
            answer = result.isSuccess() ? "active" : result.error().description();
        });
        for (int step = 0; step < 200 && !answer; ++step) {
            time.advance(0.01);
        }
        return answer.value_or("no answer");
    }

    void expectNothingLeft() const {
        EXPECT_EQ(std::vector({server->tapCount(), server->aggregateDeviceCount(), server->ioProcCount()}),
                  std::vector<std::size_t>(3, 0U));
    }

    AudioRouteSnapshot snapshotNow() {
        std::optional<AudioRouteSnapshot> snapshot;
        controller->snapshot([&snapshot](AudioRouteSnapshot value) { snapshot = value; });
        time.advance(0.001);
        EXPECT_TRUE(snapshot.has_value());
        return snapshot.value_or(AudioRouteSnapshot{});
    }

    // The music's level on the device over the next stretch, relative to the source.
    double musicLevel(const char* uid, double settle = 0.05, double seconds = 0.5) {
        time.advance(settle);
        const dispatch::Seconds from = dispatch::now();
        time.advance(seconds);
        const dispatch::Seconds to = dispatch::now();
        time.advance(2 * kBufferPeriod);
        return server->played(uid, from, to).toneAmplitude(kMusicFrequency) / kMusicAmplitude;
    }

    void expectMusicOnlyOn(const char* uid, double gain) {
        const char* other = std::string(uid) == kSpeakers ? kHeadset : kSpeakers;
        EXPECT_NEAR(musicLevel(uid), gain, gain * 0.012) << "on " << uid;
        EXPECT_LT(musicLevel(other), 0.001) << "not on " << other;
    }

    dispatch::VirtualTime time;
    std::shared_ptr<sim::SimulatedServer> server = sim::SimulatedServer::create(routeDesk());
    std::shared_ptr<RouteController> controller = RouteController::create();
};

TEST_F(RouteControllerTest, FailedStarts_AnswerWhyAndLeaveTheMusicOnItsOwnOutput) {
    const auto hal = [](const char* operation, OSStatus status) {
        return AudioHALError::osStatus(operation, status).description();
    };
    const struct {
        std::function<void()> fault;
        bool hasProcesses;
        const char* uid;
        std::string failure;
    } cases[] = {
        {[] {}, false, kHeadset, "Select at least one Core Audio process."},
        {[] {}, true, "", "Select a destination output."},
        {[this] {
             server->injectFailure(
                 {sim::Call::getPropertyData, kAudioHardwareBadObjectError, 1, std::nullopt, kAudioTapPropertyUID});
         },
         true, kHeadset, hal("Read Core Audio string 'tuid'", kAudioHardwareBadObjectError)},
        {[this] {
             server->injectFailure({sim::Call::createAggregateDevice, kAudioHardwareUnspecifiedError});
         },
         true, kHeadset, hal("Create private aggregate device", kAudioHardwareUnspecifiedError)},
        {[this] {
             server->injectFailure({sim::Call::deviceStart, kAudioHardwareIllegalOperationError});
         },
         true, kHeadset, "AudioDeviceStart failed (1852797029)."},
        // The destination goes after the tap was made: the tap goes with the failure.
        {[this] { ASSERT_TRUE(server->unplugDevice(kHeadset)); }, true, kHeadset,
         "The selected output is no longer available."},
    };
    for (const auto& failed : cases) {
        failed.fault();
        EXPECT_EQ(start(failed.hasProcesses ? music() : std::vector<AudioObjectID>{}, failed.uid, 0.5F),
                  failed.failure);
        expectNothingLeft();
    }
    expectMusicOnlyOn(kSpeakers, 1.0);
}

TEST_F(RouteControllerTest, Snapshot_ReportsIdleAndActiveRoutesAndStopEndsThem) {
    EXPECT_EQ(snapshotNow(), AudioRouteSnapshot{});
    ASSERT_EQ(start(music(), kHeadset, 0.5F), "active");
    time.advance(0.5);
    const AudioRouteSnapshot active = snapshotNow();
    EXPECT_TRUE(active.isActive);
    EXPECT_EQ(active.processIDs, music());
    EXPECT_EQ(active.destinationUID, std::optional<std::string>(kHeadset));
    EXPECT_GE(active.callbackCount, 45U);

    bool isStopped = false;
    controller->stop([&isStopped] { isStopped = true; });
    controller->stop(nullptr);
    time.advance(0.001);
    EXPECT_TRUE(isStopped);
    expectNothingLeft();
    std::vector<sim::Call> teardown;
    for (const sim::LoggedCall& logged : server->callLog()) {
        if (logged.status == kAudioHardwareNoError &&
            (logged.call == sim::Call::deviceStop || logged.call == sim::Call::destroyIOProcID ||
             logged.call == sim::Call::destroyAggregateDevice || logged.call == sim::Call::destroyProcessTap)) {
            teardown.push_back(logged.call);
        }
    }
    EXPECT_EQ(teardown, (std::vector{sim::Call::deviceStop, sim::Call::destroyIOProcID,
                                     sim::Call::destroyAggregateDevice, sim::Call::destroyProcessTap}))
        << "the IO ends before its procedure, the aggregate and the tap go";
    EXPECT_EQ(snapshotNow(), AudioRouteSnapshot{});
    expectMusicOnlyOn(kSpeakers, 1.0);
}

TEST_F(RouteControllerTest, RoutedMusic_PlaysAtItsGainFromItsFirstFrameAndFollowsChanges) {
    for (const float gain : {0.0F, 0.5F}) {
        const dispatch::Seconds requested = dispatch::now();
        ASSERT_EQ(start(music(), kHeadset, gain), "active");
        time.advance(0.05 + 2 * kBufferPeriod);
        EXPECT_LE(server->played(kHeadset, requested, dispatch::now()).peak(), kMusicAmplitude * gain + 1e-6)
            << "a (re)started route never plays above its gain, " << gain;
    }
    expectMusicOnlyOn(kHeadset, 0.5);
    controller->setGain(0.25F);
    EXPECT_NEAR(musicLevel(kHeadset, 2 * kBufferPeriod + 0.007, 0.2), 0.25, 0.003) << "within one ramp";
}

TEST_F(RouteControllerTest, ReleasedController_StopsBeforeTheReleaseReturnsAndAnswersOnlyAPendingStop) {
    ASSERT_EQ(start(music(), kHeadset, 0.5F), "active");
    controller.reset();
    expectNothingLeft();
    expectMusicOnlyOn(kSpeakers, 1.0);

    // Released before its start ran, or while it waits for its streams: only a queued stop answers.
    server->setAggregateBehaviour({.streamDelaySeconds = 0.5});
    for (const double waited : {0.0, 0.1}) {
        controller = RouteController::create();
        std::vector<std::string> answers;
        controller->start(music(), kHeadset, 0.5F, [&](RouteStartResult) { answers.emplace_back("start"); });
        if (waited > 0) {
            time.advance(waited);
        }
        controller->snapshot([&](AudioRouteSnapshot) { answers.emplace_back("snapshot"); });
        controller->stop([&] { answers.emplace_back("stop"); });
        EXPECT_EQ(server->tapCount(), waited > 0 ? 1U : 0U);
        controller.reset();
        expectNothingLeft();
        time.advance(1.0);
        EXPECT_EQ(answers, std::vector<std::string>{"stop"}) << waited;
    }
}

// Real threads: the simulator's IO thread renders while the control queue passes on gains
// and reads the counters, then the main thread releases the route; ThreadSanitizer checks
// that the gain and the counters cross threads cleanly and the teardown hands over.
TEST(RouteControllerRealThreadTest, RegainAndReleaseWhileTheIOThreadRuns_TearDownCleanly) {
    const auto server = sim::SimulatedServer::create(routeDesk());
    auto controller = RouteController::create();
    std::optional<RouteStartResult> answer;
    controller->start({server->processObjectID(kMusicPid).value()}, kHeadset, 0.5F, [&answer](RouteStartResult result) {
        answer = result;
        dispatch::MainRunLoop::stop();
    });
    dispatch::MainRunLoop::run();
    ASSERT_TRUE(answer && answer->isSuccess()) << (answer ? answer->error().description() : "no answer");
    for (int step = 0; step < 200; ++step) {
        controller->setGain(static_cast<float>(step % 4) / 3.0F);
    }
    std::optional<AudioRouteSnapshot> snapshot;
    controller->snapshot([&snapshot](AudioRouteSnapshot value) {
        snapshot = value;
        dispatch::MainRunLoop::stop();
    });
    dispatch::MainRunLoop::run();
    ASSERT_TRUE(snapshot && snapshot->isActive);
    controller.reset();
    EXPECT_EQ(std::vector({server->tapCount(), server->aggregateDeviceCount(), server->ioProcCount()}),
              std::vector<std::size_t>(3, 0U));
}

}  // namespace
}  // namespace tonvale
