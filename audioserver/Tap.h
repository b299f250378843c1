// A process tap as a server shows it to the audio layer: its identifier, the description it
// was made from (whose UUID is the tap's UID) and the rate its stream runs at. A plain
// record; a server's driver fills it and extends it with what only it needs.
// Thread-safety: a value, guarded by the model's mutex while it is part of one.
#pragma once

#include "platform/coreaudio/CATapDescription.h"
#include "platform/coreaudio/CoreAudioTypes.h"

namespace audioserver {

struct Tap {
    AudioObjectID id = 0;
    CATapDescription description;
    double sampleRate = 48000.0;
};

}  // namespace audioserver
