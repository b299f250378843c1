#include "observe/SystemLifecycleMonitor.h"

#include <utility>

#include "platform/appkit/Workspace.h"

namespace tonvale {

SystemLifecycleMonitor::SystemLifecycleMonitor(dispatch::QueuePtr deliveryQueue, Passkey)
    : Monitor(kQueueLabel, std::move(deliveryQueue), kReinstallDelay) {}

SystemLifecycleMonitor::~SystemLifecycleMonitor() { stopForRelease(); }

void SystemLifecycleMonitor::beginObserving() {
    registerWorkspaceObservers();
    installServiceListener();
}

void SystemLifecycleMonitor::endObserving() {
    for (const appkit::NotificationObserverToken& token : notificationTokens_) {
        appkit::Workspace::sharedWorkspace().notificationCenter().removeObserver(token);
    }
    notificationTokens_.clear();
    if (serviceListener_) {
        (void)AudioObjectRemovePropertyListenerBlock(kAudioObjectSystemObject, &kServiceRestartAddress, queue(),
                                                     serviceListener_);
        serviceListener_.reset();
    }
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
    post([event](SystemLifecycleMonitor& self) {
        if (self.isStarted()) {
            self.deliver(event);
        }
    });
}

void SystemLifecycleMonitor::installServiceListener() {
    if (!serviceListener_) {
        serviceListener_ = listener([](SystemLifecycleMonitor& self) { self.serviceRestarted(); });
    }
    (void)AudioObjectAddPropertyListenerBlock(kAudioObjectSystemObject, &kServiceRestartAddress, queue(),
                                              serviceListener_);
}

void SystemLifecycleMonitor::serviceRestarted() {
    deliver(SystemLifecycleEvent::audioServiceRestarted);
    debounce(&SystemLifecycleMonitor::reinstallServiceListener);
}

void SystemLifecycleMonitor::reinstallServiceListener() {
    if (!isStarted() || !serviceListener_) {
        return;
    }
    (void)AudioObjectRemovePropertyListenerBlock(kAudioObjectSystemObject, &kServiceRestartAddress, queue(),
                                                 serviceListener_);
    installServiceListener();
}

}  // namespace tonvale
