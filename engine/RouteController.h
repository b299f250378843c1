// Builds, runs and tears down one route: a private process tap on one application's
// processes, a private aggregate device joining it with the chosen output, and the
// renderer playing the tap there at a gain. Any failure tears the partial route down
// at once, so the application is heard through its normal output again.
// All audio-layer work runs on the controller's own serial control queue
// ("com.zelkor.tonvale.hal-control"); answers arrive on the main queue. Made by the
// reconciler's engine factory or the command-line modes, held in a std::shared_ptr;
// releasing the last reference tears the route down before the release returns.
// Thread-safety: the operations are called on the main thread; the rest is control-queue only.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "engine/AudioRouteEngine.h"
#include "engine/AudioRouteRenderer.h"
#include "platform/dispatch/Dispatch.h"

namespace tonvale {

inline constexpr const char* kRouteControlQueueLabel = "com.zelkor.tonvale.hal-control";

class RouteController final : public AudioRouteEngine, public std::enable_shared_from_this<RouteController> {
public:
    // The aggregate's streams are looked for up to this many times, this far apart.
    static constexpr int kStreamWaitAttempts = 50;
    static constexpr dispatch::Seconds kStreamWaitInterval = 0.020;

    [[nodiscard]] static std::shared_ptr<RouteController> create();
    ~RouteController() override;
    RouteController(const RouteController&) = delete;
    RouteController& operator=(const RouteController&) = delete;

    void start(std::vector<AudioObjectID> processIDs, std::string destinationUID, float gain,
               StartCompletion completion) override;
    void stop(StopCompletion completion) override;
    void setGain(float gain) override;
    void snapshot(SnapshotCompletion completion) override;

private:
    // A submitted operation: what it does on the control queue, and what is still owed
    // to its caller when the controller is gone before it runs.
    struct Operation {
        std::function<void(RouteController&)> perform;
        std::function<void()> abandon;
    };
    struct StartRequest {
        std::vector<AudioObjectID> processIDs;
        std::string destinationUID;
        float gain = 1.0F;
        StartCompletion completion;
    };

    RouteController();

    void submit(Operation operation);
    // Runs the operation now, or after the start that is waiting for streams.
    void perform(Operation operation);
    void runWaitingOperations();

    void beginStart(StartRequest request);
    void checkStreams(int attempt);
    void finishStart(std::optional<RouteError> error);
    void tearDown();
    [[nodiscard]] AudioRouteSnapshot currentSnapshot() const;

    const dispatch::QueuePtr controlQueue_;
    AudioObjectID tapID_ = kAudioObjectUnknown;
    AudioObjectID aggregateID_ = kAudioObjectUnknown;
    std::unique_ptr<AudioRouteRenderer> renderer_;
    std::vector<AudioObjectID> routedProcessIDs_;
    std::optional<std::string> destinationUID_;
    float requestedGain_ = 1.0F;
    // The start whose aggregate streams are awaited; while set, later operations wait
    // in order, as they would behind a blocked queue, but no thread sleeps.
    std::optional<StartRequest> startInProgress_;
    std::deque<Operation> waitingOperations_;
};

}  // namespace tonvale
