#include "engine/RouteController.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <optional>
#include <string>
#include <vector>

#include "platform/dispatch/Dispatch.h"
#include "sim/SimulatedServer.h"
#include "tests/engine/RouteTestWorld.h"

namespace tonvale {
namespace {

using namespace tonvale::testing;

// One buffer period of the desk's devices (512 frames at 48 kHz) plus the 7 ms ramp.
constexpr double kBufferPeriod = 512.0 / 48000.0;
constexpr double kOneRamp = kBufferPeriod + 0.007;
constexpr double kLevelToleranceDB = 0.1;

double decibels(double ratio) { return 20.0 * std::log10(ratio); }

class RouteControllerTest : public ::testing::Test {
protected:
    void SetUp() override {
        server = sim::SimulatedServer::create(routeDesk());
        ASSERT_TRUE(server->startObserving(kSpeakers));
        ASSERT_TRUE(server->startObserving(kHeadset));
        controller = RouteController::create();
    }
    void TearDown() override {
        controller.reset();
        expectNothingLeft();
        server.reset();
    }

    [[nodiscard]] std::vector<AudioObjectID> music() const { return {server->processObjectID(kMusicPid).value()}; }

    // Starts and lets virtual time run until the answer arrives (two seconds at most).
    std::optional<RouteStartResult> startRoute(std::vector<AudioObjectID> processes, const std::string& uid,
                                               float gain) {
        std::optional<RouteStartResult> answer;
        controller->start(std::move(processes), uid, gain, [&answer](RouteStartResult result) { answer = result; });
        for (int step = 0; step < 200 && !answer; ++step) {
            time.advance(0.01);
        }
        return answer;
    }

    // The description of a start that must fail.
    std::string failureOf(std::vector<AudioObjectID> processes, const std::string& uid, float gain = 0.5F) {
        const auto answer = startRoute(std::move(processes), uid, gain);
        expectNothingLeft();
        if (!answer || answer->isSuccess()) {
            ADD_FAILURE() << (answer ? "the start succeeded" : "no answer");
            return {};
        }
        return answer->error().description();
    }

    void expectRouteActive(const std::string& uid, float gain) {
        const auto answer = startRoute(music(), uid, gain);
        ASSERT_TRUE(answer && answer->isSuccess()) << (answer ? answer->error().description() : "no answer");
    }

    void expectNothingLeft() const {
        EXPECT_EQ(server->tapCount(), 0U);
        EXPECT_EQ(server->aggregateDeviceCount(), 0U);
        EXPECT_EQ(server->ioProcCount(), 0U);
    }

    AudioRouteSnapshot snapshotNow() {
        std::optional<AudioRouteSnapshot> snapshot;
        controller->snapshot([&snapshot](AudioRouteSnapshot value) { snapshot = value; });
        time.advance(0.001);
        EXPECT_TRUE(snapshot.has_value());
        return snapshot.value_or(AudioRouteSnapshot{});
    }

    struct Levels {
        double speakers;
        double headset;
    };
    // The music's tone on both devices over the next stretch, after skipping a settle time.
    // Read two buffer periods later, once every device has played the whole stretch.
    Levels musicLevels(double settle = 0.05, double seconds = 0.5) {
        time.advance(settle);
        const dispatch::Seconds from = dispatch::now();
        time.advance(seconds);
        const dispatch::Seconds to = dispatch::now();
        time.advance(2 * kBufferPeriod);
        return {server->played(kSpeakers, from, to).toneAmplitude(kMusicFrequency),
                server->played(kHeadset, from, to).toneAmplitude(kMusicFrequency)};
    }

    void expectMusicOnlyOn(const char* uid, double gain) {
        const Levels levels = musicLevels();
        const bool onSpeakers = std::string(uid) == kSpeakers;
        const double heard = onSpeakers ? levels.speakers : levels.headset;
        const double elsewhere = onSpeakers ? levels.headset : levels.speakers;
        EXPECT_NEAR(decibels(heard / (kMusicAmplitude * gain)), 0.0, kLevelToleranceDB) << "on " << uid;
        EXPECT_LT(elsewhere, kMusicAmplitude * 0.001) << "not on the other device";
    }

    dispatch::VirtualTime time;
    std::shared_ptr<sim::SimulatedServer> server;
    std::shared_ptr<RouteController> controller;
};

TEST_F(RouteControllerTest, EmptyProcessesOrDestination_FailAndCreateNothing) {
    EXPECT_EQ(failureOf({}, kHeadset), "Select at least one Core Audio process.");
    EXPECT_EQ(failureOf(music(), ""), "Select a destination output.");
}

TEST_F(RouteControllerTest, DestinationGoneAfterTheTap_FailsAndLeavesNoTap) {
    ASSERT_TRUE(server->unplugDevice(kHeadset));
    EXPECT_EQ(failureOf(music(), kHeadset), "The selected output is no longer available.");
    EXPECT_EQ(failureOf(music(), kAirPlay), "The selected destination is not an available output.");
    expectMusicOnlyOn(kSpeakers, 1.0);
}

TEST_F(RouteControllerTest, AudioLayerRefusals_FailWithTheOperationAndStatus) {
    server->setCaptureDenial(sim::CaptureDenial::refuseTap);
    EXPECT_EQ(failureOf(music(), kHeadset),
              AudioHALError::osStatus("Create private process tap", kAudioHardwarePermissionDeniedError).description());
    server->setCaptureDenial(sim::CaptureDenial::none);

    server->injectFailure({sim::Call::getPropertyData, kAudioHardwareBadObjectError, 1, std::nullopt,
                           kAudioTapPropertyUID});
    EXPECT_EQ(failureOf(music(), kHeadset),
              AudioHALError::osStatus("Read Core Audio string 'tuid'", kAudioHardwareBadObjectError).description());

    server->injectFailure({sim::Call::createAggregateDevice, kAudioHardwareUnspecifiedError});
    EXPECT_EQ(failureOf(music(), kHeadset),
              "Create private aggregate device failed: 'what' (" + std::to_string(kAudioHardwareUnspecifiedError) +
                  ")");

    server->injectFailure({sim::Call::deviceStart, kAudioHardwareIllegalOperationError});
    EXPECT_EQ(failureOf(music(), kHeadset), "AudioDeviceStart failed (1852797029).");
    expectMusicOnlyOn(kSpeakers, 1.0);
}

TEST_F(RouteControllerTest, StreamsThatNeverAppear_FailAfterOneSecondWithLaterWorkKeptInOrder) {
    sim::AggregateBehaviour never;
    never.streamDelaySeconds = std::numeric_limits<double>::infinity();
    server->setAggregateBehaviour(never);

    std::vector<std::string> answers;
    const dispatch::Seconds started = dispatch::now();
    dispatch::Seconds answeredAt = 0;
    controller->start(music(), kHeadset, 0.5F, [&](RouteStartResult result) {
        answers.push_back(result.isSuccess() ? "success" : result.error().description());
        answeredAt = dispatch::now();
    });
    controller->setGain(0.25F);
    controller->snapshot([&answers](AudioRouteSnapshot snapshot) {
        answers.push_back(snapshot.isActive ? "active" : "idle");
    });
    time.advance(0.95);
    EXPECT_TRUE(answers.empty()) << "the wait holds every later operation";
    time.advance(0.1);
    ASSERT_EQ(answers.size(), 2U);
    EXPECT_EQ(answers[0], "Wait for aggregate tap/output streams (timed out after 1 second) returned no value");
    EXPECT_EQ(answers[1], "idle");
    EXPECT_NEAR(answeredAt - started, 1.0, 0.001);
    expectNothingLeft();

    sim::AggregateBehaviour noOutput;
    noOutput.isOutputWithheld = true;
    server->setAggregateBehaviour(noOutput);
    EXPECT_EQ(failureOf(music(), kHeadset),
              "Wait for aggregate tap/output streams (timed out after 1 second) returned no value");
}

TEST_F(RouteControllerTest, WrongStreamShapes_FailWithTheRenderersError) {
    sim::AggregateBehaviour sixteenBit;
    sixteenBit.shapeFault = sim::StreamShapeFault::sixteenBitTap;
    server->setAggregateBehaviour(sixteenBit);
    auto answer = startRoute(music(), kHeadset, 0.5F);
    ASSERT_TRUE(answer && !answer->isSuccess());
    ASSERT_NE(answer->error().rendererError(), nullptr);
    EXPECT_EQ(answer->error().rendererError()->code, 2);
    EXPECT_EQ(answer->error().rendererError()->domain, "com.zelkor.tonvale.AudioRouteRenderer");
    expectNothingLeft();

    sim::AggregateBehaviour extraInput;
    extraInput.shapeFault = sim::StreamShapeFault::extraInputStream;
    server->setAggregateBehaviour(extraInput);
    const std::string refusal = failureOf(music(), kHeadset);
    EXPECT_EQ(refusal.rfind("Expected one tap input and at least one output, found 2 input/1 output streams.", 0), 0U)
        << refusal;
    expectMusicOnlyOn(kSpeakers, 1.0);
}

TEST_F(RouteControllerTest, TwoStartsInARow_RebuildTheRouteAndAnswerInOrder) {
    std::vector<std::string> answers;
    controller->start(music(), kHeadset, 0.5F, [&answers](RouteStartResult result) {
        answers.push_back(result.isSuccess() ? "first" : result.error().description());
    });
    controller->start(music(), kSpeakers, 0.25F, [&answers](RouteStartResult result) {
        answers.push_back(result.isSuccess() ? "second" : result.error().description());
    });
    time.advance(0.2);
    EXPECT_EQ(answers, (std::vector<std::string>{"first", "second"}));
    EXPECT_EQ(std::vector({server->tapCount(), server->aggregateDeviceCount(), server->ioProcCount()}),
              std::vector<std::size_t>(3, 1U));
    EXPECT_EQ(snapshotNow().destinationUID, std::optional<std::string>(kSpeakers));
    expectMusicOnlyOn(kSpeakers, 0.25);
}

TEST_F(RouteControllerTest, Snapshot_ReportsIdleAndActiveRoutes) {
    EXPECT_EQ(snapshotNow(), AudioRouteSnapshot{});

    expectRouteActive(kHeadset, 0.5F);
    time.advance(0.5);
    const AudioRouteSnapshot active = snapshotNow();
    EXPECT_TRUE(active.isActive);
    EXPECT_EQ(active.processIDs, music());
    EXPECT_EQ(active.destinationUID, std::optional<std::string>(kHeadset));
    EXPECT_GE(active.callbackCount, 45U);
    EXPECT_EQ(active.unequalFrameCallbackCount, 0U);
    EXPECT_EQ(active.lastInputFrameCount, 512U);
    EXPECT_EQ(active.lastOutputFrameCount, 512U);
    EXPECT_LE(active.lastCallbackHostTime, AudioGetCurrentHostTime());
    EXPECT_GE(active.lastCallbackHostTime, AudioGetCurrentHostTime() - 12'000'000U);

    bool isStopped = false;
    controller->stop([&isStopped] { isStopped = true; });
    controller->stop(nullptr);
    time.advance(0.001);
    EXPECT_TRUE(isStopped);
    expectNothingLeft();
    EXPECT_EQ(snapshotNow(), AudioRouteSnapshot{});
}

TEST_F(RouteControllerTest, RoutedTone_PlaysOnTheChosenDeviceAtTheGainAndFollowsGainChanges) {
    expectMusicOnlyOn(kSpeakers, 1.0);
    expectRouteActive(kHeadset, 0.5F);
    expectMusicOnlyOn(kHeadset, 0.5);

    controller->setGain(0.25F);
    const Levels afterOneRamp = musicLevels(kOneRamp + kBufferPeriod, 0.2);
    EXPECT_NEAR(decibels(afterOneRamp.headset / (kMusicAmplitude * 0.25)), 0.0, kLevelToleranceDB);

    controller->setGain(1.5F);
    expectMusicOnlyOn(kHeadset, 1.0);
    controller->setGain(-1.0F);
    EXPECT_LT(musicLevels().headset, kMusicAmplitude * 0.001);
    controller->setGain(std::numeric_limits<float>::quiet_NaN());
    EXPECT_LT(musicLevels().headset, kMusicAmplitude * 0.001);

    controller->stop(nullptr);
    time.advance(0.001);
    expectNothingLeft();
    expectMusicOnlyOn(kSpeakers, 1.0);
}

TEST_F(RouteControllerTest, StartedOrRebuiltRoute_NeverPlaysAboveItsGainFromTheFirstFrame) {
    for (const float gain : {0.0F, 0.5F, 0.0F}) {
        const dispatch::Seconds requested = dispatch::now();
        expectRouteActive(kHeadset, gain);
        time.advance(0.05 + 2 * kBufferPeriod);
        EXPECT_LE(server->played(kHeadset, requested, dispatch::now()).peak(), kMusicAmplitude * gain + 1e-6) << gain;
    }
}

TEST_F(RouteControllerTest, ReleasingAnActiveController_StopsItsAudioBeforeTheReleaseReturns) {
    expectRouteActive(kHeadset, 0.5F);
    controller.reset();
    expectNothingLeft();
    expectMusicOnlyOn(kSpeakers, 1.0);
}

TEST_F(RouteControllerTest, ControllerReleasedBeforeItsWorkRuns_AnswersOnlyTheStop) {
    bool isStartAnswered = false;
    bool isSnapshotAnswered = false;
    bool isStopAnswered = false;
    controller->start(music(), kHeadset, 0.5F, [&](RouteStartResult) { isStartAnswered = true; });
    controller->snapshot([&](AudioRouteSnapshot) { isSnapshotAnswered = true; });
    controller->stop([&] { isStopAnswered = true; });
    controller.reset();
    time.advance(0.5);
    EXPECT_FALSE(isStartAnswered);
    EXPECT_FALSE(isSnapshotAnswered);
    EXPECT_TRUE(isStopAnswered);
    expectNothingLeft();
}

TEST_F(RouteControllerTest, ReleasedWhileWaitingForStreams_TearsDownAndStillAnswersAWaitingStop) {
    sim::AggregateBehaviour slow;
    slow.streamDelaySeconds = 0.5;
    server->setAggregateBehaviour(slow);
    bool isStartAnswered = false;
    bool isStopAnswered = false;
    controller->start(music(), kHeadset, 0.5F, [&](RouteStartResult) { isStartAnswered = true; });
    time.advance(0.1);
    controller->stop([&] { isStopAnswered = true; });
    time.advance(0.1);
    EXPECT_EQ(server->tapCount(), 1U) << "the start is still waiting";
    controller.reset();
    expectNothingLeft();
    time.advance(1.0);
    EXPECT_FALSE(isStartAnswered);
    EXPECT_TRUE(isStopAnswered);
}

// Real threads: the simulator's IO thread renders while the main thread re-gains and
// then releases the route; ThreadSanitizer checks the hand-over.
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

    std::optional<AudioRouteSnapshot> snapshot;
    for (int step = 0; step < 200; ++step) {
        controller->setGain(static_cast<float>(step % 4) / 3.0F);
    }
    controller->snapshot([&snapshot](AudioRouteSnapshot value) {
        snapshot = value;
        dispatch::MainRunLoop::stop();
    });
    dispatch::MainRunLoop::run();
    ASSERT_TRUE(snapshot && snapshot->isActive);

    controller.reset();
    EXPECT_EQ(server->ioProcCount(), 0U);
    EXPECT_EQ(server->aggregateDeviceCount(), 0U);
    EXPECT_EQ(server->tapCount(), 0U);
}

}  // namespace
}  // namespace tonvale
