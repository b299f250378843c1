// Watches the system object for changes of the device list and of the default output
// and input devices, lets a burst of changes settle for 0.1 s, and hands one complete
// AudioDeviceSnapshot, without the program's own route aggregates, to its owner on the
// delivery queue. Its reads, its state and its listener run on its own serial queue
// "com.zelkor.tonvale.device-monitor". Lives in a std::shared_ptr (its closures hold it
// weakly); releasing it stops it synchronously.
// Thread-safety: start, stop and release may be called from any thread.
#pragma once

#include <array>
#include <memory>

#include "observe/AudioDeviceMonitoring.h"
#include "observe/DebouncedWorkItem.h"
#include "observe/MonitorQueue.h"
#include "platform/coreaudio/CoreAudio.h"
#include "platform/dispatch/Dispatch.h"

namespace tonvale {

class AudioDeviceMonitor final : public AudioDeviceMonitoring, public std::enable_shared_from_this<AudioDeviceMonitor> {
    struct Passkey {};

public:
    static constexpr const char* kQueueLabel = "com.zelkor.tonvale.device-monitor";
    static constexpr dispatch::Seconds kRefreshDelay = 0.1;

    // Snapshots are handed to their handler on deliveryQueue.
    [[nodiscard]] static std::shared_ptr<AudioDeviceMonitor> create(dispatch::QueuePtr deliveryQueue);

    AudioDeviceMonitor(dispatch::QueuePtr deliveryQueue, Passkey);
    ~AudioDeviceMonitor() override;
    AudioDeviceMonitor(const AudioDeviceMonitor&) = delete;
    AudioDeviceMonitor& operator=(const AudioDeviceMonitor&) = delete;

    // Both return at once; the work happens on the monitor's queue.
    void start(Handler handler) override;
    void stop() override;

private:
    void startOnQueue(Handler handler);
    void stopOnQueue();
    void publish();
    void scheduleRefresh();

    MonitorQueue monitorQueue_;
    const dispatch::QueuePtr deliveryQueue_;
    Handler handler_;
    AudioObjectPropertyListenerBlock listenerBlock_;
    DebouncedWorkItem refresh_;
    bool isStarted_ = false;
    static constexpr std::array<AudioObjectPropertyAddress, 3> kAddresses{{
        {kAudioHardwarePropertyDevices, kAudioObjectPropertyScopeGlobal, kAudioObjectPropertyElementMain},
        {kAudioHardwarePropertyDefaultOutputDevice, kAudioObjectPropertyScopeGlobal, kAudioObjectPropertyElementMain},
        {kAudioHardwarePropertyDefaultInputDevice, kAudioObjectPropertyScopeGlobal, kAudioObjectPropertyElementMain},
    }};
};

}  // namespace tonvale
