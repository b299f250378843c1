// The description map a program passes to AudioHardwareCreateAggregateDevice, read into
// plain values. An entry of the wrong kind marks the part it belongs to as malformed, which
// a server answers with kAudio_ParamError when it reaches that part.
//
// Plain values, read on the calling thread.
#pragma once

#include "platform/coreaudio/CoreFoundation.h"

#include <optional>
#include <string>
#include <vector>

namespace audioserver {

struct AggregateDescription {
    struct Subdevice {
        std::optional<std::string> uid;
        std::optional<SInt64> inputChannels;
        std::optional<SInt64> outputChannels;
        bool isMalformed = false;
    };
    struct TapEntry {
        std::optional<std::string> uid;
        bool isMalformed = false;
    };

    std::optional<std::string> uid;
    std::optional<std::string> name;
    std::optional<std::string> mainSubdeviceUID;
    std::optional<SInt64> isStacked;
    std::vector<Subdevice> subdevices;
    std::vector<TapEntry> taps;
    // An aggregate-level entry (or a list of sub-devices or taps) has the wrong kind.
    bool isMalformed = false;

    [[nodiscard]] static AggregateDescription read(CFDictionaryRef description);
};

}  // namespace audioserver
