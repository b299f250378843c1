// A hand-made audio server holding one aggregate device whose stream shape, formats and
// IO statuses a test sets at will, including answers the simulated server never gives
// (unreadable formats, failing IO calls). It keeps the installed IO procedure so the test
// can run IO cycles itself. Installed for the life of the object; test thread only.
#pragma once

#include <memory>
#include <vector>

#include "platform/coreaudio/CoreAudio.h"

namespace tonvale::testing {

inline AudioStreamBasicDescription stereoFloatFormat(Float64 sampleRate = 48000.0, bool isNonInterleaved = false) {
    const UInt32 bytesPerFrame = isNonInterleaved ? 4 : 8;
    return {sampleRate,    kAudioFormatLinearPCM,
            kAudioFormatFlagsNativeFloatPacked | (isNonInterleaved ? kAudioFormatFlagIsNonInterleaved : 0U),
            bytesPerFrame, 1, bytesPerFrame, 2, 32, 0};
}

// The streams of the aggregate device: their formats, and whether they can be read.
struct AggregateShape {
    std::vector<AudioStreamBasicDescription> inputs{stereoFloatFormat()};
    std::vector<AudioStreamBasicDescription> outputs{stereoFloatFormat()};
    bool isInputFormatReadable = true;
    bool isOutputFormatReadable = true;
};

class FakeAggregateDevice final : public AudioHardwareService {
public:
    static constexpr AudioObjectID kDevice = 200;

    static std::shared_ptr<FakeAggregateDevice> install(AggregateShape shape = {}) {
        auto device = std::make_shared<FakeAggregateDevice>();
        device->shape = std::move(shape);
        AudioHardwareInstallService(device);
        return device;
    }

    AggregateShape shape;
    OSStatus createStatus = kAudioHardwareNoError;
    OSStatus startStatus = kAudioHardwareNoError;
    int createdProcCount = 0;
    int installedProcCount = 0;
    bool isStarted = false;
    AudioDeviceIOProc proc = nullptr;
    void* clientData = nullptr;

    // One IO cycle as the device would run it.
    OSStatus runCycle(const AudioBufferList* input, AudioBufferList* output) const {
        return proc(kDevice, nullptr, input, nullptr, output, nullptr, clientData);
    }

    OSStatus getPropertyDataSize(AudioObjectID object, const AudioObjectPropertyAddress& address,
                                 UInt32& outDataSize) override {
        if (object != kDevice || address.mSelector != kAudioDevicePropertyStreams) {
            return kAudioHardwareUnknownPropertyError;
        }
        outDataSize = static_cast<UInt32>(streamsOf(address.mScope).size() * sizeof(AudioObjectID));
        return kAudioHardwareNoError;
    }
    // Streams are numbered 300... for inputs and 400... for outputs.
    OSStatus getPropertyData(AudioObjectID object, const AudioObjectPropertyAddress& address, UInt32& ioDataSize,
                             void* outData) override {
        if (object == kDevice && address.mSelector == kAudioDevicePropertyStreams) {
            const AudioObjectID base = address.mScope == kAudioObjectPropertyScopeInput ? 300 : 400;
            UInt32 written = 0;
            for (std::size_t index = 0; index < streamsOf(address.mScope).size() && written + 4 <= ioDataSize;
                 ++index, written += 4) {
                static_cast<AudioObjectID*>(outData)[index] = base + static_cast<AudioObjectID>(index);
            }
            ioDataSize = written;
            return kAudioHardwareNoError;
        }
        const bool isInput = object >= 300 && object < 400;
        const bool isReadable = isInput ? shape.isInputFormatReadable : object >= 400 && shape.isOutputFormatReadable;
        if (address.mSelector != kAudioStreamPropertyVirtualFormat || ioDataSize < 40 || !isReadable) {
            return kAudioHardwareUnknownPropertyError;
        }
        const auto& formats = isInput ? shape.inputs : shape.outputs;
        *static_cast<AudioStreamBasicDescription*>(outData) = formats.at(object - (isInput ? 300 : 400));
        ioDataSize = sizeof(AudioStreamBasicDescription);
        return kAudioHardwareNoError;
    }
    OSStatus createIOProcID(AudioObjectID device, AudioDeviceIOProc ioProc, void* data,
                            AudioDeviceIOProcID& outProcID) override {
        if (device != kDevice || createStatus != kAudioHardwareNoError) {
            return device != kDevice ? kAudioHardwareBadDeviceError : createStatus;
        }
        ++createdProcCount;
        ++installedProcCount;
        proc = ioProc;
        clientData = data;
        outProcID = ioProc;
        return kAudioHardwareNoError;
    }
    OSStatus destroyIOProcID(AudioObjectID, AudioDeviceIOProcID) override {
        --installedProcCount;
        return kAudioHardwareNoError;
    }
    OSStatus startDevice(AudioObjectID, AudioDeviceIOProcID) override {
        isStarted = startStatus == kAudioHardwareNoError;
        return startStatus;
    }
    OSStatus stopDevice(AudioObjectID, AudioDeviceIOProcID) override {
        isStarted = false;
        return kAudioHardwareNoError;
    }

    // The rest of the server is never asked for by the renderer.
    Boolean hasProperty(AudioObjectID, const AudioObjectPropertyAddress&) override { return 0; }
    OSStatus setPropertyData(AudioObjectID, const AudioObjectPropertyAddress&, UInt32, const void*) override {
        return kAudioHardwareUnsupportedOperationError;
    }
    OSStatus addPropertyListenerBlock(AudioObjectID, const AudioObjectPropertyAddress&, dispatch::QueuePtr,
                                      AudioObjectPropertyListenerBlock) override {
        return kAudioHardwareUnsupportedOperationError;
    }
    OSStatus removePropertyListenerBlock(AudioObjectID, const AudioObjectPropertyAddress&, dispatch::QueuePtr,
                                         const AudioObjectPropertyListenerBlock&) override {
        return kAudioHardwareUnsupportedOperationError;
    }
    OSStatus createProcessTap(const CATapDescription&, AudioObjectID&) override {
        return kAudioHardwareUnsupportedOperationError;
    }
    OSStatus destroyProcessTap(AudioObjectID) override { return kAudioHardwareUnsupportedOperationError; }
    OSStatus createAggregateDevice(CFDictionaryRef, AudioObjectID&) override {
        return kAudioHardwareUnsupportedOperationError;
    }
    OSStatus destroyAggregateDevice(AudioObjectID) override { return kAudioHardwareUnsupportedOperationError; }

private:
    [[nodiscard]] const std::vector<AudioStreamBasicDescription>& streamsOf(AudioObjectPropertyScope scope) const {
        static const std::vector<AudioStreamBasicDescription> none;
        if (scope == kAudioObjectPropertyScopeInput) {
            return shape.inputs;
        }
        return scope == kAudioObjectPropertyScopeOutput ? shape.outputs : none;
    }
};

}  // namespace tonvale::testing
