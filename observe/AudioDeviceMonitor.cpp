#include "observe/AudioDeviceMonitor.h"

#include <utility>
#include <vector>

#include "engine/RouteAggregateDescription.h"
#include "hal/AudioDeviceCatalogue.h"

namespace tonvale {

std::shared_ptr<AudioDeviceMonitor> AudioDeviceMonitor::create(dispatch::QueuePtr deliveryQueue) {
    return std::make_shared<AudioDeviceMonitor>(std::move(deliveryQueue), Passkey{});
}

AudioDeviceMonitor::AudioDeviceMonitor(dispatch::QueuePtr deliveryQueue, Passkey)
    : monitorQueue_(kQueueLabel),
      deliveryQueue_(std::move(deliveryQueue)),
      refresh_(monitorQueue_.queue(), kRefreshDelay) {}

AudioDeviceMonitor::~AudioDeviceMonitor() {
    monitorQueue_.runTeardown([this] { stopOnQueue(); });
}

void AudioDeviceMonitor::start(Handler handler) {
    monitorQueue_.post(weak_from_this(),
                       [handler = std::move(handler)](AudioDeviceMonitor& self) { self.startOnQueue(handler); });
}

void AudioDeviceMonitor::stop() {
    monitorQueue_.post(weak_from_this(), [](AudioDeviceMonitor& self) { self.stopOnQueue(); });
}

void AudioDeviceMonitor::startOnQueue(Handler handler) {
    handler_ = std::move(handler);
    if (!isStarted_) {
        isStarted_ = true;
        listenerBlock_ =
            MonitorQueue::weakListener(weak_from_this(), [](AudioDeviceMonitor& self) { self.scheduleRefresh(); });
        for (const AudioObjectPropertyAddress& address : kAddresses) {
            (void)AudioObjectAddPropertyListenerBlock(kAudioObjectSystemObject, &address, monitorQueue_.queue(),
                                                      listenerBlock_);
        }
    }
    // Also on a repeated start, so the newer handler gets a snapshot of its own.
    publish();
}

void AudioDeviceMonitor::stopOnQueue() {
    refresh_.cancel();
    if (listenerBlock_) {
        for (const AudioObjectPropertyAddress& address : kAddresses) {
            (void)AudioObjectRemovePropertyListenerBlock(kAudioObjectSystemObject, &address, monitorQueue_.queue(),
                                                         listenerBlock_);
        }
        listenerBlock_.reset();
    }
    handler_ = nullptr;
    isStarted_ = false;
}

void AudioDeviceMonitor::publish() {
    if (!isStarted_) {
        return;
    }
    // Any failed read drops this snapshot only; the next change reads everything again.
    HALResult<std::vector<AudioDeviceInfo>> devices = enumerateDevices();
    if (!devices) {
        return;
    }
    const HALResult<AudioObjectID> defaultOutput = readDefaultOutputDevice();
    if (!defaultOutput) {
        return;
    }
    const HALResult<AudioObjectID> defaultInput = readDefaultInputDevice();
    if (!defaultInput) {
        return;
    }
    if (!handler_) {
        return;
    }
    AudioDeviceSnapshot snapshot{std::move(devices).value(), defaultOutput.value(), defaultInput.value()};
    // The program's own route aggregates are routes, not devices anyone may choose: they
    // come and go with every route start and teardown, and must not count as a change.
    std::erase_if(snapshot.devices,
                  [](const AudioDeviceInfo& device) { return device.uid.starts_with(kRouteAggregateUIDPrefix); });
    // The handler of this moment: a snapshot published just before a stop still reaches
    // it, and the owner drops it by its start generation.
    deliveryQueue_->async([handler = handler_, snapshot = std::move(snapshot)] { handler(snapshot); });
}

void AudioDeviceMonitor::scheduleRefresh() {
    refresh_.schedule(dispatch::weakly(weak_from_this(), [](AudioDeviceMonitor& self) { self.publish(); }));
}

}  // namespace tonvale
