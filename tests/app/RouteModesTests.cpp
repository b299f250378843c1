// The route test and route benchmark modes, in process, on the simulated server in
// virtual time: their exact lines and exit statuses, and what the devices played.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <deque>
#include <memory>
#include <regex>
#include <string>
#include <tuple>
#include <vector>

#include "app/AppDelegate.h"
#include "app/RouteBenchmarkMode.h"
#include "app/RouteTargetDiscovery.h"
#include "app/RouteTestMode.h"
#include "platform/appkit/Application.h"
#include "platform/dispatch/Dispatch.h"
#include "sim/SimulatedServer.h"
#include "tests/app/RecordingConsole.h"
#include "tests/engine/RouteTestWorld.h"
#include "tests/platform/coreaudio/ForwardingService.h"

namespace tonvale {
namespace {

using namespace tonvale::testing;

constexpr std::int32_t kBrowserHelperPid = 602;
constexpr double kBufferPeriod = 512.0 / 48000.0;

// The route desk plus a silent browser with a playing helper, and a playing application
// whose identifier only starts with the browser's.
sim::Scenario deskWithBrowser() {
    sim::Scenario scenario = routeDesk();
    for (auto [pid, bundleID, isPlaying] : {std::tuple{601, "com.example.browser", false},
                                            {kBrowserHelperPid, "com.example.browser.helper.renderer", true},
                                            {603, "com.example.browserx", true}}) {
        scenario.processes.push_back(
            {.pid = pid, .bundleID = bundleID, .source = sim::AudioSource::sine(660.0, -20.0), .isPlaying = isPlaying});
    }
    return scenario;
}

// The simulated server, except that the second IO procedure created through it stalls
// (is never called) or sees half as many input frames as output frames. Virtual time only.
class SecondRouteFault final : public ForwardingService {
public:
    enum class Fault { stall, shortInput };
    SecondRouteFault(std::shared_ptr<AudioHardwareService> server, Fault fault)
        : ForwardingService(std::move(server)), fault_(fault) {}

    OSStatus createIOProcID(AudioObjectID device, AudioDeviceIOProc proc, void* clientData,
                            AudioDeviceIOProcID& outProcID) override {
        procs_.push_back({proc, clientData, procs_.size() == 1, fault_});
        return ForwardingService::createIOProcID(device, &run, &procs_.back(), outProcID);
    }

private:
    struct Proc {
        AudioDeviceIOProc proc;
        void* clientData;
        bool isFaulty;
        Fault fault;
    };
    static OSStatus run(AudioObjectID device, const AudioTimeStamp* now, const AudioBufferList* input,
                        const AudioTimeStamp* inputTime, AudioBufferList* output, const AudioTimeStamp* outputTime,
                        void* data) {
        const Proc& entry = *static_cast<const Proc*>(data);
        AudioBufferList shorter = input != nullptr ? *input : AudioBufferList{};
        if (entry.isFaulty && entry.fault == Fault::stall) {
            return kAudioHardwareNoError;
        }
        if (entry.isFaulty && input != nullptr) {
            shorter.mBuffers[0].mDataByteSize /= 2;
            input = &shorter;
        }
        return entry.proc(device, now, input, inputTime, output, outputTime, entry.clientData);
    }

    const Fault fault_;
    std::deque<Proc> procs_;
};

class RouteModesTest : public ::testing::Test {
protected:
    void SetUp() override {
        server = sim::SimulatedServer::create(deskWithBrowser());
        ASSERT_TRUE(server->startObserving(kSpeakers));
        ASSERT_TRUE(server->startObserving(kHeadset));
    }
    void TearDown() override {
        session.reset();
        EXPECT_EQ(server->tapCount(), 0U);
        EXPECT_EQ(server->aggregateDeviceCount(), 0U);
        EXPECT_EQ(server->ioProcCount(), 0U);
    }

    // One run of the program: its application, console and delegate.
    struct Session {
        appkit::Application application;
        RecordingConsole console;
        std::shared_ptr<AppDelegate> delegate;
    };

    // Launches a fresh session with the arguments.
    void launch(std::vector<std::string> arguments) {
        arguments.insert(arguments.begin(), "tonvale");
        DelegateLaunchModes modes;
        modes.routeTest = startRouteTest;
        modes.routeBenchmark = startRouteBenchmark;
        session = std::make_unique<Session>();
        session->delegate = std::make_shared<AppDelegate>(
            session->application, CommandLine(std::move(arguments)),
            [](const std::string&) -> std::optional<std::string> { return std::nullopt; }, std::move(modes),
            session->console.console());
        session->application.setDelegate(session->delegate.get());
        session->application.finishLaunching();
    }
    AppDelegate& delegate() { return *session->delegate; }

    // Runs virtual time until the mode ends (a minute at most); answers the exit status.
    std::optional<int> runToEnd() {
        for (int step = 0; step < 6000 && !session->application.terminationStatus(); ++step) {
            time.advance(0.01);
        }
        return session->application.terminationStatus();
    }

    // The lines written so far, each with its stream ("out ..." / "err ..."), and flushes.
    [[nodiscard]] std::vector<std::string> events() const {
        std::vector<std::string> result;
        for (std::string event : session->console.events()) {
            if (!event.empty() && event.back() == '\n') {
                event.pop_back();
            }
            result.push_back(event);
        }
        return result;
    }

    void expectFailure(std::vector<std::string> arguments, const std::string& line) {
        launch(std::move(arguments));
        EXPECT_EQ(runToEnd(), 1);
        EXPECT_EQ(events(), (std::vector<std::string>{"err write " + line, "err flush"}));
    }

    // The music's tone on the headset between two times after the route became active.
    double headsetMusic(dispatch::Seconds from, dispatch::Seconds to) const {
        return server->played(kHeadset, activeAt + from, activeAt + to).toneAmplitude(kMusicFrequency);
    }

    // Advances until the active line is out, and notes when that was.
    void runUntilActive() {
        for (int step = 0; step < 2000 && !hasActiveLine(); ++step) {
            time.advance(0.001);
        }
        ASSERT_TRUE(hasActiveLine());
        activeAt = dispatch::now();
    }
    [[nodiscard]] bool hasActiveLine() const {
        const auto all = events();
        return std::any_of(all.begin(), all.end(),
                           [](const std::string& event) { return event.find(" active ") != std::string::npos; });
    }

    dispatch::VirtualTime time;
    std::shared_ptr<sim::SimulatedServer> server;
    std::unique_ptr<Session> session;
    dispatch::Seconds activeAt = 0;
};

TEST_F(RouteModesTest, MissingOptionsOrNoMatch_EndEitherModeWithTheirLine) {
    expectFailure({"--route-test", "--bundle-id", "com.example.music"},
                  "route-test requires --bundle-id and --device-uid");
    expectFailure({"--route-benchmark", "--device-uid", kHeadset, "--bundle-id"},
                  "route-benchmark requires --bundle-id and --device-uid");
    // A silent application, or one whose identifier is only a prefix, has no process to route.
    expectFailure({"--route-test", "--bundle-id", "com.example.chat", "--device-uid", kHeadset},
                  "No running output process matched com.example.chat");
    expectFailure({"--route-test", "--bundle-id", "com.example.brow", "--device-uid", kHeadset},
                  "No running output process matched com.example.brow");
    expectFailure({"--route-benchmark", "--bundle-id", "com.example.music", "--device-uid", kAirPlay},
                  "No compatible output matched airplay");
}

TEST_F(RouteModesTest, UnreadableProcessOrDeviceList_FailsDiscovery) {
    server->injectFailure({sim::Call::getPropertyDataSize, kAudioHardwareNotRunningError, 1, kAudioObjectSystemObject,
                           kAudioHardwarePropertyProcessObjectList});
    expectFailure({"--route-test", "--bundle-id", "com.example.music", "--device-uid", kHeadset},
                  "route-test discovery failed: " +
                      AudioHALError::osStatus("Size Core Audio property 'prs#'", kAudioHardwareNotRunningError)
                          .description());
    server->injectFailure({sim::Call::getPropertyDataSize, kAudioHardwareNotRunningError, 1, kAudioObjectSystemObject,
                           kAudioHardwarePropertyDevices});
    expectFailure({"--route-benchmark", "--bundle-id", "com.example.music", "--device-uid", kHeadset},
                  "route-benchmark discovery failed: " +
                      AudioHALError::osStatus("Size Core Audio property 'dev#'", kAudioHardwareNotRunningError)
                          .description());
}

TEST_F(RouteModesTest, BundleIdentifier_MatchesItselfAndHelpersBelowAPeriodOnly) {
    EXPECT_TRUE(isBundleOrHelper("com.example.browser.helper.renderer", "com.example.browser"));
    EXPECT_FALSE(isBundleOrHelper("com.example.browserx", "com.example.browser"));

    launch({"--route-test", "--bundle-id", "com.example.browser", "--device-uid", kHeadset, "--duration", "1"});
    runUntilActive();
    ASSERT_NE(delegate().routeTestController, nullptr);
    std::vector<AudioObjectID> routed;
    delegate().routeTestController->snapshot([&routed](AudioRouteSnapshot snapshot) { routed = snapshot.processIDs; });
    time.advance(0.001);
    EXPECT_EQ(routed, std::vector<AudioObjectID>{server->processObjectID(kBrowserHelperPid).value()});
    EXPECT_EQ(runToEnd(), 0);
}

TEST_F(RouteModesTest, RouteTestWithSweep_PrintsItsLinesAndPlaysEachGainInTurn) {
    launch({"--route-test", "--bundle-id", "com.example.music", "--device-uid", kHeadset, "--gain", "0.5",
            "--duration", "3", "--sweep-gain"});
    runUntilActive();
    EXPECT_EQ(events(), (std::vector<std::string>{
                            "out write route-test active bundleID=com.example.music deviceUID=headset gain=0.5",
                            "out flush"}));
    time.advance(0.99);
    EXPECT_EQ(events().size(), 2U) << "the gain drops at a third of the duration";
    EXPECT_EQ(runToEnd(), 0);
    time.advance(2 * kBufferPeriod);

    const auto all = events();
    ASSERT_EQ(all.size(), 7U);
    EXPECT_EQ(all[2], "out write route-test gain=0");
    EXPECT_EQ(all[3], "out write route-test gain=1");
    EXPECT_EQ(all[4].rfind("out write route-test callbacks=", 0), 0U);
    EXPECT_NE(all[4].find(" unequalFrames=0 lastFrames=512/512"), std::string::npos) << all[4];
    EXPECT_EQ(all[5], "out write route-test stopped; fail-open path restored");
    EXPECT_EQ(all[6], "out flush");
    EXPECT_EQ(delegate().routeTestController, nullptr) << "finishing releases the route test's controller";

    EXPECT_NEAR(headsetMusic(0.1, 0.9), 0.5 * kMusicAmplitude, 0.01 * kMusicAmplitude);
    EXPECT_LT(headsetMusic(1.1, 1.9), 0.001 * kMusicAmplitude);
    EXPECT_NEAR(headsetMusic(2.1, 2.9), kMusicAmplitude, 0.01 * kMusicAmplitude);
    const auto afterwards = dispatch::now();
    time.advance(0.3);
    EXPECT_NEAR(server->played(kSpeakers, afterwards, dispatch::now() - 2 * kBufferPeriod)
                    .toneAmplitude(kMusicFrequency),
                kMusicAmplitude, 0.01 * kMusicAmplitude)
        << "the music is back on its usual output";
}

TEST_F(RouteModesTest, GainAboveOneAndEndlessDuration_PrintAsGivenAndPlayFullScaleForTheDefaultTime) {
    launch({"--route-test", "--bundle-id", "com.example.music", "--device-uid", kHeadset, "--gain", "2",
            "--duration", "inf"});
    runUntilActive();
    EXPECT_EQ(events().front(), "out write route-test active bundleID=com.example.music deviceUID=headset gain=2.0");
    EXPECT_EQ(runToEnd(), 0);
    EXPECT_NEAR(dispatch::now() - activeAt, 5.0, 0.02) << "a duration that is not finite takes the default";
    time.advance(2 * kBufferPeriod);
    EXPECT_NEAR(headsetMusic(0.1, 0.9), kMusicAmplitude, 0.01 * kMusicAmplitude);
}

TEST_F(RouteModesTest, ShortRouteTest_EndsNoLaterThanTheFirstSweepStep) {
    launch({"--route-test", "--bundle-id", "com.example.music", "--device-uid", kHeadset, "--duration", "0.1",
            "--sweep-gain", "--gain", "nan"});
    runUntilActive();
    EXPECT_EQ(events().front(), "out write route-test active bundleID=com.example.music deviceUID=headset gain=0.5");
    time.advance(0.24);
    EXPECT_EQ(session->application.terminationStatus(), std::nullopt);
    EXPECT_EQ(runToEnd(), 0);
    time.advance(1.0);
    const auto all = events();
    EXPECT_EQ(std::count(all.begin(), all.end(), "out write route-test gain=1"), 0);
    EXPECT_EQ(all.back(), "out flush");
    EXPECT_EQ(all[all.size() - 2], "out write route-test stopped; fail-open path restored");
}

TEST_F(RouteModesTest, RefusedCapture_FailsTheRouteTestAndLeavesNothing) {
    server->setCaptureDenial(sim::CaptureDenial::refuseTap);
    expectFailure({"--route-test", "--bundle-id", "com.example.music", "--device-uid", kHeadset},
                  "route-test failed: " +
                      AudioHALError::osStatus("Create private process tap", kAudioHardwarePermissionDeniedError)
                          .description());
}

TEST_F(RouteModesTest, RouteCount_IsClampedToOneToEight) {
    const std::pair<const char*, const char*> cases[] = {
        {"0", "1"}, {"20", "8"}, {"-3", "1"}, {"2.5", "8"}, {"3", "3"}};
    for (const auto& [given, expected] : cases) {
        launch({"--route-benchmark", "--bundle-id", "com.example.music", "--device-uid", kHeadset, "--duration",
                "-1", "--route-count", given});
        runUntilActive();
        const dispatch::Seconds active = dispatch::now();
        EXPECT_EQ(events().front(), std::string("out write route-benchmark active routes=") + expected + " gain=0");
        EXPECT_EQ(runToEnd(), 0);
        EXPECT_NEAR(dispatch::now() - active, 0.25, 0.02) << "a duration at or below 0.25 s runs 0.25 s";
    }
}

TEST_F(RouteModesTest, BenchmarkRouteFailure_StopsEveryRouteAndNamesTheRoute) {
    launch({"--route-benchmark", "--bundle-id", "com.example.music", "--device-uid", kHeadset, "--route-count",
            "3"});
    for (int step = 0; step < 1000 && server->aggregateDeviceCount() == 0; ++step) {
        time.advance(0.001);
    }
    ASSERT_EQ(server->ioProcCount(), 0U) << "the first route still waits for its streams";
    sim::AggregateBehaviour extraInput;
    extraInput.shapeFault = sim::StreamShapeFault::extraInputStream;
    server->setAggregateBehaviour(extraInput);
    EXPECT_EQ(runToEnd(), 1);
    EXPECT_EQ(events(), (std::vector<std::string>{
                            "err write route-benchmark route 2 failed: Expected one tap input and at least one "
                            "output, found 2 input/1 output streams. The route was rejected to avoid opening a "
                            "destination device's physical input.",
                            "err flush"}));
    EXPECT_TRUE(delegate().benchmarkControllers.empty());
}

TEST_F(RouteModesTest, BenchmarkWithAStalledOrUnequalRoute_PrintsItsSummaryAndFails) {
    const std::pair<SecondRouteFault::Fault, const char*> cases[] = {
        {SecondRouteFault::Fault::stall, "callbacks-min=0 callbacks-max=[1-9][0-9]* unequalFrames=0"},
        {SecondRouteFault::Fault::shortInput, "callbacks-min=[1-9][0-9]* callbacks-max=[0-9]+ unequalFrames=[1-9][0-9]*"},
    };
    for (const auto& [fault, summary] : cases) {
        const auto faulty = std::make_shared<SecondRouteFault>(server, fault);
        AudioHardwareInstallService(faulty);
        launch({"--route-benchmark", "--bundle-id", "com.example.music", "--device-uid", kHeadset, "--route-count",
                "2", "--duration", "0.5"});
        EXPECT_EQ(runToEnd(), 1);
        const auto all = events();
        ASSERT_EQ(all.size(), 5U);
        EXPECT_EQ(all[0], "out write route-benchmark active routes=2 gain=0");
        EXPECT_TRUE(std::regex_match(all[2], std::regex(std::string("out write route-benchmark ") + summary))) << all[2];
        EXPECT_EQ(all[3], "err write route-benchmark stopped; fail-open paths restored");
        EXPECT_EQ(all[4], "err flush");
    }
}

}  // namespace
}  // namespace tonvale
