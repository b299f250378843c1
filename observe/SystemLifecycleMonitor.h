// Tells its owner, on the delivery queue, when the machine is about to sleep, when it has
// woken, and when the audio server has restarted. Observes the workspace's sleep and wake
// notifications and listens for the server's restart on its own serial queue
// "com.zelkor.tonvale.lifecycle-monitor", where all its state lives. Lives in a
// std::shared_ptr (its closures hold it weakly); releasing it stops it synchronously.
// Thread-safety: start, stop and release may be called from any thread.
#pragma once

#include <memory>
#include <vector>

#include "observe/DebouncedWorkItem.h"
#include "observe/MonitorQueue.h"
#include "observe/SystemLifecycleMonitoring.h"
#include "platform/appkit/NotificationCenter.h"
#include "platform/coreaudio/CoreAudio.h"
#include "platform/dispatch/Dispatch.h"

namespace tonvale {

class SystemLifecycleMonitor final : public SystemLifecycleMonitoring,
                                     public std::enable_shared_from_this<SystemLifecycleMonitor> {
    struct Passkey {};

public:
    static constexpr const char* kQueueLabel = "com.zelkor.tonvale.lifecycle-monitor";
    // A restarting server may announce itself more than once; the listener is
    // registered again once the restarts have settled for this long.
    static constexpr dispatch::Seconds kReinstallDelay = 0.25;

    // Events are handed to their handler on deliveryQueue.
    [[nodiscard]] static std::shared_ptr<SystemLifecycleMonitor> create(dispatch::QueuePtr deliveryQueue);

    SystemLifecycleMonitor(dispatch::QueuePtr deliveryQueue, Passkey);
    ~SystemLifecycleMonitor() override;
    SystemLifecycleMonitor(const SystemLifecycleMonitor&) = delete;
    SystemLifecycleMonitor& operator=(const SystemLifecycleMonitor&) = delete;

    // Both return at once; the work happens on the monitor's queue.
    void start(Handler handler) override;
    void stop() override;

private:
    void startOnQueue(Handler handler);
    void stopOnQueue();
    void registerWorkspaceObservers();
    // Called on the posting thread: touches no state, only hops to the monitor's queue.
    void reportWorkspaceEvent(SystemLifecycleEvent event);
    void deliver(SystemLifecycleEvent event);
    void installServiceListener();
    void serviceRestarted();
    void reinstallServiceListener();

    MonitorQueue monitorQueue_;
    const dispatch::QueuePtr deliveryQueue_;
    Handler handler_;
    // The sleep and the wake observer, in registration order.
    std::vector<appkit::NotificationObserverToken> notificationTokens_;
    AudioObjectPropertyListenerBlock serviceListener_;
    DebouncedWorkItem reinstall_;
    bool isStarted_ = false;
    static constexpr AudioObjectPropertyAddress kServiceRestartAddress{
        kAudioHardwarePropertyServiceRestarted, kAudioObjectPropertyScopeGlobal, kAudioObjectPropertyElementMain};
};

}  // namespace tonvale
