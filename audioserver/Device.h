// An audio device as a server shows it to the audio layer: identity, transport, rate,
// liveness and its input and output streams, with the aggregate composition where it is
// one. A plain record; a server's driver fills it (from a scenario, or from the desktop's
// audio server) and extends it with what only it needs.
// Thread-safety: a value, guarded by the model's mutex while it is part of one.
#pragma once

#include "platform/coreaudio/CoreAudioTypes.h"
#include "platform/coreaudio/CoreFoundation.h"

#include <memory>
#include <string>
#include <type_traits>
#include <vector>

namespace audioserver {

// The sample layout of a device's streams.
struct StreamShape {
    UInt32 bitsPerChannel = 32;
    bool isFloat = true;
    bool isInterleaved = true;
    bool operator==(const StreamShape&) const = default;
};

// The linear PCM format of a stream with the given rate, channels and layout.
[[nodiscard]] AudioStreamBasicDescription streamFormat(double sampleRate, UInt32 channels, const StreamShape& shape);

struct Stream {
    // Where the stream's audio comes from or goes to.
    enum class Feed { deviceInput, deviceOutput, tap, phantom };
    AudioObjectID id = 0;
    bool isInput = false;
    AudioStreamBasicDescription format{};
    Feed feed = Feed::deviceOutput;
    // The physical device whose input or output this stream is.
    std::string feedUID;
    AudioObjectID tapID = 0;
    // A stacked aggregate's output stream plays on these members too.
    std::vector<std::string> mirrorUIDs;
};

struct Device {
    enum class Kind { physical, userAggregate, programAggregate };
    using Composition = std::shared_ptr<std::remove_pointer_t<CFDictionaryRef>>;

    Kind kind = Kind::physical;
    AudioObjectID id = 0;
    std::string uid;
    std::string name;
    UInt32 transportType = kAudioDeviceTransportTypeBuiltIn;
    double sampleRate = 48000.0;
    UInt32 bufferFrameSize = 512;
    UInt32 outputChannels = 0;
    UInt32 inputChannels = 0;
    bool isAlive = true;
    bool isPlugged = true;
    // Some IO procedure is started on it.
    bool isIORunning = false;

    // Aggregates: the members, the taps they read, and the composition the device reports.
    std::vector<std::string> subdeviceUIDs;
    std::vector<AudioObjectID> tapIDs;
    Composition composition;
    // A new aggregate's streams appear only from these times on.
    double inputStreamsAt = 0.0;
    double outputStreamsAt = 0.0;

    std::vector<Stream> inputStreams;
    std::vector<Stream> outputStreams;

    [[nodiscard]] bool isAggregate() const { return kind != Kind::physical; }
    [[nodiscard]] bool isListed() const { return isPlugged; }
    // The streams visible at time now in the scope (global: both).
    [[nodiscard]] std::vector<const Stream*> visibleStreams(AudioObjectPropertyScope scope, double now) const;
};

// Takes over a dictionary the caller owns as a device's composition.
[[nodiscard]] Device::Composition adoptComposition(CFDictionaryRef dictionary);

}  // namespace audioserver
