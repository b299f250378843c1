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
    : monitorQueue_(kQueueLabel),
      deliveryQueue_(std::move(deliveryQueue)),
      refresh_(monitorQueue_.queue(), kRefreshDelay) {}

AudioProcessMonitor::~AudioProcessMonitor() {
    monitorQueue_.runTeardown([this] { stopOnQueue(); });
}

void AudioProcessMonitor::start(Handler handler) {
    monitorQueue_.post(weak_from_this(),
                       [handler = std::move(handler)](AudioProcessMonitor& self) { self.startOnQueue(handler); });
}

void AudioProcessMonitor::stop() {
    monitorQueue_.post(weak_from_this(), [](AudioProcessMonitor& self) { self.stopOnQueue(); });
}

void AudioProcessMonitor::startOnQueue(Handler handler) {
    handler_ = std::move(handler);
    if (!isStarted_) {
        isStarted_ = true;
        listenerBlock_ =
            MonitorQueue::weakListener(weak_from_this(), [](AudioProcessMonitor& self) { self.scheduleRefresh(); });
        (void)AudioObjectAddPropertyListenerBlock(kAudioObjectSystemObject, &kProcessListAddress, monitorQueue_.queue(),
                                                  listenerBlock_);
    }
    // Also on a repeated start, so the newer handler gets a snapshot of its own.
    refresh();
}

void AudioProcessMonitor::stopOnQueue() {
    refresh_.cancel();
    if (listenerBlock_) {
        (void)AudioObjectRemovePropertyListenerBlock(kAudioObjectSystemObject, &kProcessListAddress,
                                                     monitorQueue_.queue(), listenerBlock_);
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
    deliveryQueue_->async(
        [handler = handler_, snapshot = AudioProcessSnapshot{std::move(processes).value()}] { handler(snapshot); });
}

void AudioProcessMonitor::scheduleRefresh() {
    refresh_.schedule(dispatch::weakly(weak_from_this(), [](AudioProcessMonitor& self) { self.refresh(); }));
}

void AudioProcessMonitor::registerProcess(AudioObjectID process) {
    const dispatch::QueuePtr& queue = monitorQueue_.queue();
    (void)AudioObjectAddPropertyListenerBlock(process, &kProcessRunningAddress, queue, listenerBlock_);
    (void)AudioObjectAddPropertyListenerBlock(process, &kProcessOutputAddress, queue, listenerBlock_);
}

void AudioProcessMonitor::unregisterProcess(AudioObjectID process) {
    const dispatch::QueuePtr& queue = monitorQueue_.queue();
    (void)AudioObjectRemovePropertyListenerBlock(process, &kProcessRunningAddress, queue, listenerBlock_);
    (void)AudioObjectRemovePropertyListenerBlock(process, &kProcessOutputAddress, queue, listenerBlock_);
}

}  // namespace tonvale
