// The property listener blocks a server holds: registration and removal by identity, the
// notifications owed to them after a change, and their delivery on the queue each block
// was registered with. A block removed (or whose object went away) before its
// notification runs is not called.
//
// Owned by an ObjectModel and guarded by its mutex; deliver() runs after the mutex is
// released, so a block may call back into the server.
// Thread-safety: none of its own, apart from deliver(), which any thread may call.
#pragma once

#include "platform/coreaudio/AudioHardwareService.h"

#include <atomic>
#include <cstddef>
#include <memory>
#include <vector>

namespace audioserver {

struct Listener {
    AudioObjectID object = 0;
    AudioObjectPropertyAddress address{};
    dispatch::QueuePtr queue;
    AudioObjectPropertyListenerBlock block;
    std::shared_ptr<std::atomic<bool>> isLive;
};

// A notification to deliver once the model's mutex is released.
struct PendingNotification {
    Listener listener;
    AudioObjectPropertyAddress address{};
};

class PropertyListeners {
public:
    void add(AudioObjectID object, const AudioObjectPropertyAddress& address, dispatch::QueuePtr queue,
             AudioObjectPropertyListenerBlock block);
    // False when no such registration exists.
    [[nodiscard]] bool remove(AudioObjectID object, const AudioObjectPropertyAddress& address,
                              const AudioObjectPropertyListenerBlock& block);
    // Queues a notification of the address for every matching registration.
    void notify(AudioObjectID object, AudioObjectPropertySelector selector,
                AudioObjectPropertyScope scope = kAudioObjectPropertyScopeGlobal);
    // Forgets every registration on an object that no longer exists.
    void drop(AudioObjectID gone);
    // Forgets every registration except those on the system object (the service restarted).
    void dropAllButSystem();
    // Silences every registration, when the server goes.
    void silenceAll();
    [[nodiscard]] std::size_t count() const { return listeners_.size(); }

    [[nodiscard]] std::vector<PendingNotification> takePending();
    void clearPending() { pending_.clear(); }
    // Hands notifications to their queues (call without the model's mutex).
    static void deliver(std::vector<PendingNotification> notifications);

private:
    std::vector<Listener> listeners_;
    std::vector<PendingNotification> pending_;
};

}  // namespace audioserver
