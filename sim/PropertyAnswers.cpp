#include "sim/PropertyAnswers.h"

#include "platform/coreaudio/AudioHardware.h"

namespace sim {

namespace {

void setNumber(CFMutableDictionaryRef dictionary, const char* key, SInt64 value) {
    CFStringRef cfKey = CFStringCreateWithUTF8(key);
    CFNumberRef number = CFNumberCreate(kCFAllocatorDefault, kCFNumberSInt64Type, &value);
    CFDictionarySetValue(dictionary, cfKey, number);
    CFRelease(number);
    CFRelease(cfKey);
}

void setText(CFMutableDictionaryRef dictionary, const char* key, const std::string& value) {
    CFStringRef cfKey = CFStringCreateWithUTF8(key);
    CFStringRef text = CFStringCreateWithUTF8(value);
    CFDictionarySetValue(dictionary, cfKey, text);
    CFRelease(text);
    CFRelease(cfKey);
}

void setValue(CFMutableDictionaryRef dictionary, const char* key, CFTypeRef value) {
    CFStringRef cfKey = CFStringCreateWithUTF8(key);
    CFDictionarySetValue(dictionary, cfKey, value);
    CFRelease(value);
    CFRelease(cfKey);
}

}  // namespace

CFDictionaryRef userComposition(const ScenarioAggregate& layout, World& world) {
    CFMutableDictionaryRef composition = CFDictionaryCreateMutable(
        kCFAllocatorDefault, 0, &kCFTypeDictionaryKeyCallBacks, &kCFTypeDictionaryValueCallBacks);
    setText(composition, kAudioAggregateDeviceUIDKey, layout.uid);
    setText(composition, kAudioAggregateDeviceNameKey, layout.name);
    setText(composition, kAudioAggregateDeviceMainSubDeviceKey, layout.mainSubdeviceUID);
    if (layout.clockDeviceUID) {
        setText(composition, kAudioAggregateDeviceClockDeviceKey, *layout.clockDeviceUID);
    }
    if (layout.isStacked) {
        setNumber(composition, kAudioAggregateDeviceIsStackedKey, *layout.isStacked ? 1 : 0);
    }
    setNumber(composition, kAudioAggregateDeviceIsPrivateKey, 0);
    CFMutableArrayRef subdevices = CFArrayCreateMutable(kCFAllocatorDefault, 0, &kCFTypeArrayCallBacks);
    for (const auto& subdevice : layout.subdevices) {
        CFMutableDictionaryRef entry = CFDictionaryCreateMutable(kCFAllocatorDefault, 0, &kCFTypeDictionaryKeyCallBacks,
                                                                 &kCFTypeDictionaryValueCallBacks);
        setText(entry, kAudioSubDeviceUIDKey, subdevice.uid);
        if (const Device* device = world.device(subdevice.uid)) {
            setText(entry, kAudioSubDeviceNameKey, device->name);
            setNumber(entry, kAudioSubDeviceInputChannelsKey, device->inputChannels);
        }
        if (subdevice.outputChannels) {
            setNumber(entry, kAudioSubDeviceOutputChannelsKey, *subdevice.outputChannels);
        } else if (const Device* device = world.device(subdevice.uid)) {
            setNumber(entry, kAudioSubDeviceOutputChannelsKey, device->outputChannels);
        }
        if (subdevice.driftCompensation) {
            setNumber(entry, kAudioSubDeviceDriftCompensationKey, *subdevice.driftCompensation);
        }
        CFArrayAppendValue(subdevices, entry);
        CFRelease(entry);
    }
    setValue(composition, kAudioAggregateDeviceSubDeviceListKey, subdevices);
    setValue(composition, kAudioAggregateDeviceTapListKey,
             CFArrayCreateMutable(kCFAllocatorDefault, 0, &kCFTypeArrayCallBacks));
    return composition;
}

}  // namespace sim
