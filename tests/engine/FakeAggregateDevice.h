// A hand-made audio server with one aggregate device of any streams and formats, readable or
// not, that keeps the installed IO procedure so the test runs IO cycles itself; everything
// else is refused. Installed for the life of the object; test thread only.
#pragma once

#include <memory>
#include <vector>

#include "tests/platform/coreaudio/ForwardingService.h"

namespace tonvale::testing {

inline AudioStreamBasicDescription stereoFloatFormat(Float64 sampleRate = 48000.0, bool isNonInterleaved = false) {
    const UInt32 bytesPerFrame = isNonInterleaved ? 4 : 8;
    return {sampleRate,
            kAudioFormatLinearPCM,
            kAudioFormatFlagsNativeFloatPacked | (isNonInterleaved ? kAudioFormatFlagIsNonInterleaved : 0U),
            bytesPerFrame,
            1,
            bytesPerFrame,
            2,
            32,
            0};
}

// The streams of the aggregate device: their formats, and whether they can be read.
struct AggregateShape {
    std::vector<AudioStreamBasicDescription> inputs{stereoFloatFormat()};
    std::vector<AudioStreamBasicDescription> outputs{stereoFloatFormat()};
    bool isInputFormatReadable = true;
    bool isOutputFormatReadable = true;
};

class FakeAggregateDevice final : public ForwardingService {
public:
    static constexpr AudioObjectID kDevice = 200;
    // Streams are numbered from here, inputs first.
    static constexpr AudioObjectID kFirstStream = 300;

    static std::shared_ptr<FakeAggregateDevice> install(AggregateShape shape = {}) {
        auto device = std::make_shared<FakeAggregateDevice>();
        device->shape = std::move(shape);
        AudioHardwareInstallService(device);
        return device;
    }

    AggregateShape shape;
    OSStatus createStatus = kAudioHardwareNoError;
    int createdProcCount = 0;
    int installedProcCount = 0;
    bool isStarted = false;
    AudioDeviceIOProc proc = nullptr;
    void* clientData = nullptr;

    // One IO cycle as the device would run it.
    OSStatus runCycle(const AudioBufferList* input, AudioBufferList* output) const {
        return proc(kDevice, nullptr, input, nullptr, output, nullptr, clientData);
    }

    OSStatus getPropertyDataSize(AudioObjectID, const AudioObjectPropertyAddress& address, UInt32& size) override {
        const bool isInput = address.mScope == kAudioObjectPropertyScopeInput;
        size = static_cast<UInt32>((isInput ? shape.inputs : shape.outputs).size() * sizeof(AudioObjectID));
        return kAudioHardwareNoError;
    }
    // The stream list answers its first stream; a stream answers its format.
    OSStatus getPropertyData(AudioObjectID object, const AudioObjectPropertyAddress& address, UInt32& size,
                             void* data) override {
        const auto inputCount = static_cast<AudioObjectID>(shape.inputs.size());
        if (object == kDevice && size >= sizeof(AudioObjectID)) {
            const bool isInput = address.mScope == kAudioObjectPropertyScopeInput;
            *static_cast<AudioObjectID*>(data) = kFirstStream + (isInput ? 0 : inputCount);
            size = sizeof(AudioObjectID);
            return kAudioHardwareNoError;
        }
        const bool isInput = object - kFirstStream < inputCount;
        if (!(isInput ? shape.isInputFormatReadable : shape.isOutputFormatReadable)) {
            return kAudioHardwareUnknownPropertyError;
        }
        *static_cast<AudioStreamBasicDescription*>(data) =
            isInput ? shape.inputs.at(object - kFirstStream) : shape.outputs.at(object - kFirstStream - inputCount);
        return kAudioHardwareNoError;
    }
    OSStatus createIOProcID(AudioObjectID, AudioDeviceIOProc ioProc, void* data, AudioDeviceIOProcID& procID) override {
        if (createStatus != kAudioHardwareNoError) {
            return createStatus;
        }
        ++createdProcCount;
        ++installedProcCount;
        proc = ioProc;
        clientData = data;
        procID = ioProc;
        return kAudioHardwareNoError;
    }
    OSStatus destroyIOProcID(AudioObjectID, AudioDeviceIOProcID) override {
        --installedProcCount;
        return kAudioHardwareNoError;
    }
    OSStatus startDevice(AudioObjectID, AudioDeviceIOProcID) override {
        isStarted = true;
        return kAudioHardwareNoError;
    }
    OSStatus stopDevice(AudioObjectID, AudioDeviceIOProcID) override {
        isStarted = false;
        return kAudioHardwareNoError;
    }
};

}  // namespace tonvale::testing
