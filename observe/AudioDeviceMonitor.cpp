#include "observe/AudioDeviceMonitor.h"

#include <utility>

#include "hal/AudioDeviceCatalogue.h"

namespace tonvale {

std::shared_ptr<AudioDeviceMonitor> AudioDeviceMonitor::create(dispatch::QueuePtr deliveryQueue) {
    return std::make_shared<AudioDeviceMonitor>(std::move(deliveryQueue), Passkey{});
}

AudioDeviceMonitor::AudioDeviceMonitor(dispatch::QueuePtr deliveryQueue, Passkey)
    : monitorQueue_(dispatch::DispatchQueue::create(kQueueLabel)), deliveryQueue_(std::move(deliveryQueue)) {
    monitorQueue_->setSpecific(&monitorQueueKey_, this);
}

AudioDeviceMonitor::~AudioDeviceMonitor() {
    // The owner's last reference may go inside one of the monitor's own closures; a sync
    // onto the queue it already runs on would never return.
    if (isOnMonitorQueue()) {
        stopOnQueue();
        return;
    }
    monitorQueue_->sync([this] { stopOnQueue(); });
}

void AudioDeviceMonitor::start(Handler handler) {
    monitorQueue_->async(dispatch::weakly(weak_from_this(), [handler = std::move(handler)](AudioDeviceMonitor& self) {
        self.startOnQueue(handler);
    }));
}

void AudioDeviceMonitor::stop() {
    monitorQueue_->async(dispatch::weakly(weak_from_this(), [](AudioDeviceMonitor& self) { self.stopOnQueue(); }));
}

void AudioDeviceMonitor::startOnQueue(Handler handler) {
    handler_ = std::move(handler);
    if (!isStarted_) {
        isStarted_ = true;
        listenerBlock_ = std::make_shared<const AudioObjectPropertyListenerBlock::element_type>(
            [weak = weak_from_this()](UInt32, const AudioObjectPropertyAddress*) {
                if (auto self = weak.lock()) {
                    self->scheduleRefresh();
                }
            });
        for (const AudioObjectPropertyAddress& address : kAddresses) {
            (void)AudioObjectAddPropertyListenerBlock(kAudioObjectSystemObject, &address, monitorQueue_, listenerBlock_);
        }
    }
    // Also on a repeated start, so the newer handler gets a snapshot of its own.
    publish();
}

void AudioDeviceMonitor::stopOnQueue() {
    if (refreshWorkItem_) {
        refreshWorkItem_->cancel();
        refreshWorkItem_.reset();
    }
    if (listenerBlock_) {
        for (const AudioObjectPropertyAddress& address : kAddresses) {
            (void)AudioObjectRemovePropertyListenerBlock(kAudioObjectSystemObject, &address, monitorQueue_,
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
    // The handler of this moment: a snapshot published just before a stop still reaches
    // it, and the owner drops it by its start generation.
    deliveryQueue_->async([handler = handler_, snapshot = std::move(snapshot)] { handler(snapshot); });
}

void AudioDeviceMonitor::scheduleRefresh() {
    if (refreshWorkItem_) {
        refreshWorkItem_->cancel();
    }
    refreshWorkItem_ = dispatch::DispatchWorkItem::create(
        dispatch::weakly(weak_from_this(), [](AudioDeviceMonitor& self) { self.publish(); }));
    monitorQueue_->asyncAfter(kRefreshDelay, refreshWorkItem_);
}

bool AudioDeviceMonitor::isOnMonitorQueue() const {
    return dispatch::DispatchQueue::getSpecific(&monitorQueueKey_) == this;
}

}  // namespace tonvale
