// The audio client processes the audio server knows, each with the name the user sees.
// A plain synchronous call, run on the caller's queue (process monitor, command-line
// modes); it reads the workspace's running applications on that same queue.
// Thread-safety: no shared state; callable from any queue.
#pragma once

#include <vector>

#include "hal/AudioProcessInfo.h"
#include "hal/HALResult.h"

namespace tonvale {

// Every process whose PID can be read: those playing output first, then by display name
// with the localized case-insensitive comparison (stable). Fails only when the process
// list itself fails.
[[nodiscard]] HALResult<std::vector<AudioProcessInfo>> enumerateProcesses();

}  // namespace tonvale
