#include "audioserver/Device.h"

namespace audioserver {

AudioStreamBasicDescription streamFormat(double sampleRate, UInt32 channels, const StreamShape& shape) {
    AudioStreamBasicDescription format{};
    format.mSampleRate = sampleRate;
    format.mFormatID = kAudioFormatLinearPCM;
    format.mFormatFlags = (shape.isFloat ? kAudioFormatFlagIsFloat : kAudioFormatFlagIsSignedInteger) |
                          kAudioFormatFlagIsPacked | (shape.isInterleaved ? 0U : kAudioFormatFlagIsNonInterleaved);
    const UInt32 bytes = shape.bitsPerChannel / 8;
    format.mBytesPerFrame = shape.isInterleaved ? bytes * channels : bytes;
    format.mBytesPerPacket = format.mBytesPerFrame;
    format.mFramesPerPacket = 1;
    format.mChannelsPerFrame = channels;
    format.mBitsPerChannel = shape.bitsPerChannel;
    return format;
}

std::vector<const Stream*> Device::visibleStreams(AudioObjectPropertyScope scope, double now) const {
    std::vector<const Stream*> result;
    const bool wantsInput = scope != kAudioObjectPropertyScopeOutput;
    const bool wantsOutput = scope != kAudioObjectPropertyScopeInput;
    if (wantsInput && now >= inputStreamsAt) {
        for (const auto& stream : inputStreams) {
            result.push_back(&stream);
        }
    }
    if (wantsOutput && now >= outputStreamsAt) {
        for (const auto& stream : outputStreams) {
            result.push_back(&stream);
        }
    }
    return result;
}

Device::Composition adoptComposition(CFDictionaryRef dictionary) {
    return Device::Composition(dictionary, [](CFDictionaryRef owned) {
        if (owned != nullptr) {
            CFRelease(owned);
        }
    });
}

}  // namespace audioserver
