// The route test and route benchmark modes, in process, on the simulated server in
// virtual time: their exact lines and exit statuses, and what the devices played.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <regex>
#include <string>
#include <vector>

#include "app/AppDelegate.h"
#include "app/RouteBenchmarkMode.h"
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

// The simulated server, except that the second IO procedure created through it stalls
// (is never called) or sees half as many input frames as output frames. Virtual time only.
class SecondRouteFault final : public ForwardingService {
public:
    enum class Fault { stall, shortInput };
    SecondRouteFault(std::shared_ptr<AudioHardwareService> server, Fault fault)
        : ForwardingService(std::move(server)), faulty_{nullptr, nullptr, fault} {}

    OSStatus createIOProcID(AudioObjectID device, AudioDeviceIOProc proc, void* clientData,
                            AudioDeviceIOProcID& outProcID) override {
        if (++created_ != 2) {
            return ForwardingService::createIOProcID(device, proc, clientData, outProcID);
        }
        faulty_.proc = proc;
        faulty_.clientData = clientData;
        return ForwardingService::createIOProcID(device, &run, &faulty_, outProcID);
    }

private:
    struct Proc {
        AudioDeviceIOProc proc;
        void* clientData;
        Fault fault;
    };
    static OSStatus run(AudioObjectID device, const AudioTimeStamp* now, const AudioBufferList* input,
                        const AudioTimeStamp* inputTime, AudioBufferList* output, const AudioTimeStamp* outputTime,
                        void* data) {
        const Proc& faulty = *static_cast<const Proc*>(data);
        if (faulty.fault == Fault::stall || input == nullptr) {
            return kAudioHardwareNoError;
        }
        AudioBufferList shorter = *input;
        shorter.mBuffers[0].mDataByteSize /= 2;
        return faulty.proc(device, now, &shorter, inputTime, output, outputTime, faulty.clientData);
    }

    int created_ = 0;
    Proc faulty_;
};

class RouteModesTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(server->startObserving(kSpeakers) && server->startObserving(kHeadset)); }
    void TearDown() override {
        session.reset();
        EXPECT_EQ(std::vector({server->tapCount(), server->aggregateDeviceCount(), server->ioProcCount()}),
                  std::vector<std::size_t>(3, 0U));
    }

    // One run of the program: its application, console and delegate.
    struct Session {
        appkit::Application application;
        RecordingConsole console;
        std::shared_ptr<AppDelegate> delegate;
    };

    // Launches a fresh session with the arguments, outside any test runner.
    void launch(std::vector<std::string> arguments) {
        arguments.insert(arguments.begin(), "tonvale");
        session = std::make_unique<Session>();
        session->delegate = std::make_shared<AppDelegate>(
            session->application, CommandLine(std::move(arguments)),
            [](const std::string&) -> std::optional<std::string> { return std::nullopt; },
            DelegateLaunchModes{startRouteTest, startRouteBenchmark, {}, {}}, session->console.console());
        session->application.setDelegate(session->delegate.get());
        session->application.finishLaunching();
    }

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
            if (event.ends_with('\n')) {
                event.pop_back();
            }
            result.push_back(event);
        }
        return result;
    }

    // Advances until the active line is out, and notes when that was.
    void runUntilActive() {
        const auto isActive = [this] {
            return !events().empty() && events().front().find(" active ") != std::string::npos;
        };
        for (int step = 0; step < 2000 && !isActive(); ++step) {
            time.advance(0.001);
        }
        ASSERT_TRUE(isActive());
        activeAt = dispatch::now();
    }

    // The music's level on the device between two times after the route became active.
    [[nodiscard]] double musicLevel(const char* uid, dispatch::Seconds from, dispatch::Seconds to) const {
        return server->played(uid, activeAt + from, activeAt + to).toneAmplitude(kMusicFrequency) / kMusicAmplitude;
    }

    dispatch::VirtualTime time;
    std::shared_ptr<sim::SimulatedServer> server = sim::SimulatedServer::create(routeDesk());
    std::unique_ptr<Session> session;
    dispatch::Seconds activeAt = 0;
};

TEST_F(RouteModesTest, Failures_EndEitherModeWithTheirLineOnStandardErrorAndLeaveNothing) {
    const auto failed = [](OSStatus status, const char* operation) {
        return AudioHALError::osStatus(operation, status).description();
    };
    const std::vector<std::string> music = {"--bundle-id", "com.example.music", "--device-uid", kHeadset};
    const struct {
        std::function<void()> fault;
        std::vector<std::string> arguments;
        std::string line;
    } cases[] = {
        {[] {},
         {"--route-benchmark", "--device-uid", kHeadset, "--bundle-id"},
         "route-benchmark requires --bundle-id and --device-uid"},
        // A silent application, or one whose identifier is only a prefix, has no process to route.
        {[] {},
         {"--route-test", "--bundle-id", "com.example.chat", "--device-uid", kHeadset},
         "No running output process matched com.example.chat"},
        {[] {},
         {"--route-test", "--bundle-id", "com.example.mus", "--device-uid", kHeadset},
         "No running output process matched com.example.mus"},
        {[] {},
         {"--route-benchmark", "--bundle-id", "com.example.music", "--device-uid", kAirPlay},
         "No compatible output matched airplay"},
        {[this] {
             server->injectFailure({sim::Call::getPropertyDataSize, kAudioHardwareNotRunningError, 1,
                                    kAudioObjectSystemObject, kAudioHardwarePropertyProcessObjectList});
         },
         {"--route-test"},
         "route-test discovery failed: " + failed(kAudioHardwareNotRunningError, "Size Core Audio property 'prs#'")},
        {[this] { server->setCaptureDenial(sim::CaptureDenial::refuseTap); },
         {"--route-test"},
         "route-test failed: " + failed(kAudioHardwarePermissionDeniedError, "Create private process tap")},
    };
    for (const auto& failure : cases) {
        failure.fault();
        std::vector<std::string> arguments = failure.arguments;
        if (arguments.size() == 1) {
            arguments.insert(arguments.end(), music.begin(), music.end());
        }
        launch(arguments);
        EXPECT_EQ(runToEnd(), 1);
        // A late finish, from a completion that outlived the end, says nothing.
        session->delegate->finishCommandLineMode("late", true);
        EXPECT_EQ(session->application.terminationStatus(), 1);
        EXPECT_EQ(events(), (std::vector<std::string>{"err write " + failure.line, "err flush"}));
    }
}

TEST_F(RouteModesTest, RouteTestWithSweep_PrintsItsLinesAndPlaysEachGainInTurn) {
    launch({"--route-test", "--bundle-id", "com.example.music", "--device-uid", kHeadset, "--gain", "0.5", "--duration",
            "3", "--sweep-gain"});
    runUntilActive();
    EXPECT_EQ(runToEnd(), 0);
    time.advance(0.3);
    const auto all = events();
    ASSERT_EQ(all.size(), 7U);
    EXPECT_EQ(
        std::vector(all.begin(), all.begin() + 4),
        (std::vector<std::string>{"out write route-test active bundleID=com.example.music deviceUID=headset gain=0.5",
                                  "out flush", "out write route-test gain=0", "out write route-test gain=1"}));
    EXPECT_TRUE(std::regex_match(all[4], std::regex("out write route-test callbacks=[1-9][0-9]* unequalFrames=0 "
                                                    "lastFrames=512/512")))
        << all[4];
    EXPECT_EQ(std::vector(all.begin() + 5, all.end()),
              (std::vector<std::string>{"out write route-test stopped; fail-open path restored", "out flush"}));
    EXPECT_EQ(session->delegate->routeTestController, nullptr) << "finishing releases the route test's controller";

    EXPECT_NEAR(musicLevel(kHeadset, 0.1, 0.9), 0.5, 0.01);
    EXPECT_LT(musicLevel(kHeadset, 1.1, 1.9), 0.001);
    EXPECT_NEAR(musicLevel(kHeadset, 2.1, 2.9), 1.0, 0.01);
    EXPECT_NEAR(musicLevel(kSpeakers, 3.05, 3.25), 1.0, 0.01) << "the music is back on its usual output";
}

TEST_F(RouteModesTest, BenchmarkRouteFailure_StopsEveryRouteAndNamesTheRoute) {
    launch({"--route-benchmark", "--bundle-id", "com.example.music", "--device-uid", kHeadset, "--route-count", "3"});
    for (int step = 0; step < 1000 && server->aggregateDeviceCount() == 0; ++step) {
        time.advance(0.001);
    }
    ASSERT_EQ(server->ioProcCount(), 0U) << "the first route still waits for its streams";
    server->setAggregateBehaviour({.shapeFault = sim::StreamShapeFault::extraInputStream});
    EXPECT_EQ(runToEnd(), 1);
    EXPECT_EQ(events(), (std::vector<std::string>{
                            "err write route-benchmark route 2 failed: Expected one tap input and at least one "
                            "output, found 2 input/1 output streams. The route was rejected to avoid opening a "
                            "destination device's physical input.",
                            "err flush"}));
    EXPECT_TRUE(session->delegate->benchmarkControllers.empty());
}

TEST_F(RouteModesTest, BenchmarkWithAStalledOrUnequalRoute_PrintsItsSummaryAndFails) {
    const std::pair<SecondRouteFault::Fault, const char*> cases[] = {
        {SecondRouteFault::Fault::stall, "callbacks-min=0 callbacks-max=[1-9][0-9]* unequalFrames=0"},
        {SecondRouteFault::Fault::shortInput,
         "callbacks-min=[1-9][0-9]* callbacks-max=[0-9]+ unequalFrames=[1-9][0-9]*"},
    };
    for (const auto& [fault, summary] : cases) {
        const auto faulty = std::make_shared<SecondRouteFault>(server, fault);
        AudioHardwareInstallService(faulty);
        launch({"--route-benchmark", "--bundle-id", "com.example.music", "--device-uid", kHeadset, "--route-count", "2",
                "--duration", "0.5"});
        EXPECT_EQ(runToEnd(), 1);
        const auto all = events();
        ASSERT_EQ(all.size(), 5U);
        EXPECT_EQ(all[0], "out write route-benchmark active routes=2 gain=0");
        EXPECT_TRUE(std::regex_match(all[2], std::regex(std::string("out write route-benchmark ") + summary)))
            << all[2];
        EXPECT_EQ(
            std::vector(all.begin() + 3, all.end()),
            (std::vector<std::string>{"err write route-benchmark stopped; fail-open paths restored", "err flush"}));
    }
}

}  // namespace
}  // namespace tonvale
