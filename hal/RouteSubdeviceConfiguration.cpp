#include "hal/RouteSubdeviceConfiguration.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "hal/PropertyListValues.h"

namespace tonvale {

namespace {

std::optional<UInt32> clampedUInt32(CFTypeRef value) {
    const std::optional<std::int64_t> integer = propertyListInteger(value);
    if (!integer) {
        return std::nullopt;
    }
    return static_cast<UInt32>(std::clamp<std::int64_t>(*integer, 0, std::numeric_limits<UInt32>::max()));
}

void setText(CFMutableDictionaryRef dictionary, const char* key, const std::string& text) {
    const CFReference<CFStringRef> keyString(CFStringCreateWithUTF8(key));
    const CFReference<CFStringRef> value(CFStringCreateWithUTF8(text));
    CFDictionarySetValue(dictionary, keyString.get(), value.get());
}

void setInteger(CFMutableDictionaryRef dictionary, const char* key, std::int64_t integer) {
    const CFReference<CFStringRef> keyString(CFStringCreateWithUTF8(key));
    const CFReference<CFNumberRef> value(CFNumberCreate(kCFAllocatorDefault, kCFNumberSInt64Type, &integer));
    CFDictionarySetValue(dictionary, keyString.get(), value.get());
}

void setReal(CFMutableDictionaryRef dictionary, const char* key, Float64 real) {
    const CFReference<CFStringRef> keyString(CFStringCreateWithUTF8(key));
    const CFReference<CFNumberRef> value(CFNumberCreate(kCFAllocatorDefault, kCFNumberFloat64Type, &real));
    CFDictionarySetValue(dictionary, keyString.get(), value.get());
}

}  // namespace

std::optional<RouteSubdeviceConfiguration> parseSubdevice(CFDictionaryRef subdevice) {
    if (subdevice == nullptr || CFGetTypeID(subdevice) != CFDictionaryGetTypeID()) {
        return std::nullopt;
    }
    std::optional<std::string> uid = propertyListText(CFDictionaryGetValueForUTF8Key(subdevice, kAudioSubDeviceUIDKey));
    if (!uid || uid->empty()) {
        return std::nullopt;
    }
    RouteSubdeviceConfiguration configuration;
    configuration.uid = std::move(*uid);
    configuration.outputChannels =
        propertyListInteger(CFDictionaryGetValueForUTF8Key(subdevice, kAudioSubDeviceOutputChannelsKey));
    // No output channels (or a count below zero, which no device has) means nothing to play on.
    if (configuration.outputChannels && *configuration.outputChannels <= 0) {
        return std::nullopt;
    }
    configuration.driftCompensation =
        clampedUInt32(CFDictionaryGetValueForUTF8Key(subdevice, kAudioSubDeviceDriftCompensationKey));
    configuration.driftCompensationQuality =
        clampedUInt32(CFDictionaryGetValueForUTF8Key(subdevice, kAudioSubDeviceDriftCompensationQualityKey));
    const std::optional<double> latency =
        propertyListReal(CFDictionaryGetValueForUTF8Key(subdevice, kAudioSubDeviceExtraOutputLatencyKey));
    // A latency that is not a finite number of seconds would only poison the aggregate.
    if (latency && std::isfinite(*latency)) {
        configuration.extraOutputLatency = latency;
    }
    configuration.suppressInputChannels = true;
    return configuration;
}

CFReference<CFDictionaryRef> subdeviceDescription(const RouteSubdeviceConfiguration& configuration) {
    CFMutableDictionaryRef dictionary = CFDictionaryCreateMutable(
        kCFAllocatorDefault, 0, &kCFTypeDictionaryKeyCallBacks, &kCFTypeDictionaryValueCallBacks);
    setText(dictionary, kAudioSubDeviceUIDKey, configuration.uid);
    if (configuration.suppressInputChannels) {
        setInteger(dictionary, kAudioSubDeviceInputChannelsKey, 0);
    }
    if (configuration.outputChannels) {
        setInteger(dictionary, kAudioSubDeviceOutputChannelsKey, *configuration.outputChannels);
    }
    if (configuration.driftCompensation) {
        setInteger(dictionary, kAudioSubDeviceDriftCompensationKey, *configuration.driftCompensation);
    }
    if (configuration.driftCompensationQuality) {
        setInteger(dictionary, kAudioSubDeviceDriftCompensationQualityKey, *configuration.driftCompensationQuality);
    }
    if (configuration.extraOutputLatency) {
        setReal(dictionary, kAudioSubDeviceExtraOutputLatencyKey, *configuration.extraOutputLatency);
    }
    return CFReference<CFDictionaryRef>(dictionary);
}

}  // namespace tonvale
