// Watches the audio server's process list and the running and running-output flags of
// every listed process, lets a burst of changes settle for 0.05 s, and hands the whole
// list as one AudioProcessSnapshot to its owner on the delivery queue. Its reads, its
// state and its listener run on its own serial queue "com.zelkor.tonvale.process-monitor".
// Lives in a std::shared_ptr (its closures hold it weakly); releasing it stops it synchronously.
// Thread-safety: start, stop and release may be called from any thread.
#pragma once

#include <memory>
#include <set>

#include "observe/AudioProcessMonitoring.h"
#include "observe/DebouncedWorkItem.h"
#include "observe/MonitorQueue.h"
#include "platform/coreaudio/CoreAudio.h"
#include "platform/dispatch/Dispatch.h"

namespace tonvale {

class AudioProcessMonitor final : public AudioProcessMonitoring,
                                  public std::enable_shared_from_this<AudioProcessMonitor> {
    struct Passkey {};

public:
    static constexpr const char* kQueueLabel = "com.zelkor.tonvale.process-monitor";
    static constexpr dispatch::Seconds kRefreshDelay = 0.05;

    // Snapshots are handed to their handler on deliveryQueue.
    [[nodiscard]] static std::shared_ptr<AudioProcessMonitor> create(dispatch::QueuePtr deliveryQueue);

    AudioProcessMonitor(dispatch::QueuePtr deliveryQueue, Passkey);
    ~AudioProcessMonitor() override;
    AudioProcessMonitor(const AudioProcessMonitor&) = delete;
    AudioProcessMonitor& operator=(const AudioProcessMonitor&) = delete;

    // Both return at once; the work happens on the monitor's queue.
    void start(Handler handler) override;
    void stop() override;

private:
    void startOnQueue(Handler handler);
    void stopOnQueue();
    void refresh();
    void scheduleRefresh();
    void registerProcess(AudioObjectID process);
    void unregisterProcess(AudioObjectID process);

    MonitorQueue monitorQueue_;
    const dispatch::QueuePtr deliveryQueue_;
    Handler handler_;
    // One listener for the list and for both flags of every process.
    AudioObjectPropertyListenerBlock listenerBlock_;
    DebouncedWorkItem refresh_;
    // The processes that carry the two per-process registrations: while started, those
    // of the last list read successfully.
    std::set<AudioObjectID> observedProcessIDs_;
    bool isStarted_ = false;
    static constexpr AudioObjectPropertyAddress kProcessListAddress{
        kAudioHardwarePropertyProcessObjectList, kAudioObjectPropertyScopeGlobal, kAudioObjectPropertyElementMain};
    static constexpr AudioObjectPropertyAddress kProcessRunningAddress{
        kAudioProcessPropertyIsRunning, kAudioObjectPropertyScopeGlobal, kAudioObjectPropertyElementMain};
    static constexpr AudioObjectPropertyAddress kProcessOutputAddress{
        kAudioProcessPropertyIsRunningOutput, kAudioObjectPropertyScopeGlobal, kAudioObjectPropertyElementMain};
};

}  // namespace tonvale
