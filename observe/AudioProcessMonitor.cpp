#include "observe/AudioProcessMonitor.h"

#include <algorithm>
#include <iterator>
#include <utility>
#include <vector>

#include "hal/AudioProcessCatalogue.h"

namespace tonvale {

std::shared_ptr<AudioProcessMonitor> AudioProcessMonitor::create(dispatch::QueuePtr deliveryQueue) {
    return std::make_shared<AudioProcessMonitor>(std::move(deliveryQueue), Passkey{});
}

AudioProcessMonitor::AudioProcessMonitor(dispatch::QueuePtr deliveryQueue, Passkey)
    : monitorQueue_(dispatch::DispatchQueue::create(kQueueLabel)), deliveryQueue_(std::move(deliveryQueue)) {
    monitorQueue_->setSpecific(&monitorQueueKey_, this);
}

AudioProcessMonitor::~AudioProcessMonitor() {
    // The owner's last reference may go inside one of the monitor's own closures; a sync
    // onto the queue it already runs on would never return.
    if (isOnMonitorQueue()) {
        stopOnQueue();
        return;
    }
    monitorQueue_->sync([this] { stopOnQueue(); });
}

void AudioProcessMonitor::start(Handler handler) {
    monitorQueue_->async(dispatch::weakly(weak_from_this(), [handler = std::move(handler)](AudioProcessMonitor& self) {
        self.startOnQueue(handler);
    }));
}

void AudioProcessMonitor::stop() {
    monitorQueue_->async(dispatch::weakly(weak_from_this(), [](AudioProcessMonitor& self) { self.stopOnQueue(); }));
}

void AudioProcessMonitor::startOnQueue(Handler handler) {
    handler_ = std::move(handler);
    if (!isStarted_) {
        isStarted_ = true;
        listenerBlock_ = std::make_shared<const AudioObjectPropertyListenerBlock::element_type>(
            [weak = weak_from_this()](UInt32, const AudioObjectPropertyAddress*) {
                if (auto self = weak.lock()) {
                    self->scheduleRefresh();
                }
            });
        (void)AudioObjectAddPropertyListenerBlock(kAudioObjectSystemObject, &kProcessListAddress, monitorQueue_,
                                                  listenerBlock_);
    }
    // Also on a repeated start, so the newer handler gets a snapshot of its own.
    refresh();
}

void AudioProcessMonitor::stopOnQueue() {
    if (refreshWorkItem_) {
        refreshWorkItem_->cancel();
        refreshWorkItem_.reset();
    }
    if (listenerBlock_) {
        (void)AudioObjectRemovePropertyListenerBlock(kAudioObjectSystemObject, &kProcessListAddress, monitorQueue_,
                                                     listenerBlock_);
        for (const AudioObjectID process : observedProcessIDs_) {
            unregisterProcess(process);
        }
        listenerBlock_.reset();
    }
    observedProcessIDs_.clear();
    handler_ = nullptr;
    isStarted_ = false;
}

void AudioProcessMonitor::refresh() {
    if (!isStarted_) {
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
    if (!handler_) {
        return;
    }
    // The handler of this moment: a snapshot taken just before a stop still reaches it,
    // and the owner drops it by its start generation.
    deliveryQueue_->async([handler = handler_, snapshot = AudioProcessSnapshot{std::move(processes).value()}] {
        handler(snapshot);
    });
}

void AudioProcessMonitor::scheduleRefresh() {
    if (refreshWorkItem_) {
        refreshWorkItem_->cancel();
    }
    refreshWorkItem_ = dispatch::DispatchWorkItem::create(
        dispatch::weakly(weak_from_this(), [](AudioProcessMonitor& self) { self.refresh(); }));
    monitorQueue_->asyncAfter(kRefreshDelay, refreshWorkItem_);
}

void AudioProcessMonitor::registerProcess(AudioObjectID process) {
    (void)AudioObjectAddPropertyListenerBlock(process, &kProcessRunningAddress, monitorQueue_, listenerBlock_);
    (void)AudioObjectAddPropertyListenerBlock(process, &kProcessOutputAddress, monitorQueue_, listenerBlock_);
}

void AudioProcessMonitor::unregisterProcess(AudioObjectID process) {
    (void)AudioObjectRemovePropertyListenerBlock(process, &kProcessRunningAddress, monitorQueue_, listenerBlock_);
    (void)AudioObjectRemovePropertyListenerBlock(process, &kProcessOutputAddress, monitorQueue_, listenerBlock_);
}

bool AudioProcessMonitor::isOnMonitorQueue() const {
    return dispatch::DispatchQueue::getSpecific(&monitorQueueKey_) == this;
}

}  // namespace tonvale
