#include "engine/RouteAggregateDescription.h"

#include "hal/RouteSubdeviceConfiguration.h"
#include "platform/foundation/UUID.h"

namespace tonvale {

namespace {

CFReference<CFMutableDictionaryRef> newDictionary() {
    return CFReference<CFMutableDictionaryRef>(CFDictionaryCreateMutable(
        kCFAllocatorDefault, 0, &kCFTypeDictionaryKeyCallBacks, &kCFTypeDictionaryValueCallBacks));
}

void set(CFMutableDictionaryRef dictionary, const char* key, CFTypeRef value) {
    const CFReference<CFStringRef> keyText(CFStringCreateWithUTF8(key));
    CFDictionarySetValue(dictionary, keyText.get(), value);
}

void setText(CFMutableDictionaryRef dictionary, const char* key, const std::string& text) {
    const CFReference<CFStringRef> value(CFStringCreateWithUTF8(text));
    set(dictionary, key, value.get());
}

}  // namespace

std::string newRouteAggregateUID() { return kRouteAggregateUIDPrefix + foundation::UUID::random().uuidString(); }

CFReference<CFDictionaryRef> routeAggregateDescription(const std::string& aggregateUID, const std::string& tapUID,
                                                       const ValidatedDestination& destination) {
    const auto description = newDictionary();
    setText(description.get(), kAudioAggregateDeviceNameKey, kRouteAggregateName);
    setText(description.get(), kAudioAggregateDeviceUIDKey, aggregateUID);
    set(description.get(), kAudioAggregateDeviceIsPrivateKey, kCFBooleanTrue);
    set(description.get(), kAudioAggregateDeviceTapAutoStartKey, kCFBooleanTrue);
    setText(description.get(), kAudioAggregateDeviceMainSubDeviceKey, destination.mainSubdeviceUID);

    const CFReference<CFMutableArrayRef> subdevices(
        CFArrayCreateMutable(kCFAllocatorDefault, 0, &kCFTypeArrayCallBacks));
    for (RouteSubdeviceConfiguration subdevice : destination.subdevices) {
        // The route reads only its tap: a sub-device's own inputs would add streams the
        // renderer refuses, so an output with a microphone could never be a destination.
        subdevice.suppressInputChannels = true;
        CFArrayAppendValue(subdevices.get(), subdeviceDescription(subdevice).get());
    }
    set(description.get(), kAudioAggregateDeviceSubDeviceListKey, subdevices.get());

    const auto tap = newDictionary();
    setText(tap.get(), kAudioSubTapUIDKey, tapUID);
    const CFReference<CFMutableArrayRef> taps(CFArrayCreateMutable(kCFAllocatorDefault, 0, &kCFTypeArrayCallBacks));
    CFArrayAppendValue(taps.get(), tap.get());
    set(description.get(), kAudioAggregateDeviceTapListKey, taps.get());

    if (destination.clockDeviceUID) {
        setText(description.get(), kAudioAggregateDeviceClockDeviceKey, *destination.clockDeviceUID);
    }
    if (destination.isStacked) {
        set(description.get(), kAudioAggregateDeviceIsStackedKey,
            *destination.isStacked ? kCFBooleanTrue : kCFBooleanFalse);
    }
    return CFReference<CFDictionaryRef>(static_cast<CFDictionaryRef>(CFRetain(description.get())));
}

}  // namespace tonvale
