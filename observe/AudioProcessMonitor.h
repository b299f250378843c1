// Watches the audio server's process list and the running and running-output flags of
// every listed process, lets a burst of changes settle for 0.05 s, and hands the whole
// list as one AudioProcessSnapshot to its owner on the delivery queue. Its reads, its
// state and its listener run on its own serial queue "com.zelkor.tonvale.process-monitor".
// Lives in a std::shared_ptr (its closures hold it weakly); releasing it stops it synchronously.
// Thread-safety: start, stop and release may be called from any thread.
#pragma once

#include <set>

#include "observe/AudioProcessMonitoring.h"
#include "observe/Monitor.h"
#include "platform/coreaudio/CoreAudio.h"
#include "platform/dispatch/Dispatch.h"

namespace tonvale {

class AudioProcessMonitor final : public Monitor<AudioProcessMonitor, AudioProcessMonitoring> {
public:
    static constexpr const char* kQueueLabel = "com.zelkor.tonvale.process-monitor";
    static constexpr dispatch::Seconds kRefreshDelay = 0.05;

    AudioProcessMonitor(dispatch::QueuePtr deliveryQueue, Passkey);
    ~AudioProcessMonitor() override;

private:
    friend Monitor;

    void beginObserving();
    void endObserving();
    // Also on a repeated start, so the newer handler gets a snapshot of its own.
    void didStart() { refresh(); }
    void refresh();
    void registerProcess(AudioObjectID process);
    void unregisterProcess(AudioObjectID process);

    // One listener for the list and for both flags of every process.
    AudioObjectPropertyListenerBlock listenerBlock_;
    // The processes that carry the two per-process registrations: while started, those
    // of the last list read successfully.
    std::set<AudioObjectID> observedProcessIDs_;
    static constexpr AudioObjectPropertyAddress kProcessListAddress{
        kAudioHardwarePropertyProcessObjectList, kAudioObjectPropertyScopeGlobal, kAudioObjectPropertyElementMain};
    static constexpr AudioObjectPropertyAddress kProcessRunningAddress{
        kAudioProcessPropertyIsRunning, kAudioObjectPropertyScopeGlobal, kAudioObjectPropertyElementMain};
    static constexpr AudioObjectPropertyAddress kProcessOutputAddress{
        kAudioProcessPropertyIsRunningOutput, kAudioObjectPropertyScopeGlobal, kAudioObjectPropertyElementMain};
};

}  // namespace tonvale
