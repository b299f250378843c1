// Every fault the platform can throw at a running route, met by the whole application model
// on the simulated desk: the music player plays at half gain through its route, the fault
// strikes, and the case checks what the devices played, what the user is told, how long the
// app was not heard as it ends up, and that nothing of ours is left beyond the running
// routes. With TONVALE_RELIABILITY_TABLE naming a file, a run writes the measured matrix
// there as a Markdown table (scripts/fault-matrix puts it into docs/RELIABILITY.md).
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <limits>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "tests/reliability/FaultDesk.h"

namespace tonvale::testing {
namespace {

constexpr double kTolerance = 0.02;
constexpr double kHalf = 0.5;
// Whole periods of every app's tone: short enough to time a recovery, long enough to tell
// each tone's level.
constexpr dispatch::Seconds kWindow = 0.025;
constexpr dispatch::Seconds kHealthInterval = RouteReconciler::kHealthInterval;
constexpr dispatch::Seconds kSettle = 3.0;
constexpr dispatch::Seconds kNever = std::numeric_limits<double>::infinity();
// A tone at a tenth of its own level or more counts as heard.
constexpr double kAudible = 0.1;
constexpr const char* kSettingsPath = "/home/user/.config/tonvale/Tonvale.persistedState";

const AppIdentity kMusic = ApplicationModelWorld::music();
const std::map<std::string, std::string> kDeviceNames{
    {kSpeakers, "Speakers"}, {kHeadset, "Headset"}, {kAirPlay, "Living Room (AirPlay)"}};
const OutputPreference kToHeadset = OutputPreference::device(kHeadset, "Headset");

// Where the music player is heard at the end, and at what gain of its own level.
struct Heard {
    std::optional<std::string> deviceUID;  // none: nowhere
    double gain = 0.0;
};

struct FaultCase;

class FaultMatrixTest : public ::testing::TestWithParam<FaultCase> {
public:
    // What the cases do to the world; a case moves faultAt to the moment its last fault struck.
    void choose(const OutputPreference& output) {
        world.controller->setConfiguration({kHalf, false, output}, kMusic, true);
    }
    [[nodiscard]] std::string onlyRouteAggregate() const {
        const std::vector<std::string> uids = ApplicationModelWorld::routeAggregateUIDs();
        EXPECT_EQ(uids.size(), 1U);
        return uids.empty() ? std::string() : uids.front();
    }
    void injectForObject(AudioObjectID object) {
        world.server->injectFailure({sim::Call::getPropertyData, kAudioHardwareUnspecifiedError, 0, object});
    }

    ApplicationModelWorld world{faultDesk()};
    dispatch::Seconds faultAt = 0.0;

protected:
    void SetUp() override;
    void TearDown() override { world.stop(); }

    // Whether the music player is heard exactly as expected on every observed device.
    [[nodiscard]] bool isHeardAsExpected(const Heard& expected, dispatch::Seconds from, dispatch::Seconds to) const;
    // How long after faultAt the app was last heard otherwise than it ends up.
    [[nodiscard]] dispatch::Seconds recoveryTime(const Heard& expected, dispatch::Seconds end) const;
    // How long after faultAt the app was heard on no device at all.
    [[nodiscard]] dispatch::Seconds silentTime(dispatch::Seconds end) const;
    // How long after faultAt the app was heard on each device, and on none.
    [[nodiscard]] std::string whereHeard(dispatch::Seconds end) const;
};

struct FaultCase {
    std::string name;
    std::string fault;
    OutputPreference routedTo;
    std::function<void(FaultMatrixTest&)> inject;
    RouteLifecyclePhase phase;
    std::optional<std::string> message;
    Heard heard;
    // How long after the fault the system can first tell it happened.
    dispatch::Seconds detectionDelay = 0.0;
    dispatch::Seconds settle = kSettle;
    std::optional<std::string> lastError;
    // A fault no sound fix covers: the case records what happens instead of recovery.
    bool isKnownLimitation = false;
    // The row tells how long the app was heard on each device after the fault.
    bool tellsWhereHeard = false;
};

void PrintTo(const FaultCase& fault, std::ostream* out) { *out << fault.fault; }

// Adds a row of the measured matrix to the file TONVALE_RELIABILITY_TABLE names, if any.
void addTableRow(const std::string& row) {
    const char* path = std::getenv("TONVALE_RELIABILITY_TABLE");
    if (path == nullptr || *path == '\0') {
        return;
    }
    const bool isNew = !std::filesystem::exists(path) || std::filesystem::file_size(path) == 0;
    std::ofstream out(path, std::ios::app);
    if (isNew) {
        out << "| Fault | What the user sees | What is heard | Time to recovery |\n|---|---|---|---|\n";
    }
    out << row << '\n';
}

std::string decimal(double value, int digits) {
    char text[32];
    std::snprintf(text, sizeof text, "%.*f", digits, value);
    return text;
}

void FaultMatrixTest::SetUp() {
    world.start();
    choose(GetParam().routedTo);
    world.advance(0.2);
    ASSERT_EQ(world.musicPhase(), RouteLifecyclePhase::active);
    const std::string destination = GetParam().routedTo.selectedDevice() ? kHeadset : kSpeakers;
    ASSERT_NEAR(world.gainHeardOver(destination), kHalf, kTolerance);
}

bool FaultMatrixTest::isHeardAsExpected(const Heard& expected, dispatch::Seconds from, dispatch::Seconds to) const {
    for (const auto& [uid, name] : kDeviceNames) {
        const double wanted = expected.deviceUID == uid ? expected.gain : 0.0;
        if (std::abs(world.gainHeard(uid, from, to) - wanted) > kTolerance) {
            return false;
        }
    }
    return true;
}

dispatch::Seconds FaultMatrixTest::recoveryTime(const Heard& expected, dispatch::Seconds end) const {
    for (dispatch::Seconds to = end; to - kWindow >= faultAt; to -= kWindow) {
        if (!isHeardAsExpected(expected, to - kWindow, to)) {
            return to - faultAt;
        }
    }
    return 0.0;
}

dispatch::Seconds FaultMatrixTest::silentTime(dispatch::Seconds end) const {
    dispatch::Seconds silent = 0.0;
    for (dispatch::Seconds from = faultAt; from + kWindow <= end; from += kWindow) {
        if (isHeardAsExpected(Heard{}, from, from + kWindow)) {
            silent += kWindow;
        }
    }
    return silent;
}

std::string FaultMatrixTest::whereHeard(dispatch::Seconds end) const {
    std::map<std::string, dispatch::Seconds> heard;
    for (dispatch::Seconds from = faultAt; from + kWindow <= end; from += kWindow) {
        for (const auto& [uid, name] : kDeviceNames) {
            if (world.gainHeard(uid, from, from + kWindow) >= kAudible) {
                heard[name] += kWindow;
            }
        }
    }
    std::string text = "over the " + decimal(end - faultAt, 0) + " s after the fault, heard";
    for (const auto& [name, seconds] : heard) {
        text += " on " + name + " for " + decimal(seconds, 1) + " s,";
    }
    return text + " on none for " + decimal(silentTime(end), 1) + " s";
}

TEST_P(FaultMatrixTest, AppIsHeardAgainWithAReasonAndNothingOfOursIsLeft) {
    const FaultCase& fault = GetParam();
    faultAt = dispatch::now();
    fault.inject(*this);
    world.advance(fault.settle);

    const RouteStatus& status = world.controller->routeStatuses().at(kMusic.bundleID);
    EXPECT_EQ(status.phase, fault.phase);
    EXPECT_EQ(status.message, fault.message);
    EXPECT_EQ(world.controller->lastError(), fault.lastError);
    world.expectOnlyActiveRoutesLeft();

    const dispatch::Seconds end = dispatch::now() - ApplicationModelWorld::kBufferPeriod;
    EXPECT_TRUE(isHeardAsExpected(fault.heard, end - kHalf, end));
    const dispatch::Seconds recovery = fault.isKnownLimitation ? kNever : recoveryTime(fault.heard, end);
    if (!fault.isKnownLimitation) {
        EXPECT_LE(recovery, fault.detectionDelay + kHealthInterval) << "not heard again within one health cycle";
    }

    std::string sees = std::string("`") + std::string(rawValue(status.phase)) + "`";
    if (status.message) {
        sees += ": \"" + *status.message + "\"";
    }
    if (world.controller->needsSystemAudioAccess()) {
        sees += "; audio-capture access is suggested";
    }
    if (world.controller->lastError()) {
        sees += "; banner: \"" + *world.controller->lastError() + "\"";
    }
    std::string heard = "nothing";
    if (fault.heard.deviceUID) {
        const double gain = world.gainHeard(*fault.heard.deviceUID, end - kHalf, end);
        heard = "at " + decimal(gain, 2) + " on " + kDeviceNames.at(*fault.heard.deviceUID) +
                (status.phase == RouteLifecyclePhase::active ? ", routed" : ", its normal output");
        if (fault.isKnownLimitation) {
            heard += ": silent as long as the route runs";
        } else if (fault.tellsWhereHeard) {
            heard += "; " + whereHeard(end);
            EXPECT_LT(silentTime(end), (end - faultAt) / 2) << "not heard for most of the run";
        } else if (const dispatch::Seconds silent = silentTime(end); silent > 0.0) {
            heard += "; silent for " + decimal(silent, 3) + " s after the fault";
        }
    }
    const std::string recovered = fault.isKnownLimitation ? "never (known limitation)" : decimal(recovery, 3) + " s";
    addTableRow("| " + fault.fault + " | " + sees + " | " + heard + " | " + recovered + " |");
}

const Heard kRoutedToHeadset{kHeadset, kHalf};
const Heard kFullOnSpeakers{kSpeakers, 1.0};
const OutputPreference kSystemDefault = OutputPreference::systemDefault();

// A start-time fault is armed, then the user sends the playing app to the headset.
std::function<void(FaultMatrixTest&)> onRouteToHeadset(std::function<void(sim::SimulatedServer&)> arm) {
    return [arm = std::move(arm)](FaultMatrixTest& test) {
        arm(*test.world.server);
        test.choose(kToHeadset);
    };
}
std::function<void(FaultMatrixTest&)> onRouteToHeadset(sim::AggregateBehaviour behaviour) {
    return onRouteToHeadset([behaviour](sim::SimulatedServer& server) { server.setAggregateBehaviour(behaviour); });
}
sim::AggregateBehaviour streamsAfter(double seconds) { return {.streamDelaySeconds = seconds}; }
sim::AggregateBehaviour shaped(sim::StreamShapeFault fault) { return {.shapeFault = fault}; }

// The destination's routes stall (the running one at once, every later one a moment after
// it starts) while the app's helper starts or stops its audio every period, for 24 s (the
// devices' last 30 s can be read back). The helper plays silence, so that its starts and
// stops do not blur what is heard of the app's tone. When the route was rebuilt before its
// second check, the watchdog needs one check more.
FaultCase stallsUnderChurn(int period) {
    const auto inject = [period](FaultMatrixTest& test) {
        sim::SimulatedServer& server = *test.world.server;
        server.setAggregateBehaviour({.ioStallSeconds = 0.2});
        ASSERT_TRUE(server.setSource(kMusicHelperPid, sim::AudioSource::silence()));
        ASSERT_TRUE(server.setIOStalled(test.onlyRouteAggregate(), true));
        constexpr int kRun = 24;
        for (int change = 1; change * period <= kRun; ++change) {
            test.world.advance(period);
            ASSERT_TRUE(change == 1       ? server.launchProcess(kMusicHelperPid)
                        : change % 2 == 1 ? server.startAudio(kMusicHelperPid)
                                          : server.stopAudio(kMusicHelperPid));
        }
        test.world.advance(kRun % period);
    };
    return {"StallsUnderChurnEvery" + std::to_string(period) + "s",
            "a destination whose routes stall, while the app's helper starts or stops every " + std::to_string(period) +
                " s",
            kToHeadset,
            inject,
            RouteLifecyclePhase::failedRecoverable,
            RouteStatus::kHeartbeatStalledMessage,
            kFullOnSpeakers,
            (RouteReconciler::kStallThreshold + 1) * kHealthInterval,
            kSettle,
            std::nullopt,
            false,
            true};
}

const std::vector<FaultCase> kFaults{
    {"TapRefused", "tap creation refused for lack of permission", kSystemDefault,
     onRouteToHeadset([](sim::SimulatedServer& server) { server.setCaptureDenial(sim::CaptureDenial::refuseTap); }),
     RouteLifecyclePhase::failedRecoverable, "Create private process tap failed: 'perm' (1885696621)", kFullOnSpeakers},
    {"TapOfSilence", "tap delivering only zeros while still muting the app", kSystemDefault,
     onRouteToHeadset([](sim::SimulatedServer& server) { server.setCaptureDenial(sim::CaptureDenial::silentTap); }),
     RouteLifecyclePhase::active, std::nullopt, Heard{kHeadset, 0.0}, 0.0, kSettle, std::nullopt, true},
    {"StreamsNeverAppear", "aggregate streams that never appear", kSystemDefault,
     onRouteToHeadset(streamsAfter(kNever)), RouteLifecyclePhase::failedRecoverable,
     "Wait for aggregate tap/output streams (timed out after 1 second) returned no value", kFullOnSpeakers},
    {"StreamsAfter15ms", "aggregate streams appearing after 15 ms", kSystemDefault,
     onRouteToHeadset(streamsAfter(0.015)), RouteLifecyclePhase::active, std::nullopt, kRoutedToHeadset},
    {"StreamsAfter200ms", "aggregate streams appearing after 200 ms", kSystemDefault,
     onRouteToHeadset(streamsAfter(0.2)), RouteLifecyclePhase::active, std::nullopt, kRoutedToHeadset},
    {"SixteenBitStream", "16-bit tap stream", kSystemDefault,
     onRouteToHeadset(shaped(sim::StreamShapeFault::sixteenBitTap)), RouteLifecyclePhase::failedRecoverable,
     "The aggregate route is not Float32 PCM; conversion is not implemented in Milestone 0.", kFullOnSpeakers},
    {"MonoStream", "mono tap stream", kSystemDefault, onRouteToHeadset(shaped(sim::StreamShapeFault::monoTap)),
     RouteLifecyclePhase::failedRecoverable,
     "Route channel/layout mismatch: input 48000 Hz/1 ch, output 48000 Hz/2 ch. Tonvale did not coerce the "
     "destination format.",
     kFullOnSpeakers},
    {"InterleavingMismatch", "tap stream not interleaved, output interleaved", kSystemDefault,
     onRouteToHeadset(shaped(sim::StreamShapeFault::nonInterleavedTap)), RouteLifecyclePhase::failedRecoverable,
     "Route channel/layout mismatch: input 48000 Hz/2 ch, output 48000 Hz/2 ch. Tonvale did not coerce the "
     "destination format.",
     kFullOnSpeakers},
    {"TwoInputStreams", "two input streams on the aggregate", kSystemDefault,
     onRouteToHeadset(shaped(sim::StreamShapeFault::extraInputStream)), RouteLifecyclePhase::failedRecoverable,
     "Expected one tap input and at least one output, found 2 input/1 output streams. The route was rejected to "
     "avoid opening a destination device's physical input.",
     kFullOnSpeakers},
    {"DestinationUnplugged", "the destination unplugged mid-route", kToHeadset,
     [](FaultMatrixTest& test) { ASSERT_TRUE(test.world.server->unplugDevice(kHeadset)); },
     RouteLifecyclePhase::waitingForPreferredDevice, RouteStatus::kPreferredOutputUnavailableMessage, kFullOnSpeakers},
    {"DestinationDies", "the destination dying mid-route", kToHeadset,
     [](FaultMatrixTest& test) { ASSERT_TRUE(test.world.server->killDevice(kHeadset)); },
     RouteLifecyclePhase::waitingForPreferredDevice, RouteStatus::kPreferredOutputUnavailableMessage, kFullOnSpeakers},
    {"DefaultToAirPlay", "the default output switching to AirPlay", kSystemDefault,
     [](FaultMatrixTest& test) { ASSERT_TRUE(test.world.server->setDefaultOutputDevice(kAirPlay)); },
     RouteLifecyclePhase::waitingForPreferredDevice, RouteStatus::kPreferredOutputUnavailableMessage,
     Heard{kAirPlay, 1.0}},
    {"DefaultToNoOutput", "the default output switching to AirPlay, then to a device without output", kSystemDefault,
     [](FaultMatrixTest& test) {
         ASSERT_TRUE(test.world.server->setDefaultOutputDevice(kAirPlay));
         test.world.advance(1.0);
         test.faultAt = dispatch::now();
         ASSERT_TRUE(test.world.server->setDefaultOutputDevice(kMicrophone));
     },
     RouteLifecyclePhase::waitingForPreferredDevice, RouteStatus::kPreferredOutputUnavailableMessage, Heard{}},
    {"IOStalls", "IO stalling", kToHeadset,
     [](FaultMatrixTest& test) { ASSERT_TRUE(test.world.server->setIOStalled(test.onlyRouteAggregate(), true)); },
     RouteLifecyclePhase::failedRecoverable, RouteStatus::kHeartbeatStalledMessage, kFullOnSpeakers,
     RouteReconciler::kStallThreshold* kHealthInterval, 10.0},
    stallsUnderChurn(3),
    stallsUnderChurn(7),
    stallsUnderChurn(9),
    {"EngineStops", "the route engine stopping on its own (its aggregate device's IO ends)", kToHeadset,
     [](FaultMatrixTest& test) { ASSERT_TRUE(test.world.server->killDevice(test.onlyRouteAggregate())); },
     RouteLifecyclePhase::failedRecoverable, RouteStatus::kEngineStoppedMessage, kFullOnSpeakers},
    {"ServiceRestarts", "the audio service restarting mid-route", kToHeadset,
     [](FaultMatrixTest& test) { test.world.server->restartAudioService(); }, RouteLifecyclePhase::active, std::nullopt,
     kRoutedToHeadset},
    {"ServiceRestartsTwice", "the audio service restarting twice within 100 ms", kToHeadset,
     [](FaultMatrixTest& test) {
         test.world.server->restartAudioService();
         test.world.advance(0.08);
         test.faultAt = dispatch::now();
         test.world.server->restartAudioService();
     },
     RouteLifecyclePhase::active, std::nullopt, kRoutedToHeadset},
    {"SleepAndWake", "sleep and wake", kToHeadset,
     [](FaultMatrixTest& test) {
         test.world.server->sleep();
         test.world.advance(1.0);
         test.faultAt = dispatch::now();
         test.world.server->wake();
     },
     RouteLifecyclePhase::active, std::nullopt, kRoutedToHeadset},
    {"TenSleepsAndWakes", "sleep and wake ten times in a row within a second", kToHeadset,
     [](FaultMatrixTest& test) {
         for (int round = 0; round < 10; ++round) {
             test.world.server->sleep();
             test.world.advance(0.05);
             test.faultAt = dispatch::now();
             test.world.server->wake();
             test.world.advance(0.04);
         }
     },
     RouteLifecyclePhase::active, std::nullopt, kRoutedToHeadset},
    {"WakeWithoutSleep", "a wake without a sleep", kToHeadset, [](FaultMatrixTest& test) { test.world.server->wake(); },
     RouteLifecyclePhase::active, std::nullopt, kRoutedToHeadset},
    {"AppExits", "the app's process exiting mid-route", kToHeadset,
     [](FaultMatrixTest& test) { ASSERT_TRUE(test.world.server->quitProcess(kMusicPid)); },
     RouteLifecyclePhase::waitingForProcess, std::nullopt, Heard{}},
    {"HelperJoinsAndLeaves", "a helper process joining and leaving", kToHeadset,
     [](FaultMatrixTest& test) {
         ASSERT_TRUE(test.world.server->launchProcess(kMusicHelperPid));
         test.world.advance(0.5);
         const dispatch::Seconds from = dispatch::now();
         test.world.advance(0.5);
         EXPECT_NEAR(test.world.gainHeard(kHeadset, from, from + 0.4, kHelperTone), kHalf, kTolerance);
         EXPECT_NEAR(test.world.gainHeard(kHeadset, from, from + 0.4), kHalf, kTolerance);
         test.faultAt = dispatch::now();
         ASSERT_TRUE(test.world.server->quitProcess(kMusicHelperPid));
     },
     RouteLifecyclePhase::active, std::nullopt, kRoutedToHeadset},
    {"DeviceReadFails",
     "a property read failing for one device (the AirPlay speaker) in every snapshot; then the destination is "
     "unplugged",
     kToHeadset,
     [](FaultMatrixTest& test) {
         test.injectForObject(test.world.server->deviceID(kAirPlay).value());
         ASSERT_TRUE(test.world.server->setDefaultInputDevice(kMicrophone));
         test.world.advance(0.5);
         for (const AudioDeviceInfo& device : test.world.controller->devices()) {
             EXPECT_NE(device.uid, kAirPlay) << "an unreadable device is left out";
         }
         test.faultAt = dispatch::now();
         ASSERT_TRUE(test.world.server->unplugDevice(kHeadset));
     },
     RouteLifecyclePhase::waitingForPreferredDevice, RouteStatus::kPreferredOutputUnavailableMessage, kFullOnSpeakers},
    {"ProcessReadFails",
     "a property read failing for one process (another app's) in every snapshot; then a helper of the app joins",
     kToHeadset,
     [](FaultMatrixTest& test) {
         test.injectForObject(test.world.server->processObjectID(kChatPid).value());
         test.faultAt = dispatch::now();
         ASSERT_TRUE(test.world.server->launchProcess(kMusicHelperPid));
         test.world.advance(1.0);
         EXPECT_NEAR(test.world.gainHeardOver(kHeadset, 0.2, kHelperTone), kHalf, kTolerance) << "the helper joined";
         for (const LogicalAppProcessGroup& group : test.world.controller->logicalApps()) {
             EXPECT_NE(group.identity.bundleID, chatApp().bundleID);
         }
     },
     RouteLifecyclePhase::active, std::nullopt, kRoutedToHeadset},
    {"SaveFailsWhileDragging", "a save failing (settings folder read-only) while the user drags a slider", kToHeadset,
     [](FaultMatrixTest& test) {
         test.world.store->saveError = PersistenceError{
             foundation::FileError::fromCode(foundation::FileError::Operation::write, kSettingsPath, EROFS)};
         for (const float volume : {0.45F, 0.4F, 0.35F, 0.3F}) {
             test.world.controller->setConfiguration({volume, false, kToHeadset}, kMusic, false);
             test.world.advance(0.05);
         }
         test.faultAt = dispatch::now();
         test.world.controller->flushPendingPersistence();
     },
     RouteLifecyclePhase::active, std::nullopt, Heard{kHeadset, 0.3}, 0.0, kSettle,
     std::string("Could not write ") + kSettingsPath + ": Read-only file system"},
};

INSTANTIATE_TEST_SUITE_P(Faults, FaultMatrixTest, ::testing::ValuesIn(kFaults),
                         [](const ::testing::TestParamInfo<FaultCase>& param) { return param.param.name; });

}  // namespace
}  // namespace tonvale::testing
