#include "sim/PropertyAnswers.h"

#include "platform/coreaudio/AudioHardware.h"

namespace sim {

namespace {

PropertyAnswer fail(OSStatus status) { return {status, UInt32{0}}; }

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

// The composition of an aggregate the user made, as the platform reports it.
CFDictionaryRef compositionOf(const ScenarioAggregate& layout, World& world) {
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

PropertyAnswer readSystem(World& world, const AudioObjectPropertyAddress& address) {
    switch (address.mSelector) {
        case kAudioHardwarePropertyDevices: {
            std::vector<AudioObjectID> ids;
            for (const auto& device : world.devices) {
                if (device->isListed()) {
                    ids.push_back(device->id);
                }
            }
            return {kAudioHardwareNoError, std::move(ids)};
        }
        case kAudioHardwarePropertyDefaultOutputDevice:
        case kAudioHardwarePropertyDefaultInputDevice: {
            const bool isOutput = address.mSelector == kAudioHardwarePropertyDefaultOutputDevice;
            const Device* device = world.device(isOutput ? world.defaultOutputUID : world.defaultInputUID);
            return {kAudioHardwareNoError, UInt32{device != nullptr && device->isListed() ? device->id : 0}};
        }
        case kAudioHardwarePropertyProcessObjectList: {
            std::vector<AudioObjectID> ids;
            for (const auto& process : world.processes) {
                if (process.isListed()) {
                    ids.push_back(process.id);
                }
            }
            return {kAudioHardwareNoError, std::move(ids)};
        }
        case kAudioHardwarePropertyTapList: {
            std::vector<AudioObjectID> ids;
            for (const auto& tap : world.taps) {
                ids.push_back(tap.id);
            }
            return {kAudioHardwareNoError, std::move(ids)};
        }
        case kAudioHardwarePropertyServiceRestarted:
            return {kAudioHardwareNoError, UInt32{0}};
        case kAudioObjectPropertyClass:
            return {kAudioHardwareNoError, UInt32{kAudioSystemObjectClassID}};
        default:
            return fail(kAudioHardwareUnknownPropertyError);
    }
}

PropertyAnswer readDevice(World& world, Device& device, const AudioObjectPropertyAddress& address,
                          dispatch::Seconds current) {
    switch (address.mSelector) {
        case kAudioDevicePropertyDeviceUID:
            return {kAudioHardwareNoError, device.uid};
        case kAudioObjectPropertyName:
            return {kAudioHardwareNoError, device.name};
        case kAudioDevicePropertyTransportType:
            return {kAudioHardwareNoError, UInt32{device.transportType}};
        case kAudioDevicePropertyDeviceIsAlive:
            return {kAudioHardwareNoError, UInt32{device.isAlive ? 1U : 0U}};
        case kAudioDevicePropertyDeviceIsRunning:
            return {kAudioHardwareNoError, UInt32{device.isIORunning ? 1U : 0U}};
        case kAudioDevicePropertyStreams: {
            std::vector<AudioObjectID> ids;
            for (const Stream* stream : world.visibleStreams(device, address.mScope, current)) {
                ids.push_back(stream->id);
            }
            return {kAudioHardwareNoError, std::move(ids)};
        }
        case kAudioDevicePropertyNominalSampleRate:
            return {kAudioHardwareNoError, Float64{device.sampleRate}};
        case kAudioDevicePropertyBufferFrameSize:
            return {kAudioHardwareNoError, UInt32{device.bufferFrameSize}};
        case kAudioObjectPropertyClass:
            return {kAudioHardwareNoError,
                    UInt32{device.isAggregate() ? kAudioAggregateDeviceClassID : kAudioDeviceClassID}};
        case kAudioAggregateDevicePropertyComposition:
            if (device.kind == Device::Kind::programAggregate && device.description != nullptr) {
                return {kAudioHardwareNoError,
                        OwnedDictionary(static_cast<CFDictionaryRef>(CFRetain(device.description)))};
            }
            if (device.kind == Device::Kind::userAggregate && device.userLayout) {
                return {kAudioHardwareNoError, OwnedDictionary(compositionOf(*device.userLayout, world))};
            }
            return fail(kAudioHardwareUnknownPropertyError);
        default:
            return fail(kAudioHardwareUnknownPropertyError);
    }
}

PropertyAnswer readStream(const Stream& stream, const AudioObjectPropertyAddress& address) {
    switch (address.mSelector) {
        case kAudioStreamPropertyVirtualFormat:
        case kAudioStreamPropertyPhysicalFormat:
            return {kAudioHardwareNoError, stream.format};
        case kAudioStreamPropertyDirection:
            return {kAudioHardwareNoError, UInt32{stream.isInput ? 1U : 0U}};
        case kAudioObjectPropertyClass:
            return {kAudioHardwareNoError, UInt32{kAudioStreamClassID}};
        default:
            return fail(kAudioHardwareUnknownPropertyError);
    }
}

PropertyAnswer readProcess(const Process& process, const AudioObjectPropertyAddress& address) {
    switch (address.mSelector) {
        case kAudioProcessPropertyPID:
            return {kAudioHardwareNoError, static_cast<UInt32>(process.declared.pid)};
        case kAudioProcessPropertyBundleID:
            if (!process.declared.bundleID) {
                return fail(kAudioHardwareUnknownPropertyError);
            }
            return {kAudioHardwareNoError, *process.declared.bundleID};
        case kAudioProcessPropertyIsRunning:
            return {kAudioHardwareNoError, UInt32{process.isPlaying || process.isCapturing ? 1U : 0U}};
        case kAudioProcessPropertyIsRunningInput:
            return {kAudioHardwareNoError, UInt32{process.isCapturing ? 1U : 0U}};
        case kAudioProcessPropertyIsRunningOutput:
            return {kAudioHardwareNoError, UInt32{process.isPlaying ? 1U : 0U}};
        case kAudioObjectPropertyClass:
            return {kAudioHardwareNoError, UInt32{kAudioProcessClassID}};
        default:
            return fail(kAudioHardwareUnknownPropertyError);
    }
}

PropertyAnswer readTap(const Tap& tap, const AudioObjectPropertyAddress& address) {
    switch (address.mSelector) {
        case kAudioTapPropertyUID:
            return {kAudioHardwareNoError, tap.description.uuid};
        case kAudioObjectPropertyName:
            return {kAudioHardwareNoError, tap.description.name};
        case kAudioTapPropertyFormat:
            return {kAudioHardwareNoError, streamFormat(48000.0, tap.description.isMono ? 1 : 2, StreamShape{})};
        case kAudioObjectPropertyClass:
            return {kAudioHardwareNoError, UInt32{kAudioTapClassID}};
        default:
            return fail(kAudioHardwareUnknownPropertyError);
    }
}

}  // namespace

PropertyAnswer answerProperty(World& world, AudioObjectID object, const AudioObjectPropertyAddress& address) {
    if (object == kAudioObjectSystemObject) {
        return readSystem(world, address);
    }
    const dispatch::Seconds current = dispatch::now();
    if (Device* device = world.device(object)) {
        return readDevice(world, *device, address, current);
    }
    if (const Process* process = world.process(object)) {
        return readProcess(*process, address);
    }
    if (const Tap* tap = world.tap(object)) {
        return readTap(*tap, address);
    }
    if (auto [device, stream] = world.stream(object); stream != nullptr) {
        return readStream(*stream, address);
    }
    return fail(kAudioHardwareBadObjectError);
}

UInt32 answerSize(const PropertyValue& value) {
    struct Visitor {
        UInt32 operator()(const UInt32&) const { return sizeof(UInt32); }
        UInt32 operator()(const Float64&) const { return sizeof(Float64); }
        UInt32 operator()(const std::vector<AudioObjectID>& list) const {
            return static_cast<UInt32>(list.size() * sizeof(AudioObjectID));
        }
        UInt32 operator()(const std::string&) const { return sizeof(CFStringRef); }
        UInt32 operator()(const OwnedDictionary&) const { return sizeof(CFDictionaryRef); }
        UInt32 operator()(const AudioStreamBasicDescription&) const { return sizeof(AudioStreamBasicDescription); }
    };
    return std::visit(Visitor{}, value);
}

}  // namespace sim
