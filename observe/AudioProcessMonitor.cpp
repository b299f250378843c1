#include "observe/AudioProcessMonitor.h"

#include <algorithm>
#include <iterator>
#include <utility>
#include <vector>

#include "hal/AudioProcessCatalogue.h"

namespace tonvale {

AudioProcessMonitor::AudioProcessMonitor(dispatch::QueuePtr deliveryQueue, Passkey)
    : Monitor(kQueueLabel, std::move(deliveryQueue), kRefreshDelay) {}

AudioProcessMonitor::~AudioProcessMonitor() { stopForRelease(); }

void AudioProcessMonitor::beginObserving() {
    listenerBlock_ = listener([](AudioProcessMonitor& self) { self.debounce(&AudioProcessMonitor::refresh); });
    (void)AudioObjectAddPropertyListenerBlock(kAudioObjectSystemObject, &kProcessListAddress, queue(), listenerBlock_);
}

void AudioProcessMonitor::endObserving() {
    if (listenerBlock_) {
        (void)AudioObjectRemovePropertyListenerBlock(kAudioObjectSystemObject, &kProcessListAddress, queue(),
                                                     listenerBlock_);
        for (const AudioObjectID process : observedProcessIDs_) {
            unregisterProcess(process);
        }
        listenerBlock_.reset();
    }
    observedProcessIDs_.clear();
}

void AudioProcessMonitor::refresh() {
    if (!isStarted()) {
        return;
    }
    // A failed read leaves the registrations as they are; the next change retries.
    HALResult<std::vector<AudioProcessInfo>> processes = enumerateProcesses();
    if (!processes) {
        return;
    }
    if (listenerBlock_) {
        std::set<AudioObjectID> currentIDs;
        for (const AudioProcessInfo& process : processes.value()) {
            currentIDs.insert(process.objectID);
        }
        // Only the difference is touched: a process in both lists keeps its registrations.
        std::vector<AudioObjectID> departed;
        std::set_difference(observedProcessIDs_.begin(), observedProcessIDs_.end(), currentIDs.begin(),
                            currentIDs.end(), std::back_inserter(departed));
        std::vector<AudioObjectID> arrived;
        std::set_difference(currentIDs.begin(), currentIDs.end(), observedProcessIDs_.begin(),
                            observedProcessIDs_.end(), std::back_inserter(arrived));
        for (const AudioObjectID process : departed) {
            unregisterProcess(process);
        }
        for (const AudioObjectID process : arrived) {
            registerProcess(process);
        }
        observedProcessIDs_ = std::move(currentIDs);
    }
    deliver(AudioProcessSnapshot{std::move(processes).value()});
}

void AudioProcessMonitor::registerProcess(AudioObjectID process) {
    (void)AudioObjectAddPropertyListenerBlock(process, &kProcessRunningAddress, queue(), listenerBlock_);
    (void)AudioObjectAddPropertyListenerBlock(process, &kProcessOutputAddress, queue(), listenerBlock_);
}

void AudioProcessMonitor::unregisterProcess(AudioObjectID process) {
    (void)AudioObjectRemovePropertyListenerBlock(process, &kProcessRunningAddress, queue(), listenerBlock_);
    (void)AudioObjectRemovePropertyListenerBlock(process, &kProcessOutputAddress, queue(), listenerBlock_);
}

}  // namespace tonvale
