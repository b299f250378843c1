#include "audioserver/AggregateDescription.h"

#include "platform/coreaudio/AudioHardware.h"

namespace audioserver {

namespace {

// Reads entries of an expected kind from one map, noting any entry of another kind.
struct EntryReader {
    CFDictionaryRef dictionary;
    bool isMalformed = false;

    std::optional<std::string> text(const char* key) {
        CFTypeRef value = CFDictionaryGetValueForUTF8Key(dictionary, key);
        if (value == nullptr) {
            return std::nullopt;
        }
        if (CFGetTypeID(value) != CFStringGetTypeID()) {
            isMalformed = true;
            return std::nullopt;
        }
        return CFStringGetUTF8(static_cast<CFStringRef>(value));
    }

    // A number, or a Boolean as 1 or 0.
    std::optional<SInt64> number(const char* key) {
        CFTypeRef value = CFDictionaryGetValueForUTF8Key(dictionary, key);
        if (value == nullptr) {
            return std::nullopt;
        }
        if (CFGetTypeID(value) == CFBooleanGetTypeID()) {
            return CFBooleanGetValue(static_cast<CFBooleanRef>(value)) != 0 ? 1 : 0;
        }
        if (CFGetTypeID(value) != CFNumberGetTypeID()) {
            isMalformed = true;
            return std::nullopt;
        }
        SInt64 result = 0;
        CFNumberGetValue(static_cast<CFNumberRef>(value), kCFNumberSInt64Type, &result);
        return result;
    }

    std::vector<CFDictionaryRef> maps(const char* key) {
        std::vector<CFDictionaryRef> result;
        CFTypeRef value = CFDictionaryGetValueForUTF8Key(dictionary, key);
        if (value == nullptr) {
            return result;
        }
        if (CFGetTypeID(value) != CFArrayGetTypeID()) {
            isMalformed = true;
            return result;
        }
        const auto array = static_cast<CFArrayRef>(value);
        for (CFIndex i = 0; i < CFArrayGetCount(array); ++i) {
            CFTypeRef entry = CFArrayGetValueAtIndex(array, i);
            if (CFGetTypeID(entry) != CFDictionaryGetTypeID()) {
                isMalformed = true;
                continue;
            }
            result.push_back(static_cast<CFDictionaryRef>(entry));
        }
        return result;
    }
};

}  // namespace

AggregateDescription AggregateDescription::read(CFDictionaryRef description) {
    AggregateDescription read;
    EntryReader reader{description};
    read.uid = reader.text(kAudioAggregateDeviceUIDKey);
    read.name = reader.text(kAudioAggregateDeviceNameKey);
    read.mainSubdeviceUID = reader.text(kAudioAggregateDeviceMainSubDeviceKey);
    read.isStacked = reader.number(kAudioAggregateDeviceIsStackedKey);
    // Entries the simulation does not act on are still checked for their kind.
    reader.text(kAudioAggregateDeviceClockDeviceKey);
    reader.number(kAudioAggregateDeviceIsPrivateKey);
    reader.number(kAudioAggregateDeviceTapAutoStartKey);
    for (CFDictionaryRef entry : reader.maps(kAudioAggregateDeviceSubDeviceListKey)) {
        EntryReader subReader{entry};
        Subdevice subdevice;
        subdevice.uid = subReader.text(kAudioSubDeviceUIDKey);
        subdevice.inputChannels = subReader.number(kAudioSubDeviceInputChannelsKey);
        subdevice.outputChannels = subReader.number(kAudioSubDeviceOutputChannelsKey);
        subReader.number(kAudioSubDeviceDriftCompensationKey);
        subReader.number(kAudioSubDeviceDriftCompensationQualityKey);
        subdevice.isMalformed = subReader.isMalformed;
        read.subdevices.push_back(std::move(subdevice));
    }
    for (CFDictionaryRef entry : reader.maps(kAudioAggregateDeviceTapListKey)) {
        EntryReader tapReader{entry};
        TapEntry tap;
        tap.uid = tapReader.text(kAudioSubTapUIDKey);
        tapReader.number(kAudioSubTapDriftCompensationKey);
        tap.isMalformed = tapReader.isMalformed;
        read.taps.push_back(std::move(tap));
    }
    read.isMalformed = reader.isMalformed;
    return read;
}

}  // namespace audioserver
