// An audio client process as a server shows it to the audio layer: its pid, the
// identifier of the application it belongs to, and whether it is playing or capturing.
// A plain record; a server's driver fills it and extends it with what only it needs.
// Thread-safety: a value, guarded by the model's mutex while it is part of one.
#pragma once

#include "platform/coreaudio/CoreAudioTypes.h"

#include <cstdint>
#include <optional>
#include <string>

namespace audioserver {

struct Process {
    AudioObjectID id = 0;
    std::int32_t pid = 0;
    // Absent: the property cannot be read.
    std::optional<std::string> bundleID;
    bool isRunningOutput = false;
    bool isRunningInput = false;

    [[nodiscard]] bool isRunning() const { return isRunningOutput || isRunningInput; }
};

}  // namespace audioserver
