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

#include <memory>
#include <string>
#include <vector>

#include "engine/AudioRouteEngine.h"
#include "platform/dispatch/Clock.h"

namespace tonvale {

inline constexpr const char* kRouteControlQueueLabel = "com.zelkor.tonvale.hal-control";

class RouteController final : public AudioRouteEngine {
public:
    // The aggregate's streams are looked for up to this many times, this far apart.
    static constexpr int kStreamWaitAttempts = 50;
    static constexpr dispatch::Seconds kStreamWaitInterval = 0.020;

    [[nodiscard]] static std::shared_ptr<RouteController> create();
    RouteController();
    // Tears the route down on the control queue and waits for it (or runs the teardown
    // directly when already on that queue). Work still queued then finds the controller
    // gone: a start or snapshot is never answered, a stop is.
    ~RouteController() override;
    RouteController(const RouteController&) = delete;
    RouteController& operator=(const RouteController&) = delete;

    void start(std::vector<AudioObjectID> processIDs, std::string destinationUID, float gain,
               StartCompletion completion) override;
    void stop(StopCompletion completion) override;
    void setGain(float gain) override;
    void snapshot(SnapshotCompletion completion) override;

private:
    // Everything the control queue owns. Queued work holds it, never the controller, so
    // the controller's last release is always its owner's, and its teardown is synchronous.
    class Route;
    const std::shared_ptr<Route> route_;
};

}  // namespace tonvale
