// The description of a process tap: which processes are captured, how, and
// whether their own output is silenced meanwhile.
//
// A plain object the caller fills and passes to AudioHardwareCreateProcessTap;
// the audio layer copies what it needs. Owned by the caller.
// Thread-safety: a value; fill it on one thread, then hand it to any.
#pragma once

#include "platform/coreaudio/CoreAudioTypes.h"

#include <string>
#include <vector>

enum CATapMuteBehavior : long {
    CATapUnmuted = 0,
    CATapMuted = 1,
    CATapMutedWhenTapped = 2,
};

class CATapDescription {
public:
    // A stereo tap with no processes, unmuted, non-private, and a fresh UUID.
    CATapDescription();
    // A non-private stereo mixdown of exactly the given process objects.
    static CATapDescription initStereoMixdownOfProcesses(std::vector<AudioObjectID> processes);
    // A stereo mixdown of every process except the given ones.
    static CATapDescription initStereoGlobalTapButExcludeProcesses(std::vector<AudioObjectID> processes);

    std::string name;
    std::vector<AudioObjectID> processes;
    bool isPrivate = false;
    CATapMuteBehavior muteBehavior = CATapUnmuted;
    bool isMixdown = true;
    bool isMono = false;
    // When true, the tap captures every process except those listed.
    bool isExclusive = false;
    bool isProcessRestoreEnabled = false;
    // Upper-case UUID text; it becomes the tap's UID.
    std::string uuid;
};
