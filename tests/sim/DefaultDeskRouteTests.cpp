// A real route controller on the default desk: where its route is heard, and the audio
// calls that build and tear it down, in the order the server received them.
#include "engine/RouteController.h"
#include "sim/SimulatedServer.h"

#include "platform/dispatch/Dispatch.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

namespace sim {

void PrintTo(const LoggedCall& logged, std::ostream* out) {
    *out << "{call " << static_cast<int>(logged.call) << ", object " << logged.object << ", status " << logged.status
         << "}";
}

namespace {

constexpr std::int32_t kMusicPid = 2201;
constexpr double kMusicFrequency = 440.0;
const double kMusicAmplitude = std::pow(10.0, -12.0 / 20.0);
constexpr const char* kSpeakers = "builtin-speakers";
constexpr const char* kHeadset = "usb-headset";

class DefaultDeskRouteTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(server->startObserving(kSpeakers));
        ASSERT_TRUE(server->startObserving(kHeadset));
    }

    void startRoute(const std::string& uid, float gain) {
        std::optional<tonvale::RouteStartResult> answer;
        controller->start({server->processObjectID(kMusicPid).value_or(0)}, uid, gain,
                          [&answer](tonvale::RouteStartResult result) { answer = result; });
        for (int step = 0; step < 200 && !answer; ++step) {
            time.advance(0.01);
        }
        ASSERT_TRUE(answer && answer->isSuccess()) << (answer ? answer->error().description() : "no answer");
    }


    dispatch::VirtualTime time;
    std::shared_ptr<SimulatedServer> server = SimulatedServer::create(Scenario::embeddedDefault());
    std::shared_ptr<tonvale::RouteController> controller = tonvale::RouteController::create();
};

TEST_F(DefaultDeskRouteTest, RouteToTheMultiOutputDevice_IsHeardOnEveryMemberAtTheGain) {
    startRoute("multi-output", 0.5F);
    time.advance(0.05);
    const dispatch::Seconds from = dispatch::now();
    time.advance(0.5);
    const dispatch::Seconds to = dispatch::now();
    time.advance(0.05);
    for (const char* member : {kSpeakers, kHeadset}) {
        EXPECT_NEAR(server->played(member, from, to).toneAmplitude(kMusicFrequency), kMusicAmplitude * 0.5,
                    kMusicAmplitude * 0.01)
            << member;
    }
}

TEST_F(DefaultDeskRouteTest, Teardown_StopsTheIOThenDestroysTheProcedureTheAggregateAndTheTap) {
    startRoute(kHeadset, 0.5F);
    bool isStopped = false;
    controller->stop([&isStopped] { isStopped = true; });
    time.advance(0.1);
    ASSERT_TRUE(isStopped);
    const std::vector<LoggedCall> calls = server->callLog();
    const auto created = [&calls](Call call) {
        const auto found = std::find_if(calls.begin(), calls.end(), [call](const LoggedCall& logged) {
            return logged.call == call && logged.status == kAudioHardwareNoError;
        });
        return found == calls.end() ? AudioObjectID{0} : found->object;
    };
    const AudioObjectID tap = created(Call::createProcessTap);
    const AudioObjectID aggregate = created(Call::createAggregateDevice);
    ASSERT_NE(tap, 0U);
    ASSERT_NE(aggregate, 0U);
    std::vector<LoggedCall> teardown;
    std::copy_if(calls.begin(), calls.end(), std::back_inserter(teardown), [](const LoggedCall& logged) {
        return logged.call == Call::deviceStop || logged.call == Call::destroyIOProcID ||
               logged.call == Call::destroyAggregateDevice || logged.call == Call::destroyProcessTap;
    });
    const std::vector<LoggedCall> expected{{Call::deviceStop, aggregate, kAudioHardwareNoError},
                                           {Call::destroyIOProcID, aggregate, kAudioHardwareNoError},
                                           {Call::destroyAggregateDevice, aggregate, kAudioHardwareNoError},
                                           {Call::destroyProcessTap, tap, kAudioHardwareNoError}};
    EXPECT_EQ(teardown, expected);
    EXPECT_EQ(server->tapCount() + server->aggregateDeviceCount() + server->ioProcCount(), 0U);
}

}  // namespace
}  // namespace sim
