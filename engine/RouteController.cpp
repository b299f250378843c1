#include "engine/RouteController.h"

#include <deque>
#include <functional>
#include <optional>
#include <utility>

#include "engine/AudioRouteRenderer.h"
#include "engine/Gain.h"
#include "engine/RouteAggregateDescription.h"
#include "hal/AudioPropertyReaders.h"
#include "hal/DestinationValidation.h"
#include "platform/dispatch/Dispatch.h"

namespace tonvale {

namespace {

constexpr const char* kTapName = "Tonvale route";
constexpr const char* kStreamWaitOperation = "Wait for aggregate tap/output streams (timed out after 1 second)";
// The audio layer here restores tapped processes after a crash, as the platform does
// from version 26 on, so the tap asks for it.
constexpr bool kHasProcessRestore = true;

void postToMain(std::function<void()> work) { dispatch::DispatchQueue::main()->async(std::move(work)); }

// A private stereo mixdown of exactly these processes, which fall silent on their own
// output only while the tap is read.
CATapDescription routeTapDescription(const std::vector<AudioObjectID>& processIDs) {
    CATapDescription description;
    description.name = kTapName;
    description.processes = processIDs;
    description.isPrivate = true;
    if (kHasProcessRestore) {
        description.isProcessRestoreEnabled = true;
    }
    description.muteBehavior = CATapMutedWhenTapped;
    description.isMixdown = true;
    description.isMono = false;
    description.isExclusive = false;
    return description;
}

// A stream list that cannot be read counts as empty.
bool hasStreams(AudioObjectID device, AudioObjectPropertyScope scope) {
    const auto streams = readObjectIDs(device, kAudioDevicePropertyStreams, scope);
    return streams.hasValue() && !streams.value().empty();
}

// The platform can end a route's IO unasked, when the aggregate device dies with its
// output or drops the IO procedure: the route then plays nothing and mutes nothing, so it
// is no longer active. A read that fails says nothing either way.
bool isIORunning(AudioObjectID device) {
    return readUInt32(device, kAudioDevicePropertyDeviceIsRunning, kAudioObjectPropertyScopeGlobal).valueOr(1) != 0;
}

}  // namespace

class RouteController::Route : public std::enable_shared_from_this<Route> {
public:
    // A submitted operation: what it does on the control queue, and what is still owed
    // to its caller when the controller is gone before it runs.
    struct Operation {
        std::function<void(Route&)> perform;
        std::function<void()> abandon;
    };
    struct StartRequest {
        std::vector<AudioObjectID> processIDs;
        std::string destinationUID;
        float gain = 1.0F;
        StartCompletion completion;
    };

    Route() : controlQueue_(dispatch::DispatchQueue::create(kRouteControlQueueLabel)) {}

    [[nodiscard]] const dispatch::QueuePtr& controlQueue() const { return controlQueue_; }

    void submit(Operation operation) {
        controlQueue_->async([route = shared_from_this(), operation = std::move(operation)]() mutable {
            route->perform(std::move(operation));
        });
    }

    // The controller is gone: tear down and settle what is still waiting. Control queue.
    void release() {
        isReleased_ = true;
        tearDown();
        startInProgress_.reset();
        auto waiting = std::exchange(waitingOperations_, {});
        for (const auto& operation : waiting) {
            if (operation.abandon) {
                operation.abandon();
            }
        }
    }

    void beginStart(StartRequest request);
    void setGain(float gain) {
        requestedGain_ = clampedGain(gain);
        if (renderer_) {
            renderer_->setTargetGain(requestedGain_);
        }
    }
    void tearDown();
    [[nodiscard]] AudioRouteSnapshot currentSnapshot() const;

private:
    // Runs the operation now, after the start that is waiting for streams, or not at all
    // once the controller is gone.
    void perform(Operation operation) {
        if (isReleased_) {
            if (operation.abandon) {
                operation.abandon();
            }
            return;
        }
        if (startInProgress_) {
            waitingOperations_.push_back(std::move(operation));
            return;
        }
        operation.perform(*this);
    }
    void runWaitingOperations() {
        while (!startInProgress_ && !waitingOperations_.empty()) {
            Operation operation = std::move(waitingOperations_.front());
            waitingOperations_.pop_front();
            operation.perform(*this);
        }
    }
    void checkStreams(int attempt);
    void finishStart(std::optional<RouteError> error);

    const dispatch::QueuePtr controlQueue_;
    bool isReleased_ = false;
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

void RouteController::Route::beginStart(StartRequest request) {
    startInProgress_ = std::move(request);
    const StartRequest& current = *startInProgress_;
    if (current.processIDs.empty()) {
        finishStart(AudioHALError::invalidSelection("Select at least one Core Audio process."));
        return;
    }
    if (current.destinationUID.empty()) {
        finishStart(AudioHALError::invalidSelection("Select a destination output."));
        return;
    }
    // A start always rebuilds the whole route; there is no retargeting in place.
    tearDown();

    CATapDescription tapDescription = routeTapDescription(current.processIDs);
    AudioObjectID tap = kAudioObjectUnknown;
    const OSStatus tapStatus = AudioHardwareCreateProcessTap(&tapDescription, &tap);
    if (tapStatus != kAudioHardwareNoError) {
        finishStart(AudioHALError::osStatus("Create private process tap", tapStatus));
        return;
    }
    tapID_ = tap;

    const auto tapUID = readString(tapID_, kAudioTapPropertyUID);
    if (!tapUID) {
        finishStart(tapUID.error());
        return;
    }
    const auto destination = validateDestination(current.destinationUID);
    if (!destination) {
        finishStart(destination.error());
        return;
    }
    const auto description = routeAggregateDescription(newRouteAggregateUID(), tapUID.value(), destination.value());
    AudioObjectID aggregate = kAudioObjectUnknown;
    const OSStatus aggregateStatus = AudioHardwareCreateAggregateDevice(description.get(), &aggregate);
    if (aggregateStatus != kAudioHardwareNoError) {
        finishStart(AudioHALError::osStatus("Create private aggregate device", aggregateStatus));
        return;
    }
    aggregateID_ = aggregate;
    checkStreams(1);
}

void RouteController::Route::checkStreams(int attempt) {
    if (hasStreams(aggregateID_, kAudioObjectPropertyScopeInput) &&
        hasStreams(aggregateID_, kAudioObjectPropertyScopeOutput)) {
        auto renderer = std::make_unique<AudioRouteRenderer>(aggregateID_);
        renderer->setTargetGain(clampedGain(startInProgress_->gain));
        AudioRouteRendererError error;
        if (!renderer->startAndReturnError(&error)) {
            finishStart(RouteError(std::move(error)));
            return;
        }
        renderer_ = std::move(renderer);
        finishStart(std::nullopt);
        return;
    }
    // The next look comes after a pause; the 50th failed look still waits its pause,
    // so the wait gives up after one second in all.
    controlQueue_->asyncAfter(kStreamWaitInterval, [route = shared_from_this(), attempt] {
        if (route->isReleased_) {
            return;
        }
        if (attempt >= kStreamWaitAttempts) {
            route->finishStart(AudioHALError::missingValue(kStreamWaitOperation));
            return;
        }
        route->checkStreams(attempt + 1);
    });
}

void RouteController::Route::finishStart(std::optional<RouteError> error) {
    StartRequest request = std::move(*startInProgress_);
    startInProgress_.reset();
    if (error) {
        tearDown();
    } else {
        routedProcessIDs_ = request.processIDs;
        destinationUID_ = request.destinationUID;
        requestedGain_ = request.gain;
    }
    const RouteStartResult result = error ? RouteStartResult::failure(std::move(*error)) : RouteStartResult::success();
    postToMain([completion = std::move(request.completion), result] {
        if (completion) {
            completion(result);
        }
    });
    runWaitingOperations();
}

void RouteController::Route::tearDown() {
    // The IO procedure stops before its device goes, and the aggregate that reads the
    // tap goes before the tap. Destroy statuses are of no use here.
    if (renderer_) {
        renderer_->stop();
        renderer_.reset();
    }
    if (aggregateID_ != kAudioObjectUnknown) {
        static_cast<void>(AudioHardwareDestroyAggregateDevice(aggregateID_));
        aggregateID_ = kAudioObjectUnknown;
    }
    if (tapID_ != kAudioObjectUnknown) {
        static_cast<void>(AudioHardwareDestroyProcessTap(tapID_));
        tapID_ = kAudioObjectUnknown;
    }
    routedProcessIDs_.clear();
    destinationUID_.reset();
}

AudioRouteSnapshot RouteController::Route::currentSnapshot() const {
    AudioRouteSnapshot snapshot;
    snapshot.processIDs = routedProcessIDs_;
    snapshot.destinationUID = destinationUID_;
    if (renderer_) {
        snapshot.isActive = renderer_->isRunning() && isIORunning(aggregateID_);
        snapshot.callbackCount = renderer_->callbackCount();
        snapshot.lastCallbackHostTime = renderer_->lastCallbackHostTime();
        snapshot.unequalFrameCallbackCount = renderer_->unequalFrameCallbackCount();
        snapshot.lastInputFrameCount = renderer_->lastInputFrameCount();
        snapshot.lastOutputFrameCount = renderer_->lastOutputFrameCount();
    }
    return snapshot;
}

std::shared_ptr<RouteController> RouteController::create() { return std::make_shared<RouteController>(); }

RouteController::RouteController() : route_(std::make_shared<Route>()) {}

RouteController::~RouteController() {
    if (route_->controlQueue()->isCurrent()) {
        route_->release();
        return;
    }
    route_->controlQueue()->sync([route = route_.get()] { route->release(); });
}

void RouteController::start(std::vector<AudioObjectID> processIDs, std::string destinationUID, float gain,
                            StartCompletion completion) {
    Route::StartRequest request{std::move(processIDs), std::move(destinationUID), gain, std::move(completion)};
    route_->submit(
        {[request = std::move(request)](Route& route) mutable { route.beginStart(std::move(request)); }, nullptr});
}

void RouteController::stop(StopCompletion completion) {
    const auto answer = [completion] {
        if (completion) {
            postToMain(completion);
        }
    };
    route_->submit({[answer](Route& route) {
                        route.tearDown();
                        answer();
                    },
                    answer});
}

void RouteController::setGain(float gain) {
    route_->submit({[gain](Route& route) { route.setGain(gain); }, nullptr});
}

void RouteController::snapshot(SnapshotCompletion completion) {
    route_->submit({[completion = std::move(completion)](Route& route) {
                        postToMain([completion, snapshot = route.currentSnapshot()] {
                            if (completion) {
                                completion(snapshot);
                            }
                        });
                    },
                    nullptr});
}

}  // namespace tonvale
