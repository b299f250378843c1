#include "audioserver/ObjectModel.h"

#include "platform/dispatch/Dispatch.h"

namespace audioserver {

namespace {

template <typename Object>
std::vector<AudioObjectID> idsOf(const std::vector<const Object*>& objects) {
    std::vector<AudioObjectID> ids;
    for (const Object* object : objects) {
        ids.push_back(object->id);
    }
    return ids;
}

PropertyAnswer answerSystem(ObjectModel& model, const AudioObjectPropertyAddress& address) {
    switch (address.mSelector) {
        case kAudioHardwarePropertyDevices:
            return {kAudioHardwareNoError, idsOf(model.listedDevices())};
        case kAudioHardwarePropertyDefaultOutputDevice:
        case kAudioHardwarePropertyDefaultInputDevice: {
            const bool isOutput = address.mSelector == kAudioHardwarePropertyDefaultOutputDevice;
            const Device* device = model.findDeviceByUID(isOutput ? model.defaultOutputUID : model.defaultInputUID);
            return {kAudioHardwareNoError, UInt32{device != nullptr ? device->id : 0}};
        }
        case kAudioHardwarePropertyProcessObjectList:
            return {kAudioHardwareNoError, idsOf(model.listedProcesses())};
        case kAudioHardwarePropertyTapList:
            return {kAudioHardwareNoError, idsOf(model.listedTaps())};
        case kAudioHardwarePropertyServiceRestarted:
            return {kAudioHardwareNoError, UInt32{0}};
        case kAudioObjectPropertyClass:
            return {kAudioHardwareNoError, UInt32{kAudioSystemObjectClassID}};
        default:
            return failedAnswer(kAudioHardwareUnknownPropertyError);
    }
}

PropertyAnswer answerDevice(const Device& device, const AudioObjectPropertyAddress& address) {
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
            for (const Stream* stream : device.visibleStreams(address.mScope, dispatch::now())) {
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
            if (!device.composition) {
                return failedAnswer(kAudioHardwareUnknownPropertyError);
            }
            return {kAudioHardwareNoError,
                    OwnedDictionary(static_cast<CFDictionaryRef>(CFRetain(device.composition.get())))};
        default:
            return failedAnswer(kAudioHardwareUnknownPropertyError);
    }
}

PropertyAnswer answerStream(const Stream& stream, const AudioObjectPropertyAddress& address) {
    switch (address.mSelector) {
        case kAudioStreamPropertyVirtualFormat:
        case kAudioStreamPropertyPhysicalFormat:
            return {kAudioHardwareNoError, stream.format};
        case kAudioStreamPropertyDirection:
            return {kAudioHardwareNoError, UInt32{stream.isInput ? 1U : 0U}};
        case kAudioObjectPropertyClass:
            return {kAudioHardwareNoError, UInt32{kAudioStreamClassID}};
        default:
            return failedAnswer(kAudioHardwareUnknownPropertyError);
    }
}

PropertyAnswer answerProcess(ObjectModel& model, const Process& process, const AudioObjectPropertyAddress& address) {
    switch (address.mSelector) {
        case kAudioProcessPropertyPID:
            return {kAudioHardwareNoError, static_cast<UInt32>(process.pid)};
        case kAudioProcessPropertyBundleID:
            if (!process.bundleID) {
                return failedAnswer(kAudioHardwareUnknownPropertyError);
            }
            return {kAudioHardwareNoError, *process.bundleID};
        case kAudioProcessPropertyIsRunning:
            return {kAudioHardwareNoError, UInt32{process.isRunning() ? 1U : 0U}};
        case kAudioProcessPropertyIsRunningInput:
            return {kAudioHardwareNoError, UInt32{process.isRunningInput ? 1U : 0U}};
        case kAudioProcessPropertyIsRunningOutput:
            return {kAudioHardwareNoError, UInt32{process.isRunningOutput ? 1U : 0U}};
        case kAudioProcessPropertyDevices:
            return {kAudioHardwareNoError, model.processDevices(process)};
        case kAudioObjectPropertyClass:
            return {kAudioHardwareNoError, UInt32{kAudioProcessClassID}};
        default:
            return failedAnswer(kAudioHardwareUnknownPropertyError);
    }
}

PropertyAnswer answerTap(const Tap& tap, const AudioObjectPropertyAddress& address) {
    switch (address.mSelector) {
        case kAudioTapPropertyUID:
            return {kAudioHardwareNoError, tap.description.uuid};
        case kAudioObjectPropertyName:
            return {kAudioHardwareNoError, tap.description.name};
        case kAudioTapPropertyFormat:
            return {kAudioHardwareNoError, streamFormat(tap.sampleRate, tap.description.isMono ? 1 : 2, StreamShape{})};
        case kAudioObjectPropertyClass:
            return {kAudioHardwareNoError, UInt32{kAudioTapClassID}};
        default:
            return failedAnswer(kAudioHardwareUnknownPropertyError);
    }
}

}  // namespace

PropertyAnswer ObjectModel::answerOther(AudioObjectID, const AudioObjectPropertyAddress&) {
    return failedAnswer(kAudioHardwareBadObjectError);
}

const Device* ObjectModel::findDeviceByUID(const std::string& uid) {
    for (const Device* device : listedDevices()) {
        if (device->uid == uid) {
            return device;
        }
    }
    return nullptr;
}

const Tap* ObjectModel::findTap(AudioObjectID id) {
    for (const Tap* tap : listedTaps()) {
        if (tap->id == id) {
            return tap;
        }
    }
    return nullptr;
}

std::pair<const Device*, const Stream*> ObjectModel::findStream(AudioObjectID id) {
    const double current = dispatch::now();
    for (const Device* device : listedDevices()) {
        for (const Stream* stream : device->visibleStreams(kAudioObjectPropertyScopeGlobal, current)) {
            if (stream->id == id) {
                return {device, stream};
            }
        }
    }
    return {nullptr, nullptr};
}

bool ObjectModel::exists(AudioObjectID id) {
    return id == kAudioObjectSystemObject || findDevice(id) != nullptr || findProcess(id) != nullptr ||
           findStream(id).second != nullptr || findTap(id) != nullptr ||
           answerOther(id, {kAudioObjectPropertyClass}).status == kAudioHardwareNoError;
}

PropertyAnswer answerProperty(ObjectModel& model, AudioObjectID object, const AudioObjectPropertyAddress& address) {
    if (object == kAudioObjectSystemObject) {
        return answerSystem(model, address);
    }
    if (const Device* device = model.findDevice(object)) {
        return answerDevice(*device, address);
    }
    if (const Process* process = model.findProcess(object)) {
        return answerProcess(model, *process, address);
    }
    if (auto [device, stream] = model.findStream(object); stream != nullptr) {
        return answerStream(*stream, address);
    }
    if (const Tap* tap = model.findTap(object)) {
        return answerTap(*tap, address);
    }
    return model.answerOther(object, address);
}

}  // namespace audioserver
