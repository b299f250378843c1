// A seeded random run of user actions, device and app changes, restarts, sleeps and injected
// failures against the whole application model in virtual time. After every settled step each
// playing app is heard at its gain through its route, or at full level on its normal output
// with a fault status; nothing of ours outlives the active routes; every 250 steps a stop and
// start hands back every listener; and memory does not grow. TONVALE_SOAK_EVENTS and
// TONVALE_SOAK_SEED choose another run (scripts/soak); TONVALE_SOAK_FIGURES names a file for its figures.
#include <malloc.h>
#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <iostream>
#include <map>
#include <optional>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "hal/AudioProcessCatalogue.h"
#include "tests/reliability/FaultDesk.h"

#ifndef TONVALE_SHORT_SOAK_EVENTS
#error "the build chooses the short soak's length"
#endif

namespace tonvale::testing {
namespace {

constexpr double kTolerance = 0.02;
constexpr dispatch::Seconds kMeasured = 0.1;  // whole periods of every tone
constexpr dispatch::Seconds kSettle = 2.1;    // one health check, or a recovery (0.5 s), a snapshot and a start
constexpr dispatch::Seconds kStallSettle = 8.5;
// A route rebuilt before its second health check takes one check more to fail.
constexpr dispatch::Seconds kStallUnderChurnSettle = kStallSettle + 2.0;
constexpr int kCheckpointEvents = 250;
// Growth of the small allocations allowed between the checkpoint after a quarter of the run
// and the last one: twice the allocator's swing between checkpoints, below what a leak of a
// few hundred bytes per event adds over the short run.
constexpr long kAllowedGrowthKiB = 96;
// A sanitizer's allocator keeps freed memory aside and has its own leak checks.
#if defined(TONVALE_SOAK_UNDER_SANITIZER)
constexpr bool kChecksHeapGrowth = false;
#else
constexpr bool kChecksHeapGrowth = true;
#endif

const std::vector<std::string> kOutputs{kSpeakers, kHeadset, kAirPlay};
const std::vector<std::string> kDefaultCandidates{kSpeakers, kHeadset, kAirPlay, kMultiOutput, kMicrophone};

struct SoakApp {
    AppIdentity identity;
    std::vector<std::pair<std::int32_t, Tone>> processes;
};

const std::vector<SoakApp> kApps{
    {ApplicationModelWorld::music(), {{kMusicPid, Tone{}}, {kMusicHelperPid, kHelperTone}}},
    {chatApp(), {{kChatPid, kChatTone}}}};
const std::vector<std::int32_t> kPids{kMusicPid, kMusicHelperPid, kChatPid};

std::uint64_t environmentNumber(const char* name, std::uint64_t fallback) {
    const char* text = std::getenv(name);
    return text == nullptr || *text == '\0' ? fallback : std::strtoull(text, nullptr, 10);
}

// What the program holds in small allocations, where a per-event leak shows; the large
// blocks are the simulator's read-back buffers, a fixed minute of audio per device.
long heapInUseKiB() { return static_cast<long>(mallinfo2().uordblks / 1024); }

double cpuSeconds() { return static_cast<double>(std::clock()) / CLOCKS_PER_SEC; }

class SoakTest : public ::testing::Test {
protected:
    using Expected = std::map<std::string, double>;  // device UID -> gain of the tone's own level

    void SetUp() override {
        world.start();
        baseWorkspaceObservers = world.server->workspaceObserverCount();
    }
    void TearDown() override { world.stop(); }

    template <typename T>
    const T& pick(const std::vector<T>& choices) {
        return choices[std::uniform_int_distribution<std::size_t>(0, choices.size() - 1)(random)];
    }
    bool chance(double probability) { return std::bernoulli_distribution(probability)(random); }

    void runEvent();
    void settle(dispatch::Seconds seconds);
    [[nodiscard]] bool isSettled() const;
    // The live physical outputs a device plays on: the multi-output's members, or itself.
    [[nodiscard]] static std::vector<std::string> heardOn(const std::vector<AudioDeviceInfo>& devices,
                                                          const std::string& uid);
    void checkEveryAppIsHeardAsItShouldBe();
    void checkpoint();
    [[nodiscard]] std::string context() const;

    ApplicationModelWorld world{faultDesk()};
    std::mt19937_64 random{environmentNumber("TONVALE_SOAK_SEED", 1)};
    std::uint64_t events = 0;
    std::size_t baseWorkspaceObservers = 0;
    std::vector<long> checkpointHeapKiB;
};

void SoakTest::runEvent() {
    ++events;
    const SoakApp& app = pick(kApps);
    AppAudioConfiguration configuration = world.controller->configurationFor(app.identity.bundleID);
    const auto anOutput = [this] {
        const std::string uid = pick(std::vector<std::string>{"", kSpeakers, kHeadset, kAirPlay, kMultiOutput});
        return uid.empty() ? OutputPreference::systemDefault() : OutputPreference::device(uid, uid);
    };
    dispatch::Seconds settleFor = kSettle;
    switch (std::uniform_int_distribution<int>(0, 12)(random)) {
        case 0:
            configuration = {pick(std::vector<float>{0.25F, 0.5F, 0.75F, 1.0F}), chance(0.15), anOutput()};
            world.controller->setConfiguration(configuration, app.identity, true);
            break;
        case 1:
            for (const float volume : {0.9F, 0.6F, pick(std::vector<float>{0.3F, 0.45F, 1.0F})}) {
                configuration.volume = volume;
                world.controller->setConfiguration(configuration, app.identity, false);
                world.advance(0.03);
            }
            world.controller->flushPendingPersistence();
            break;
        case 2:
            configuration.output = anOutput();
            world.controller->setConfiguration(configuration, app.identity, true);
            break;
        case 3: {
            const std::string& uid = pick(kOutputs);
            const bool isPlugged = world.server->deviceID(uid).has_value();
            EXPECT_TRUE(isPlugged ? world.server->unplugDevice(uid) : world.server->plugDevice(uid));
            break;
        }
        case 4: {
            const std::string& uid = pick(kDefaultCandidates);
            static_cast<void>(world.server->setDefaultOutputDevice(uid));
            break;
        }
        case 5:
        case 6: {
            const std::int32_t pid = pick(kPids);
            const bool isLaunched = world.server->processObjectID(pid).has_value();
            if (!isLaunched || chance(0.2)) {
                EXPECT_TRUE(isLaunched ? world.server->quitProcess(pid)
                                       : world.server->launchProcess(pid) && world.server->startAudio(pid));
                break;
            }
            const bool starts = chance(0.5);
            EXPECT_TRUE(starts ? world.server->startAudio(pid) : world.server->stopAudio(pid));
            break;
        }
        case 7:
            world.server->restartAudioService();
            if (chance(0.3)) {
                world.advance(0.05);
                world.server->restartAudioService();
            }
            break;
        case 8:
            world.server->sleep();
            world.advance(std::uniform_real_distribution<double>(0.05, 3.0)(random));
            world.server->wake();
            break;
        case 9: {
            // A failure of the next start, met by whatever starts a route next.
            const int failure = std::uniform_int_distribution<int>(0, 5)(random);
            switch (failure) {
                case 0:
                    world.server->setCaptureDenial(sim::CaptureDenial::refuseTap);
                    break;
                case 1:
                    world.server->injectFailure({sim::Call::createAggregateDevice});
                    break;
                case 2:
                    world.server->injectFailure({sim::Call::createIOProcID});
                    break;
                case 3:
                    world.server->injectFailure({sim::Call::deviceStart});
                    break;
                case 4:
                    world.server->setAggregateBehaviour({.shapeFault = sim::StreamShapeFault::monoTap});
                    break;
                default:
                    world.server->setAggregateBehaviour({.streamDelaySeconds = 5.0});
                    break;
            }
            configuration.output = anOutput();
            world.controller->setConfiguration(configuration, app.identity, true);
            settleFor = 1.5;
            break;
        }
        case 10: {
            const std::vector<std::string> aggregates = ApplicationModelWorld::routeAggregateUIDs();
            if (aggregates.empty()) {
                break;
            }
            const bool stalls = chance(0.5);
            EXPECT_TRUE(stalls ? world.server->setIOStalled(pick(aggregates), true)
                               : world.server->killDevice(pick(aggregates)));
            settleFor = stalls ? kStallSettle : 2.5;
            break;
        }
        case 11: {
            // Every route stalls (the running ones at once, new ones a moment after they
            // start) while the music player plays and its helper starts or stops every few
            // seconds; a last change comes once the watchdog has had time to fail them, and
            // must not bring a route back onto the stalling destination.
            world.server->setAggregateBehaviour({.ioStallSeconds = 0.2});
            for (const std::string& aggregate : ApplicationModelWorld::routeAggregateUIDs()) {
                EXPECT_TRUE(world.server->setIOStalled(aggregate, true));
            }
            EXPECT_TRUE((world.server->processObjectID(kMusicPid) || world.server->launchProcess(kMusicPid)) &&
                        world.server->startAudio(kMusicPid));
            const dispatch::Seconds period = pick(std::vector<dispatch::Seconds>{3.0, 7.0, 9.0});
            for (int change = 0; change < 3; ++change) {
                world.advance(change < 2 ? period : kStallUnderChurnSettle);
                const bool isLaunched = world.server->processObjectID(kMusicHelperPid).has_value();
                EXPECT_TRUE(change % 2 == 1 ? world.server->stopAudio(kMusicHelperPid)
                                            : (isLaunched || world.server->launchProcess(kMusicHelperPid)) &&
                                                  world.server->startAudio(kMusicHelperPid));
            }
            break;
        }
        default: {
            const std::string& uid = pick(kOutputs);
            if (const std::optional<AudioObjectID> device = world.server->deviceID(uid)) {
                world.server->injectFailure({sim::Call::getPropertyData, kAudioHardwareUnspecifiedError, 0, *device});
            }
            static_cast<void>(world.server->setDefaultInputDevice(chance(0.5) ? kMicrophone : kHeadset));
            break;
        }
    }
    settle(settleFor);
}

void SoakTest::settle(dispatch::Seconds seconds) {
    world.advance(seconds);
    for (int extra = 0; extra < 10 && !isSettled(); ++extra) {
        world.advance(0.5);
    }
    EXPECT_TRUE(isSettled()) << "routes still starting or stopping" << context();
    // The faults of this step end with it; the check reads the world as it is.
    world.server->clearInjectedFailures();
    world.server->setCaptureDenial(sim::CaptureDenial::none);
    world.server->setAggregateBehaviour({});
    // The test's store keeps every document saved; this run needs none of them.
    world.store->saves.clear();
}

bool SoakTest::isSettled() const {
    return std::ranges::none_of(world.controller->routeStatuses(), [](const auto& entry) {
        const RouteLifecyclePhase phase = entry.second.phase;
        return phase == RouteLifecyclePhase::starting || phase == RouteLifecyclePhase::stopping;
    });
}

std::vector<std::string> SoakTest::heardOn(const std::vector<AudioDeviceInfo>& devices, const std::string& uid) {
    std::vector<std::string> outputs =
        uid == kMultiOutput ? std::vector<std::string>{kSpeakers, kHeadset} : std::vector<std::string>{uid};
    std::erase_if(outputs, [&devices](const std::string& output) {
        return std::none_of(devices.begin(), devices.end(), [&output](const AudioDeviceInfo& device) {
            return device.uid == output && device.isAlive && device.hasOutput;
        });
    });
    return outputs;
}

void SoakTest::checkEveryAppIsHeardAsItShouldBe() {
    const std::vector<AudioDeviceInfo> devices = enumerateDevices().valueOr({});
    const AudioObjectID defaultID = readDefaultOutputDevice().valueOr(kAudioObjectUnknown);
    const auto normal = std::find_if(devices.begin(), devices.end(), [defaultID](const AudioDeviceInfo& device) {
        return device.objectID == defaultID;
    });
    std::set<std::int32_t> playing;
    for (const AudioProcessInfo& process : enumerateProcesses().valueOr({})) {
        if (process.isRunningOutput) {
            playing.insert(process.pid);
        }
    }

    std::vector<std::pair<Tone, Expected>> expectations;
    for (const SoakApp& app : kApps) {
        const AppAudioConfiguration configuration = world.controller->configurationFor(app.identity.bundleID);
        const auto found = world.controller->routeStatuses().find(app.identity.bundleID);
        std::vector<std::string> outputs = heardOn(devices, normal == devices.end() ? "" : normal->uid);
        double gain = 1.0;
        if (configuration.isCustomized()) {
            const bool isPlaying =
                std::any_of(app.processes.begin(), app.processes.end(),
                            [&playing](const auto& process) { return playing.contains(process.first); });
            if (!isPlaying) {
                continue;
            }
            const RouteLifecyclePhase phase =
                found == world.controller->routeStatuses().end() ? RouteLifecyclePhase::bypassed : found->second.phase;
            if (phase == RouteLifecyclePhase::active) {
                outputs = heardOn(devices, found->second.effectiveDestinationUID.value_or(""));
                gain = configuration.muted ? 0.0 : configuration.volume;
            } else {
                EXPECT_TRUE(phase == RouteLifecyclePhase::failedRecoverable ||
                            phase == RouteLifecyclePhase::waitingForPreferredDevice)
                    << app.identity.bundleID << " plays, customised, in " << rawValue(phase) << context();
                EXPECT_TRUE(found->second.isFallbackActive) << context();
            }
        }
        for (const auto& [pid, tone] : app.processes) {
            if (!playing.contains(pid)) {
                continue;
            }
            Expected expected;
            for (const std::string& uid : outputs) {
                expected[uid] = gain;
            }
            expectations.emplace_back(tone, std::move(expected));
        }
    }

    const dispatch::Seconds from = dispatch::now();
    world.advance(kMeasured + 2 * ApplicationModelWorld::kBufferPeriod);
    for (const auto& [tone, expected] : expectations) {
        for (const std::string& uid : kOutputs) {
            const auto wanted = expected.find(uid);
            const double gain = wanted == expected.end() ? 0.0 : wanted->second;
            EXPECT_NEAR(world.gainHeard(uid, from, from + kMeasured, tone), gain, kTolerance)
                << tone.frequency << " Hz on " << uid << context();
        }
    }
    world.expectOnlyActiveRoutesLeft();
}

void SoakTest::checkpoint() {
    world.controller->stop();
    world.advance(0.3);
    world.expectNothingOfOursLeft();
    EXPECT_EQ(world.server->listenerCount(), world.baseListenerCount) << "listeners left registered" << context();
    world.controller->start();
    world.advance(kSettle);
    EXPECT_EQ(world.server->workspaceObserverCount(), baseWorkspaceObservers) << context();
    checkpointHeapKiB.push_back(heapInUseKiB());
}

std::string SoakTest::context() const {
    std::ostringstream text;
    text << "\n  after event " << events
         << " (run again with TONVALE_SOAK_SEED=" << environmentNumber("TONVALE_SOAK_SEED", 1)
         << " TONVALE_SOAK_EVENTS=" << events << ")";
    for (const auto& [bundleID, status] : world.controller->routeStatuses()) {
        text << "\n  " << bundleID << ": " << rawValue(status.phase) << " to "
             << status.effectiveDestinationUID.value_or("-") << " " << status.message.value_or("");
    }
    return text.str();
}

TEST_F(SoakTest, EveryPlayingAppIsHeardAsConfiguredOrFailedOpenAndNothingLeaksOrGrows) {
    const std::uint64_t total = environmentNumber("TONVALE_SOAK_EVENTS", TONVALE_SHORT_SOAK_EVENTS);
    const auto realStart = std::chrono::steady_clock::now();
    const double cpuStart = cpuSeconds();
    const dispatch::Seconds virtualStart = dispatch::now();
    for (const SoakApp& app : kApps) {
        world.controller->setConfiguration({0.5F}, app.identity, true);
    }
    settle(kSettle);
    while (events < total && !HasFailure()) {
        runEvent();
        checkEveryAppIsHeardAsItShouldBe();
        if (events % kCheckpointEvents == 0) {
            checkpoint();
        }
    }
    const double realSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - realStart).count();
    const double virtualHours = (dispatch::now() - virtualStart) / 3600.0;
    // Skipping the first quarter lets the allocator and the read-back buffers fill up once.
    const std::size_t warm = checkpointHeapKiB.size() / 4;
    const long growth = checkpointHeapKiB.size() > warm + 1 ? checkpointHeapKiB.back() - checkpointHeapKiB[warm] : 0;
    if (kChecksHeapGrowth) {
        EXPECT_LE(growth, kAllowedGrowthKiB) << "the heap grew";
    }
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    std::ostringstream figures;
    figures << "events=" << events << " seed=" << environmentNumber("TONVALE_SOAK_SEED", 1)
            << " virtualHours=" << virtualHours << " leaks=" << (HasFailure() ? "see failures" : "none")
            << " peakRSSKiB=" << usage.ru_maxrss << " heapGrowthKiB=" << growth << " realSeconds=" << realSeconds
            << " cpuSeconds=" << cpuSeconds() - cpuStart;
    std::cout << "soak " << figures.str() << '\n';
    if (const char* path = std::getenv("TONVALE_SOAK_FIGURES"); path != nullptr && *path != '\0') {
        std::ofstream(path) << figures.str() << '\n';
    }
}

}  // namespace
}  // namespace tonvale::testing
