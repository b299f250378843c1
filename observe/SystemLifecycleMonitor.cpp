#include "observe/SystemLifecycleMonitor.h"

#include <utility>

#include "platform/appkit/Workspace.h"

namespace tonvale {

std::shared_ptr<SystemLifecycleMonitor> SystemLifecycleMonitor::create(dispatch::QueuePtr deliveryQueue) {
    return std::make_shared<SystemLifecycleMonitor>(std::move(deliveryQueue), Passkey{});
}

SystemLifecycleMonitor::SystemLifecycleMonitor(dispatch::QueuePtr deliveryQueue, Passkey)
    : monitorQueue_(dispatch::DispatchQueue::create(kQueueLabel)), deliveryQueue_(std::move(deliveryQueue)) {
    monitorQueue_->setSpecific(&monitorQueueKey_, this);
}

SystemLifecycleMonitor::~SystemLifecycleMonitor() {
    // The owner's last reference may go inside one of the monitor's own closures; a sync
    // onto the queue it already runs on would never return.
    if (isOnMonitorQueue()) {
        stopOnQueue();
        return;
    }
    monitorQueue_->sync([this] { stopOnQueue(); });
}

void SystemLifecycleMonitor::start(Handler handler) {
    monitorQueue_->async(dispatch::weakly(
        weak_from_this(), [handler = std::move(handler)](SystemLifecycleMonitor& self) { self.startOnQueue(handler); }));
}

void SystemLifecycleMonitor::stop() {
    monitorQueue_->async(dispatch::weakly(weak_from_this(), [](SystemLifecycleMonitor& self) { self.stopOnQueue(); }));
}

void SystemLifecycleMonitor::startOnQueue(Handler handler) {
    handler_ = std::move(handler);
    if (isStarted_) {
        return;
    }
    isStarted_ = true;
    registerWorkspaceObservers();
    installServiceListener();
}

void SystemLifecycleMonitor::stopOnQueue() {
    if (reinstallWorkItem_) {
        reinstallWorkItem_->cancel();
        reinstallWorkItem_.reset();
    }
    for (const appkit::NotificationObserverToken& token : notificationTokens_) {
        appkit::Workspace::sharedWorkspace().notificationCenter().removeObserver(token);
    }
    notificationTokens_.clear();
    if (serviceListener_) {
        (void)AudioObjectRemovePropertyListenerBlock(kAudioObjectSystemObject, &kServiceRestartAddress, monitorQueue_,
                                                     serviceListener_);
        serviceListener_.reset();
    }
    handler_ = nullptr;
    isStarted_ = false;
}

void SystemLifecycleMonitor::registerWorkspaceObservers() {
    appkit::NotificationCenter& center = appkit::Workspace::sharedWorkspace().notificationCenter();
    const auto reporting = [weak = weak_from_this()](SystemLifecycleEvent event) {
        return [weak, event] {
            if (auto self = weak.lock()) {
                self->reportWorkspaceEvent(event);
            }
        };
    };
    std::vector<appkit::NotificationObserverToken> tokens;
    tokens.push_back(center.addObserver(appkit::NSWorkspaceWillSleepNotification, nullptr, nullptr,
                                        reporting(SystemLifecycleEvent::willSleep)));
    tokens.push_back(center.addObserver(appkit::NSWorkspaceDidWakeNotification, nullptr, nullptr,
                                        reporting(SystemLifecycleEvent::didWake)));
    notificationTokens_ = std::move(tokens);
}

void SystemLifecycleMonitor::reportWorkspaceEvent(SystemLifecycleEvent event) {
    // Whether the monitor is still started is only known on its queue.
    monitorQueue_->async(dispatch::weakly(weak_from_this(), [event](SystemLifecycleMonitor& self) {
        if (self.isStarted_) {
            self.deliver(event);
        }
    }));
}

void SystemLifecycleMonitor::deliver(SystemLifecycleEvent event) {
    if (!handler_) {
        return;
    }
    deliveryQueue_->async([handler = handler_, event] { handler(event); });
}

void SystemLifecycleMonitor::installServiceListener() {
    if (!serviceListener_) {
        serviceListener_ = std::make_shared<const AudioObjectPropertyListenerBlock::element_type>(
            [weak = weak_from_this()](UInt32, const AudioObjectPropertyAddress*) {
                if (auto self = weak.lock()) {
                    self->serviceRestarted();
                }
            });
    }
    (void)AudioObjectAddPropertyListenerBlock(kAudioObjectSystemObject, &kServiceRestartAddress, monitorQueue_,
                                              serviceListener_);
}

void SystemLifecycleMonitor::serviceRestarted() {
    deliver(SystemLifecycleEvent::audioServiceRestarted);
    if (reinstallWorkItem_) {
        reinstallWorkItem_->cancel();
    }
    reinstallWorkItem_ = dispatch::DispatchWorkItem::create(
        dispatch::weakly(weak_from_this(), [](SystemLifecycleMonitor& self) { self.reinstallServiceListener(); }));
    monitorQueue_->asyncAfter(kReinstallDelay, reinstallWorkItem_);
}

void SystemLifecycleMonitor::reinstallServiceListener() {
    if (!isStarted_ || !serviceListener_) {
        return;
    }
    (void)AudioObjectRemovePropertyListenerBlock(kAudioObjectSystemObject, &kServiceRestartAddress, monitorQueue_,
                                                 serviceListener_);
    installServiceListener();
}

bool SystemLifecycleMonitor::isOnMonitorQueue() const {
    return dispatch::DispatchQueue::getSpecific(&monitorQueueKey_) == this;
}

}  // namespace tonvale
