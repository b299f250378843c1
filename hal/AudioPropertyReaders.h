// Typed reads of Core Audio object properties. Each names its operation in a fixed text
// with the selector as a four-character code, so a failure says which property failed and
// how. Stateless free functions over the audio layer's property calls; no retries, no
// defaults: the caller decides what a failure means.
// Thread-safety: callable from any queue (monitors, route controllers, the command-line
// modes); never from the realtime render callback.
#pragma once

#include <string>
#include <vector>

#include "hal/CFReference.h"
#include "hal/HALResult.h"
#include "platform/coreaudio/CoreAudio.h"

namespace tonvale {

// A 4-byte property; a shorter value is missing.
[[nodiscard]] HALResult<UInt32> readUInt32(AudioObjectID object, AudioObjectPropertySelector selector,
                                           AudioObjectPropertyScope scope);

// An 8-byte floating-point property; a shorter value is missing.
[[nodiscard]] HALResult<Float64> readDouble(AudioObjectID object, AudioObjectPropertySelector selector,
                                            AudioObjectPropertyScope scope);

// A list of object identifiers in the order the layer delivers them; a trailing partial
// identifier is ignored.
[[nodiscard]] HALResult<std::vector<AudioObjectID>> readObjectIDs(AudioObjectID object,
                                                                  AudioObjectPropertySelector selector,
                                                                  AudioObjectPropertyScope scope);

// A text property of the global scope; a property that yields no string reads as empty.
[[nodiscard]] HALResult<std::string> readString(AudioObjectID object, AudioObjectPropertySelector selector);

// A map property of the global scope whose keys are all texts; its values keep their
// property-list types.
[[nodiscard]] HALResult<CFReference<CFDictionaryRef>> readDictionary(AudioObjectID object,
                                                                     AudioObjectPropertySelector selector);

}  // namespace tonvale
