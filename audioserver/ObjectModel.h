// The model a server answers the audio layer's property calls from: the system object,
// its devices with their streams, its audio processes and process taps, behind one mutex, with the
// identifiers it hands out and the listeners it notifies. A driver (the simulation, or
// the desktop's audio server) derives from it, keeps the objects in its own containers
// and answers the look-ups below; what every object reports is answered here, alike for
// every driver (answerProperty).
//
// Owned by the server, shared with the components that answer its calls.
// Thread-safety: every field is guarded by mutex; change() takes it and delivers the
// notifications once it is released. The look-ups are called with mutex held.
#pragma once

#include "audioserver/Device.h"
#include "audioserver/ObjectIDs.h"
#include "audioserver/Process.h"
#include "audioserver/PropertyListeners.h"
#include "audioserver/PropertyValue.h"
#include "audioserver/Tap.h"

#include <mutex>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

namespace audioserver {

struct ObjectModel {
    ObjectModel() = default;
    virtual ~ObjectModel() = default;
    ObjectModel(const ObjectModel&) = delete;
    ObjectModel& operator=(const ObjectModel&) = delete;

    std::mutex mutex;
    ObjectIDs ids;
    PropertyListeners listeners;
    std::string defaultOutputUID;
    std::string defaultInputUID;

    AudioObjectID allocateID() { return ids.allocate(); }
    void notify(AudioObjectID object, AudioObjectPropertySelector selector,
                AudioObjectPropertyScope scope = kAudioObjectPropertyScopeGlobal) {
        listeners.notify(object, selector, scope);
    }
    void dropListeners(AudioObjectID gone) { listeners.drop(gone); }

    // The look-ups the answers are made from, in the driver's order.
    [[nodiscard]] virtual std::vector<const Device*> listedDevices() = 0;
    [[nodiscard]] virtual std::vector<const Process*> listedProcesses() = 0;
    [[nodiscard]] virtual const Device* findDevice(AudioObjectID id) = 0;
    [[nodiscard]] virtual const Process* findProcess(AudioObjectID id) = 0;
    // The devices a process's audio reaches.
    [[nodiscard]] virtual std::vector<AudioObjectID> processDevices(const Process& process) = 0;
    [[nodiscard]] virtual std::vector<const Tap*> listedTaps() { return {}; }
    // Objects and properties only this driver has; answers kAudioHardwareBadObjectError for
    // an object it does not know.
    [[nodiscard]] virtual PropertyAnswer answerOther(AudioObjectID object, const AudioObjectPropertyAddress& address);

    [[nodiscard]] const Device* findDeviceByUID(const std::string& uid);
    [[nodiscard]] const Tap* findTap(AudioObjectID id);
    // The stream and its device, for a stream object.
    [[nodiscard]] std::pair<const Device*, const Stream*> findStream(AudioObjectID id);
    [[nodiscard]] bool exists(AudioObjectID id);

    // Runs apply(self) with the mutex held, then delivers the notifications it queued.
    // A driver's change() passes itself, so apply sees the driver's own type.
    template <typename Self, typename Change>
    static auto changeAs(Self& self, Change&& apply) {
        std::vector<PendingNotification> notifications;
        using Result = std::invoke_result_t<Change, Self&>;
        Result result{};
        {
            std::lock_guard lock(self.mutex);
            result = apply(self);
            notifications = self.listeners.takePending();
        }
        PropertyListeners::deliver(std::move(notifications));
        return result;
    }
};

// The value of the property at address of object, or the status the platform gives.
// Called with model.mutex held.
[[nodiscard]] PropertyAnswer answerProperty(ObjectModel& model, AudioObjectID object,
                                            const AudioObjectPropertyAddress& address);

}  // namespace audioserver
