// Tells its owner, on the delivery queue, when the machine is about to sleep, when it has
// woken, and when the audio server has restarted. Observes the workspace's sleep and wake
// notifications and listens for the server's restart on its own serial queue
// "com.zelkor.tonvale.lifecycle-monitor", where all its state lives. Lives in a
// std::shared_ptr (its closures hold it weakly); releasing it stops it synchronously.
// Thread-safety: start, stop and release may be called from any thread.
#pragma once

#include <vector>

#include "observe/Monitor.h"
#include "observe/SystemLifecycleMonitoring.h"
#include "platform/appkit/NotificationCenter.h"
#include "platform/coreaudio/CoreAudio.h"
#include "platform/dispatch/Dispatch.h"

namespace tonvale {

class SystemLifecycleMonitor final : public Monitor<SystemLifecycleMonitor, SystemLifecycleMonitoring> {
public:
    static constexpr const char* kQueueLabel = "com.zelkor.tonvale.lifecycle-monitor";
    // A restarting server may announce itself more than once; the listener is
    // registered again once the restarts have settled for this long.
    static constexpr dispatch::Seconds kReinstallDelay = 0.25;

    SystemLifecycleMonitor(dispatch::QueuePtr deliveryQueue, Passkey);
    ~SystemLifecycleMonitor() override;

private:
    friend Monitor;

    void beginObserving();
    void endObserving();
    void registerWorkspaceObservers();
    // Called on the posting thread: touches no state, only hops to the monitor's queue.
    void reportWorkspaceEvent(SystemLifecycleEvent event);
    void installServiceListener();
    void serviceRestarted();
    void reinstallServiceListener();

    // The sleep and the wake observer, in registration order.
    std::vector<appkit::NotificationObserverToken> notificationTokens_;
    AudioObjectPropertyListenerBlock serviceListener_;
    static constexpr AudioObjectPropertyAddress kServiceRestartAddress{
        kAudioHardwarePropertyServiceRestarted, kAudioObjectPropertyScopeGlobal, kAudioObjectPropertyElementMain};
};

}  // namespace tonvale
