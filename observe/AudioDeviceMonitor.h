// Watches the system object for changes of the device list and of the default output
// and input devices, lets a burst of changes settle for 0.1 s, and hands one complete
// AudioDeviceSnapshot, without the program's own route aggregates, to its owner on the
// delivery queue. Its reads, its state and its listener run on its own serial queue
// "com.zelkor.tonvale.device-monitor". Lives in a std::shared_ptr (its closures hold it
// weakly); releasing it stops it synchronously.
// Thread-safety: start, stop and release may be called from any thread.
#pragma once

#include <array>

#include "observe/AudioDeviceMonitoring.h"
#include "observe/Monitor.h"
#include "platform/coreaudio/CoreAudio.h"
#include "platform/dispatch/Dispatch.h"

namespace tonvale {

class AudioDeviceMonitor final : public Monitor<AudioDeviceMonitor, AudioDeviceMonitoring> {
public:
    static constexpr const char* kQueueLabel = "com.zelkor.tonvale.device-monitor";
    static constexpr dispatch::Seconds kRefreshDelay = 0.1;

    AudioDeviceMonitor(dispatch::QueuePtr deliveryQueue, Passkey);
    ~AudioDeviceMonitor() override;

private:
    friend Monitor;

    void beginObserving();
    void endObserving();
    // Also on a repeated start, so the newer handler gets a snapshot of its own.
    void didStart() { publish(); }
    void publish();

    AudioObjectPropertyListenerBlock listenerBlock_;
    static constexpr std::array<AudioObjectPropertyAddress, 3> kAddresses{{
        {kAudioHardwarePropertyDevices, kAudioObjectPropertyScopeGlobal, kAudioObjectPropertyElementMain},
        {kAudioHardwarePropertyDefaultOutputDevice, kAudioObjectPropertyScopeGlobal, kAudioObjectPropertyElementMain},
        {kAudioHardwarePropertyDefaultInputDevice, kAudioObjectPropertyScopeGlobal, kAudioObjectPropertyElementMain},
    }};
};

}  // namespace tonvale
