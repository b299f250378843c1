// IO procedures and calls shared by the simulated server's tests, on the route tests' desk;
// property reads go through the audio layer's own readers and descriptions are built as
// property lists.
#pragma once

#include "hal/AudioPropertyReaders.h"
#include "platform/coreaudio/CoreAudio.h"
#include "tests/engine/RouteTestWorld.h"
#include "tests/hal/PropertyLists.h"

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace sim::testing {

using namespace tonvale::testing;

// What an IO procedure saw; the procedure copies its first input buffer to its
// first output buffer when copiesInput is set.
struct IOProbe {
    std::atomic<std::uint64_t> calls{0};
    std::atomic<UInt32> inputBuffers{0};
    std::atomic<UInt32> inputBytes{0};
    std::atomic<UInt32> outputBytes{0};
    bool copiesInput = false;
};

inline OSStatus probeIOProc(AudioObjectID, const AudioTimeStamp*, const AudioBufferList* input, const AudioTimeStamp*,
                            AudioBufferList* output, const AudioTimeStamp*, void* clientData) {
    auto* probe = static_cast<IOProbe*>(clientData);
    ++probe->calls;
    const bool hasInput = input != nullptr && input->mNumberBuffers > 0;
    const bool hasOutput = output != nullptr && output->mNumberBuffers > 0;
    probe->inputBuffers = input != nullptr ? input->mNumberBuffers : 0;
    probe->inputBytes = hasInput ? input->mBuffers[0].mDataByteSize : 0;
    probe->outputBytes = hasOutput ? output->mBuffers[0].mDataByteSize : 0;
    if (probe->copiesInput && hasInput && hasOutput) {
        const UInt32 bytes = std::min(input->mBuffers[0].mDataByteSize, output->mBuffers[0].mDataByteSize);
        std::copy_n(static_cast<const char*>(input->mBuffers[0].mData), bytes,
                    static_cast<char*>(output->mBuffers[0].mData));
    }
    return kAudioHardwareNoError;
}

// Reads a whole property value of fixed size.
template <typename T>
OSStatus readValue(AudioObjectID object, AudioObjectPropertySelector selector, T& value,
                   AudioObjectPropertyScope scope = kAudioObjectPropertyScopeGlobal) {
    const AudioObjectPropertyAddress address{selector, scope, kAudioObjectPropertyElementMain};
    UInt32 size = sizeof(T);
    return AudioObjectGetPropertyData(object, &address, 0, nullptr, &size, &value);
}

// A fixed-size property's value, or nothing when the read fails.
template <typename T>
std::optional<T> valueOf(AudioObjectID object, AudioObjectPropertySelector selector) {
    T value{};
    return readValue(object, selector, value) == kAudioHardwareNoError ? std::optional<T>(value) : std::nullopt;
}

inline std::vector<AudioObjectID> readIDs(AudioObjectID object, AudioObjectPropertySelector selector,
                                          AudioObjectPropertyScope scope = kAudioObjectPropertyScopeGlobal) {
    return tonvale::readObjectIDs(object, selector, scope).valueOr({});
}

inline std::vector<AudioObjectID> inputStreams(AudioObjectID device) {
    return readIDs(device, kAudioDevicePropertyStreams, kAudioObjectPropertyScopeInput);
}

inline std::string readText(AudioObjectID object, AudioObjectPropertySelector selector) {
    return tonvale::readString(object, selector).valueOr("");
}

// The aggregate description a route builds: one sub-device, one tap.
inline tonvale::testing::PropertyList routeDescription(const std::string& uid, const std::string& subdeviceUID,
                                                       const std::string& tapUID, bool suppressesInput = true) {
    using namespace tonvale::testing;
    PropertyListEntries subdevice{{kAudioSubDeviceUIDKey, text(subdeviceUID)}};
    if (suppressesInput) {
        subdevice.emplace_back(kAudioSubDeviceInputChannelsKey, integer(0));
    }
    return dictionary({{kAudioAggregateDeviceNameKey, text("Test Route")},
                       {kAudioAggregateDeviceUIDKey, text(uid)},
                       {kAudioAggregateDeviceIsPrivateKey, boolean(true)},
                       {kAudioAggregateDeviceMainSubDeviceKey, text(subdeviceUID)},
                       {kAudioAggregateDeviceSubDeviceListKey, array({dictionary(subdevice)})},
                       {kAudioAggregateDeviceTapListKey, array({dictionary({{kAudioSubTapUIDKey, text(tapUID)}})})}});
}

// A private tap on one process, muted while read; fills uid with the tap's UID.
inline AudioObjectID tapProcess(AudioObjectID process, std::string* uid = nullptr) {
    CATapDescription description = CATapDescription::initStereoMixdownOfProcesses({process});
    description.isPrivate = true;
    description.muteBehavior = CATapMutedWhenTapped;
    AudioObjectID tap = 0;
    if (AudioHardwareCreateProcessTap(&description, &tap) != kAudioHardwareNoError) {
        return 0;
    }
    if (uid != nullptr) {
        *uid = description.uuid;
    }
    return tap;
}

inline AudioObjectID createAggregate(const std::string& uid, const std::string& subdevice, const std::string& tapUID,
                                     bool suppressesInput = true) {
    AudioObjectID aggregate = 0;
    const auto description = routeDescription(uid, subdevice, tapUID, suppressesInput);
    const OSStatus status = AudioHardwareCreateAggregateDevice(tonvale::testing::asDictionary(description), &aggregate);
    return status == kAudioHardwareNoError ? aggregate : 0;
}

}  // namespace sim::testing
