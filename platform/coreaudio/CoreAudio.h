// Everything of the audio layer in one include: types and constants, the
// property-list values, the tap description and the hardware functions.
#pragma once

#include "platform/coreaudio/AudioHardware.h"
#include "platform/coreaudio/AudioHardwareService.h"
#include "platform/coreaudio/CATapDescription.h"
#include "platform/coreaudio/CoreAudioTypes.h"
#include "platform/coreaudio/CoreFoundation.h"
