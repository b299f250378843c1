// Test world of the route reconciler: virtual time, a reconciler whose engines are scripted
// fakes (a start or stop is answered only when the test says, with success or a chosen
// error, in the order asked, like an engine's serial queue), the maps onStatusesChanged
// was given, and builders for profiles, process groups and the desk's devices.
// Create on the test's thread; everything runs there in virtual time.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <deque>
#include <initializer_list>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "engine/AudioRouteEngine.h"
#include "hal/AudioHALError.h"
#include "platform/dispatch/Dispatch.h"
#include "reconcile/RouteReconciler.h"

namespace tonvale {

inline void PrintTo(const RouteStatus& status, std::ostream* out) {
    const OutputPreference::Device* device = status.preferredOutput.selectedDevice();
    *out << rawValue(status.phase) << " for " << (device ? device->uid + " (" + device->lastKnownName + ")" : "default")
         << " to " << status.effectiveDestinationUID.value_or("-") << (status.isFallbackActive ? ", fallback" : "")
         << (status.message ? ": " + *status.message : "");
}

}  // namespace tonvale

namespace tonvale::testing {

inline constexpr dispatch::Seconds kHealthInterval = RouteReconciler::kHealthInterval;

// What one fake engine was asked and holds; outlives the engine.
struct EngineRecord {
    enum class Phase { starting, running, failed, stopped };
    struct Pending {
        AudioRouteEngine::StartCompletion start;  // empty for a stop
        AudioRouteEngine::StopCompletion stop;
    };

    Phase phase = Phase::starting;
    std::vector<AudioObjectID> processIDs;
    std::string destinationUID;
    std::vector<float> gains;  // the start's, then every setGain
    int stopRequests = 0;
    int snapshotRequests = 0;
    bool wasReleasedUnstopped = false;
    std::deque<Pending> pending;
    // Snapshots while running: callbacks at 100 per second until frozenAt.
    std::optional<dispatch::Seconds> frozenAt;
    dispatch::Seconds runningSince = 0.0;

    [[nodiscard]] bool isAlive() const { return phase == Phase::starting || phase == Phase::running; }
    [[nodiscard]] bool hasPendingStart() const { return !pending.empty() && pending.front().start; }

    // Answers the oldest pending start (with success, or failure with the error's text) or
    // stop; the answer reaches the main queue as a real engine's does.
    void answerNext(const std::optional<std::string>& error = std::nullopt) {
        ASSERT_FALSE(pending.empty()) << "nothing to answer";
        Pending next = std::move(pending.front());
        pending.pop_front();
        if (!next.start) {
            phase = Phase::stopped;
            if (next.stop) {
                dispatch::DispatchQueue::main()->async(std::move(next.stop));
            }
            return;
        }
        phase = error ? Phase::failed : Phase::running;
        runningSince = dispatch::now();
        const RouteStartResult result =
            error ? RouteStartResult::failure(AudioHALError::invalidSelection(*error)) : RouteStartResult::success();
        dispatch::DispatchQueue::main()->async([completion = std::move(next.start), result] { completion(result); });
    }

    [[nodiscard]] AudioRouteSnapshot snapshot() const {
        AudioRouteSnapshot snapshot;
        snapshot.isActive = phase == Phase::running;
        const dispatch::Seconds until = std::min(frozenAt.value_or(dispatch::now()), dispatch::now());
        snapshot.callbackCount = static_cast<std::uint64_t>(std::floor(std::max(0.0, until - runningSince) * 100.0));
        return snapshot;
    }
};

class FakeRouteEngine final : public AudioRouteEngine {
public:
    FakeRouteEngine(std::shared_ptr<EngineRecord> record, const bool& answersAtOnce)
        : record_(std::move(record)), answersAtOnce_(answersAtOnce) {}
    ~FakeRouteEngine() override { record_->wasReleasedUnstopped = record_->stopRequests == 0; }

    void start(std::vector<AudioObjectID> processIDs, std::string destinationUID, float gain,
               StartCompletion completion) override {
        record_->processIDs = std::move(processIDs);
        record_->destinationUID = std::move(destinationUID);
        record_->gains.push_back(gain);
        record_->pending.push_back({std::move(completion), nullptr});
        answerAtOnceIfAsked();
    }
    void stop(StopCompletion completion) override {
        ++record_->stopRequests;
        record_->pending.push_back({nullptr, std::move(completion)});
        answerAtOnceIfAsked();
    }
    void setGain(float gain) override { record_->gains.push_back(gain); }
    void snapshot(SnapshotCompletion completion) override {
        ++record_->snapshotRequests;
        dispatch::DispatchQueue::main()->async(
            [completion = std::move(completion), snapshot = record_->snapshot()] { completion(snapshot); });
    }

private:
    void answerAtOnceIfAsked() {
        while (answersAtOnce_ && !record_->pending.empty()) {
            record_->answerNext();
        }
    }

    std::shared_ptr<EngineRecord> record_;
    const bool& answersAtOnce_;
};

// Speakers (the default output unless another is named), a USB headset, an AirPlay speaker.
inline constexpr AudioObjectID kSpeakersID = 10;
inline constexpr AudioObjectID kHeadsetID = 11;
inline constexpr AudioObjectID kAirPlayID = 12;
inline constexpr const char* kSpeakers = "speakers";
inline constexpr const char* kHeadset = "headset";
inline constexpr const char* kMusic = "com.example.music";
inline constexpr const char* kChat = "com.example.chat";

inline AudioDeviceSnapshot desk(AudioObjectID defaultOutputID = kSpeakersID, bool isHeadsetAlive = true) {
    const auto device = [](AudioObjectID objectID, std::string uid, std::uint32_t transport, bool isAlive) {
        return AudioDeviceInfo{objectID, uid, uid, transport, true, false, isAlive, 48000.0};
    };
    return AudioDeviceSnapshot{{device(kSpeakersID, kSpeakers, kAudioDeviceTransportTypeBuiltIn, true),
                                device(kHeadsetID, kHeadset, kAudioDeviceTransportTypeUSB, isHeadsetAlive),
                                device(kAirPlayID, "airplay", kAudioDeviceTransportTypeAirPlay, true)},
                               defaultOutputID,
                               0};
}

inline AppProfile profile(const std::string& bundleID, float volume, bool muted = false,
                          OutputPreference output = OutputPreference::systemDefault()) {
    return AppProfile{bundleID, bundleID, AppAudioConfiguration{volume, muted, std::move(output), std::nullopt}};
}

inline OutputPreference headsetPreference() { return OutputPreference::device(kHeadset, "Headset"); }

// One logical app; each process is {object ID, plays output}.
inline LogicalAppProcessGroup group(const std::string& bundleID,
                                    std::initializer_list<std::pair<AudioObjectID, bool>> processes) {
    LogicalAppProcessGroup result{AppIdentity{bundleID, bundleID}, {}};
    for (const auto& [objectID, isRunningOutput] : processes) {
        result.processes.push_back(
            AudioProcessInfo{objectID, static_cast<std::int32_t>(objectID), bundleID, bundleID, true, isRunningOutput});
    }
    return result;
}

class ReconcilerWorld {
public:
    ReconcilerWorld() {
        reconciler->setOnStatusesChanged([this](const RouteReconciler::StatusMap& map) { changes.push_back(map); });
    }
    ~ReconcilerWorld() {
        reconciler.reset();
        // Answers never given still hold their engines.
        for (const auto& record : engines) {
            record->pending.clear();
        }
    }
    ReconcilerWorld(const ReconcilerWorld&) = delete;
    ReconcilerWorld& operator=(const ReconcilerWorld&) = delete;

    void settle() { time.runUntilIdle(); }

    [[nodiscard]] std::optional<RouteStatus> status(const std::string& bundleID) const {
        const auto found = reconciler->statuses().find(bundleID);
        return found == reconciler->statuses().end() ? std::nullopt : std::optional(found->second);
    }
    [[nodiscard]] std::optional<RouteLifecyclePhase> phase(const std::string& bundleID) const {
        const auto found = status(bundleID);
        return found ? std::optional(found->phase) : std::nullopt;
    }
    [[nodiscard]] EngineRecord& engine(std::size_t index) { return *engines.at(index); }

    // The desk, the music player playing from process 100, and the given profile for it.
    void routeMusic(const AppProfile& musicProfile = profile(kMusic, 0.5F)) {
        reconciler->updateDeviceSnapshot(desk());
        reconciler->updateProcessGroups({group(kMusic, {{100, true}})});
        reconciler->updateProfile(musicProfile);
        settle();
    }

    dispatch::VirtualTime time;
    bool answersAtOnce = false;
    std::vector<std::shared_ptr<EngineRecord>> engines;
    std::shared_ptr<RouteReconciler> reconciler = RouteReconciler::create([this] {
        engines.push_back(std::make_shared<EngineRecord>());
        return std::make_shared<FakeRouteEngine>(engines.back(), answersAtOnce);
    });
    std::vector<RouteReconciler::StatusMap> changes;
};

}  // namespace tonvale::testing
