// The outcome of an audio hardware-layer operation: its value, or the AudioHALError that
// ended it. Callers must look at it; nothing in the audio layer throws.
// Thread-safety: a value; copies may move freely between threads.
#pragma once

#include "hal/AudioHALError.h"
#include "platform/foundation/Result.h"

namespace tonvale {

template <typename Value>
using HALResult = foundation::Result<Value, AudioHALError>;

}  // namespace tonvale
