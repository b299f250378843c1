// Everything of the audio layer in one include: types and constants, the
// property-list values, the tap description and the hardware functions.
// Thread-safety: as each included header says; the hardware functions may be called
// from any thread.
#pragma once

#include "platform/coreaudio/AudioHardware.h"
#include "platform/coreaudio/AudioHardwareService.h"
#include "platform/coreaudio/CATapDescription.h"
#include "platform/coreaudio/CoreAudioTypes.h"
#include "platform/coreaudio/CoreFoundation.h"
