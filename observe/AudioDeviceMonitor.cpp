#include "observe/AudioDeviceMonitor.h"

#include <utility>
#include <vector>

#include "engine/RouteAggregateDescription.h"
#include "hal/AudioDeviceCatalogue.h"

namespace tonvale {

AudioDeviceMonitor::AudioDeviceMonitor(dispatch::QueuePtr deliveryQueue, Passkey)
    : Monitor(kQueueLabel, std::move(deliveryQueue), kRefreshDelay) {}

AudioDeviceMonitor::~AudioDeviceMonitor() { stopForRelease(); }

void AudioDeviceMonitor::beginObserving() {
    listenerBlock_ = listener([](AudioDeviceMonitor& self) { self.debounce(&AudioDeviceMonitor::publish); });
    for (const AudioObjectPropertyAddress& address : kAddresses) {
        (void)AudioObjectAddPropertyListenerBlock(kAudioObjectSystemObject, &address, queue(), listenerBlock_);
    }
}

void AudioDeviceMonitor::endObserving() {
    if (!listenerBlock_) {
        return;
    }
    for (const AudioObjectPropertyAddress& address : kAddresses) {
        (void)AudioObjectRemovePropertyListenerBlock(kAudioObjectSystemObject, &address, queue(), listenerBlock_);
    }
    listenerBlock_.reset();
}

void AudioDeviceMonitor::publish() {
    if (!isStarted()) {
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
    AudioDeviceSnapshot snapshot{std::move(devices).value(), defaultOutput.value(), defaultInput.value()};
    // The program's own route aggregates are routes, not devices anyone may choose: they
    // come and go with every route start and teardown, and must not count as a change.
    std::erase_if(snapshot.devices,
                  [](const AudioDeviceInfo& device) { return device.uid.starts_with(kRouteAggregateUIDPrefix); });
    deliver(std::move(snapshot));
}

}  // namespace tonvale
