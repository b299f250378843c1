// One audio client process as the audio server knows it, with the name the user sees.
// Produced by enumerateProcesses on whichever queue enumerates; a plain value.
// Thread-safety: a value; copies may move freely between threads.
#pragma once

#include <cstdint>
#include <string>

#include "platform/coreaudio/CoreAudio.h"

namespace tonvale {

struct AudioProcessInfo {
    AudioObjectID objectID = kAudioObjectUnknown;
    std::int32_t pid = 0;
    std::string bundleID;     // possibly empty
    std::string displayName;  // never empty
    bool isRunning = false;
    bool isRunningOutput = false;

    bool operator==(const AudioProcessInfo&) const = default;
};

}  // namespace tonvale
