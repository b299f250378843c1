#include "engine/RouteController.h"

#include <utility>

#include "engine/Gain.h"
#include "engine/RouteAggregateDescription.h"
#include "hal/AudioPropertyReaders.h"
#include "hal/DestinationValidation.h"

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

}  // namespace

std::shared_ptr<RouteController> RouteController::create() {
    return std::shared_ptr<RouteController>(new RouteController());
}

RouteController::RouteController() : controlQueue_(dispatch::DispatchQueue::create(kRouteControlQueueLabel)) {}

RouteController::~RouteController() {
    const auto finish = [this] {
        tearDown();
        startInProgress_.reset();
        // Operations still waiting behind a start are owed what a gone controller owes.
        auto waiting = std::exchange(waitingOperations_, {});
        for (const auto& operation : waiting) {
            if (operation.abandon) {
                operation.abandon();
            }
        }
    };
    if (controlQueue_->isCurrent()) {
        finish();
        return;
    }
    controlQueue_->sync(finish);
}

void RouteController::start(std::vector<AudioObjectID> processIDs, std::string destinationUID, float gain,
                            StartCompletion completion) {
    StartRequest request{std::move(processIDs), std::move(destinationUID), gain, std::move(completion)};
    submit({[request = std::move(request)](RouteController& controller) mutable {
                controller.beginStart(std::move(request));
            },
            nullptr});
}

void RouteController::stop(StopCompletion completion) {
    submit({[completion](RouteController& controller) {
                controller.tearDown();
                if (completion) {
                    postToMain(completion);
                }
            },
            [completion] {
                if (completion) {
                    postToMain(completion);
                }
            }});
}

void RouteController::setGain(float gain) {
    submit({[gain](RouteController& controller) {
                controller.requestedGain_ = clampedGain(gain);
                if (controller.renderer_) {
                    controller.renderer_->setTargetGain(controller.requestedGain_);
                }
            },
            nullptr});
}

void RouteController::snapshot(SnapshotCompletion completion) {
    submit({[completion = std::move(completion)](RouteController& controller) {
                postToMain([completion, snapshot = controller.currentSnapshot()] {
                    if (completion) {
                        completion(snapshot);
                    }
                });
            },
            nullptr});
}

void RouteController::submit(Operation operation) {
    controlQueue_->async([weak = weak_from_this(), operation = std::move(operation)]() mutable {
        if (auto controller = weak.lock()) {
            controller->perform(std::move(operation));
            return;
        }
        if (operation.abandon) {
            operation.abandon();
        }
    });
}

void RouteController::perform(Operation operation) {
    if (startInProgress_) {
        waitingOperations_.push_back(std::move(operation));
        return;
    }
    operation.perform(*this);
}

void RouteController::runWaitingOperations() {
    while (!startInProgress_ && !waitingOperations_.empty()) {
        Operation operation = std::move(waitingOperations_.front());
        waitingOperations_.pop_front();
        operation.perform(*this);
    }
}

void RouteController::beginStart(StartRequest request) {
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

void RouteController::checkStreams(int attempt) {
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
    controlQueue_->asyncAfter(kStreamWaitInterval, [weak = weak_from_this(), attempt] {
        const auto controller = weak.lock();
        if (!controller) {
            return;
        }
        if (attempt >= kStreamWaitAttempts) {
            controller->finishStart(AudioHALError::missingValue(kStreamWaitOperation));
            return;
        }
        controller->checkStreams(attempt + 1);
    });
}

void RouteController::finishStart(std::optional<RouteError> error) {
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

void RouteController::tearDown() {
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

AudioRouteSnapshot RouteController::currentSnapshot() const {
    AudioRouteSnapshot snapshot;
    snapshot.processIDs = routedProcessIDs_;
    snapshot.destinationUID = destinationUID_;
    if (renderer_) {
        snapshot.isActive = renderer_->isRunning();
        snapshot.callbackCount = renderer_->callbackCount();
        snapshot.lastCallbackHostTime = renderer_->lastCallbackHostTime();
        snapshot.unequalFrameCallbackCount = renderer_->unequalFrameCallbackCount();
        snapshot.lastInputFrameCount = renderer_->lastInputFrameCount();
        snapshot.lastOutputFrameCount = renderer_->lastOutputFrameCount();
    }
    return snapshot;
}

}  // namespace tonvale
