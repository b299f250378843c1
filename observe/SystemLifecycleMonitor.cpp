#include "observe/SystemLifecycleMonitor.h"

#include <utility>

#include "platform/appkit/Workspace.h"

namespace tonvale {

std::shared_ptr<SystemLifecycleMonitor> SystemLifecycleMonitor::create(dispatch::QueuePtr deliveryQueue) {
    return std::make_shared<SystemLifecycleMonitor>(std::move(deliveryQueue), Passkey{});
}

SystemLifecycleMonitor::SystemLifecycleMonitor(dispatch::QueuePtr deliveryQueue, Passkey)
    : monitorQueue_(kQueueLabel),
      deliveryQueue_(std::move(deliveryQueue)),
      reinstall_(monitorQueue_.queue(), kReinstallDelay) {}

SystemLifecycleMonitor::~SystemLifecycleMonitor() {
    monitorQueue_.runTeardown([this] { stopOnQueue(); });
}

void SystemLifecycleMonitor::start(Handler handler) {
    monitorQueue_.post(weak_from_this(),
                       [handler = std::move(handler)](SystemLifecycleMonitor& self) { self.startOnQueue(handler); });
}

void SystemLifecycleMonitor::stop() {
    monitorQueue_.post(weak_from_this(), [](SystemLifecycleMonitor& self) { self.stopOnQueue(); });
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
    reinstall_.cancel();
    for (const appkit::NotificationObserverToken& token : notificationTokens_) {
        appkit::Workspace::sharedWorkspace().notificationCenter().removeObserver(token);
    }
    notificationTokens_.clear();
    if (serviceListener_) {
        (void)AudioObjectRemovePropertyListenerBlock(kAudioObjectSystemObject, &kServiceRestartAddress,
                                                     monitorQueue_.queue(), serviceListener_);
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
    monitorQueue_.post(weak_from_this(), [event](SystemLifecycleMonitor& self) {
        if (self.isStarted_) {
            self.deliver(event);
        }
    });
}

void SystemLifecycleMonitor::deliver(SystemLifecycleEvent event) {
    if (!handler_) {
        return;
    }
    deliveryQueue_->async([handler = handler_, event] { handler(event); });
}

void SystemLifecycleMonitor::installServiceListener() {
    if (!serviceListener_) {
        serviceListener_ =
            MonitorQueue::weakListener(weak_from_this(), [](SystemLifecycleMonitor& self) { self.serviceRestarted(); });
    }
    (void)AudioObjectAddPropertyListenerBlock(kAudioObjectSystemObject, &kServiceRestartAddress, monitorQueue_.queue(),
                                              serviceListener_);
}

void SystemLifecycleMonitor::serviceRestarted() {
    deliver(SystemLifecycleEvent::audioServiceRestarted);
    reinstall_.schedule(
        dispatch::weakly(weak_from_this(), [](SystemLifecycleMonitor& self) { self.reinstallServiceListener(); }));
}

void SystemLifecycleMonitor::reinstallServiceListener() {
    if (!isStarted_ || !serviceListener_) {
        return;
    }
    (void)AudioObjectRemovePropertyListenerBlock(kAudioObjectSystemObject, &kServiceRestartAddress,
                                                 monitorQueue_.queue(), serviceListener_);
    installServiceListener();
}

}  // namespace tonvale
