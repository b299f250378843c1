// Small worlds and IO procedures shared by the simulated server's tests.
#pragma once

#include "platform/coreaudio/CoreAudio.h"
#include "sim/Scenario.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

namespace sim::testing {

inline constexpr std::int32_t kMusicPid = 100;
inline constexpr std::int32_t kQuietPid = 200;
inline constexpr double kMusicFrequency = 440.0;
inline constexpr double kMusicLevel = -12.0;

// Speakers (default output), a USB headset with a microphone, a built-in
// microphone; a music player playing 440 Hz at -12 dBFS, a quiet application.
inline Scenario smallDesk() {
    Scenario scenario;
    ScenarioDevice speakers;
    speakers.uid = "speakers";
    speakers.name = "Speakers";
    ScenarioDevice headset;
    headset.uid = "headset";
    headset.name = "Headset";
    headset.transportType = kAudioDeviceTransportTypeUSB;
    headset.inputChannels = 1;
    headset.inputSource = AudioSource::sine(1000.0, -30.0);
    ScenarioDevice microphone;
    microphone.uid = "microphone";
    microphone.name = "Microphone";
    microphone.outputChannels = 0;
    microphone.inputChannels = 1;
    scenario.devices = {speakers, headset, microphone};
    scenario.defaultOutputUID = "speakers";
    scenario.defaultInputUID = "microphone";
    ScenarioProcess music;
    music.pid = kMusicPid;
    music.bundleID = "com.example.music";
    music.application = ScenarioApplication{"com.example.music", "Melody", "Melody.app"};
    music.source = AudioSource::sine(kMusicFrequency, kMusicLevel);
    music.isPlaying = true;
    ScenarioProcess quiet;
    quiet.pid = kQuietPid;
    scenario.processes = {music, quiet};
    return scenario;
}

// What an IO procedure saw; the procedure copies its first input buffer to its
// first output buffer when copiesInput is set.
struct IOProbe {
    std::atomic<std::uint64_t> calls{0};
    std::atomic<UInt32> inputBuffers{0};
    std::atomic<UInt32> outputBuffers{0};
    std::atomic<UInt32> inputBytes{0};
    std::atomic<UInt32> outputBytes{0};
    // Real-clock times of the first and the latest call, in nanoseconds.
    std::atomic<std::int64_t> firstCallNanos{0};
    std::atomic<std::int64_t> lastCallNanos{0};
    bool copiesInput = false;
    // Set (and waited on) once the calls span at least spanToSignalNanos of real time.
    std::int64_t spanToSignalNanos = 0;
    std::atomic<bool> hasSpannedEnough{false};
};

inline OSStatus probeIOProc(AudioObjectID, const AudioTimeStamp*, const AudioBufferList* input, const AudioTimeStamp*,
                            AudioBufferList* output, const AudioTimeStamp*, void* clientData) {
    auto* probe = static_cast<IOProbe*>(clientData);
    const std::int64_t nanos = std::chrono::steady_clock::now().time_since_epoch().count();
    if (probe->calls.fetch_add(1) == 0) {
        probe->firstCallNanos = nanos;
    }
    probe->lastCallNanos = nanos;
    if (probe->spanToSignalNanos > 0 && !probe->hasSpannedEnough.load() &&
        nanos - probe->firstCallNanos.load() >= probe->spanToSignalNanos) {
        probe->hasSpannedEnough = true;
        probe->hasSpannedEnough.notify_all();
    }
    probe->inputBuffers = input != nullptr ? input->mNumberBuffers : 0;
    probe->outputBuffers = output != nullptr ? output->mNumberBuffers : 0;
    probe->inputBytes = input != nullptr && input->mNumberBuffers > 0 ? input->mBuffers[0].mDataByteSize : 0;
    probe->outputBytes = output != nullptr && output->mNumberBuffers > 0 ? output->mBuffers[0].mDataByteSize : 0;
    if (probe->copiesInput && input != nullptr && output != nullptr && input->mNumberBuffers > 0 &&
        output->mNumberBuffers > 0) {
        const UInt32 bytes = std::min(input->mBuffers[0].mDataByteSize, output->mBuffers[0].mDataByteSize);
        std::copy_n(static_cast<const char*>(input->mBuffers[0].mData), bytes, static_cast<char*>(output->mBuffers[0].mData));
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

inline std::vector<AudioObjectID> readIDs(AudioObjectID object, AudioObjectPropertySelector selector,
                                          AudioObjectPropertyScope scope = kAudioObjectPropertyScopeGlobal) {
    const AudioObjectPropertyAddress address{selector, scope, kAudioObjectPropertyElementMain};
    UInt32 size = 0;
    if (AudioObjectGetPropertyDataSize(object, &address, 0, nullptr, &size) != kAudioHardwareNoError || size == 0) {
        return {};
    }
    std::vector<AudioObjectID> ids(size / sizeof(AudioObjectID));
    if (AudioObjectGetPropertyData(object, &address, 0, nullptr, &size, ids.data()) != kAudioHardwareNoError) {
        return {};
    }
    ids.resize(size / sizeof(AudioObjectID));
    return ids;
}

inline std::string readText(AudioObjectID object, AudioObjectPropertySelector selector) {
    CFStringRef text = nullptr;
    if (readValue(object, selector, text) != kAudioHardwareNoError || text == nullptr) {
        return {};
    }
    std::string result = CFStringGetUTF8(text);
    CFRelease(text);
    return result;
}

// The aggregate description a route builds: one sub-device, one tap.
inline CFDictionaryRef routeDescription(const std::string& uid, const std::string& subdeviceUID,
                                        const std::string& tapUID, bool suppressesInput = true) {
    auto text = [](const std::string& value) { return CFStringCreateWithUTF8(value); };
    CFMutableDictionaryRef description =
        CFDictionaryCreateMutable(kCFAllocatorDefault, 0, &kCFTypeDictionaryKeyCallBacks, &kCFTypeDictionaryValueCallBacks);
    auto set = [](CFMutableDictionaryRef dictionary, const char* key, CFTypeRef value) {
        CFStringRef cfKey = CFStringCreateWithUTF8(key);
        CFDictionarySetValue(dictionary, cfKey, value);
        CFRelease(cfKey);
        CFRelease(value);
    };
    set(description, kAudioAggregateDeviceNameKey, text("Test Route"));
    set(description, kAudioAggregateDeviceUIDKey, text(uid));
    set(description, kAudioAggregateDeviceIsPrivateKey, kCFBooleanTrue);
    set(description, kAudioAggregateDeviceMainSubDeviceKey, text(subdeviceUID));
    CFMutableDictionaryRef subdevice =
        CFDictionaryCreateMutable(kCFAllocatorDefault, 0, &kCFTypeDictionaryKeyCallBacks, &kCFTypeDictionaryValueCallBacks);
    set(subdevice, kAudioSubDeviceUIDKey, text(subdeviceUID));
    if (suppressesInput) {
        const SInt32 zero = 0;
        set(subdevice, kAudioSubDeviceInputChannelsKey, CFNumberCreate(kCFAllocatorDefault, kCFNumberSInt32Type, &zero));
    }
    CFMutableArrayRef subdevices = CFArrayCreateMutable(kCFAllocatorDefault, 0, &kCFTypeArrayCallBacks);
    CFArrayAppendValue(subdevices, subdevice);
    CFRelease(subdevice);
    set(description, kAudioAggregateDeviceSubDeviceListKey, subdevices);
    CFMutableDictionaryRef tap =
        CFDictionaryCreateMutable(kCFAllocatorDefault, 0, &kCFTypeDictionaryKeyCallBacks, &kCFTypeDictionaryValueCallBacks);
    set(tap, kAudioSubTapUIDKey, text(tapUID));
    CFMutableArrayRef taps = CFArrayCreateMutable(kCFAllocatorDefault, 0, &kCFTypeArrayCallBacks);
    CFArrayAppendValue(taps, tap);
    CFRelease(tap);
    set(description, kAudioAggregateDeviceTapListKey, taps);
    return description;
}

}  // namespace sim::testing
