#include "sim/AggregateDevices.h"

#include "audioserver/AggregateDescription.h"
#include "platform/coreaudio/AudioHardware.h"
#include "sim/FaultInjection.h"
#include "sim/IOProcedures.h"
#include "sim/World.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace sim {

namespace {

constexpr double kNever = std::numeric_limits<double>::infinity();

// The format of a tap's input stream, bent out of shape when the faults say so.
std::pair<StreamShape, UInt32> tapStreamShape(const Tap& tap, StreamShapeFault fault) {
    StreamShape shape;
    UInt32 channels = tap.description.isMono ? 1 : 2;
    switch (fault) {
        case StreamShapeFault::sixteenBitTap:
            shape.bitsPerChannel = 16;
            shape.isFloat = false;
            break;
        case StreamShapeFault::monoTap:
            channels = 1;
            break;
        case StreamShapeFault::nonInterleavedTap:
            shape.isInterleaved = false;
            break;
        case StreamShapeFault::none:
        case StreamShapeFault::extraInputStream:
            break;
    }
    return {shape, channels};
}

// Announces an aggregate's streams to the listeners of its stream list once they appear.
void announceStreams(const std::weak_ptr<World>& weakWorld, const std::string& uid, AudioObjectID id) {
    const std::shared_ptr<World> world = weakWorld.lock();
    if (!world) {
        return;
    }
    world->change([&](World& locked) {
        Device* device = locked.device(uid);
        if (device != nullptr && device->id == id) {
            locked.notify(id, kAudioDevicePropertyStreams, kAudioObjectPropertyScopeGlobal);
        }
        return true;
    });
}

}  // namespace

AggregateDevices::AggregateDevices(std::shared_ptr<World> world, std::shared_ptr<const FaultInjection> faults,
                                   std::shared_ptr<IOProcedures> io, dispatch::QueuePtr eventQueue)
    : world_(std::move(world)), faults_(std::move(faults)), io_(std::move(io)), eventQueue_(std::move(eventQueue)) {}

OSStatus AggregateDevices::create(CFDictionaryRef description, AudioObjectID& outDeviceID) {
    if (CFGetTypeID(description) != CFDictionaryGetTypeID()) {
        return kAudio_ParamError;
    }
    const auto read = audioserver::AggregateDescription::read(description);
    const AggregateBehaviour behaviour = faults_->aggregateBehaviour();
    std::optional<double> appearsAfter;
    std::string uid;
    AudioObjectID newID = 0;
    const OSStatus status = world_->change([&](World& world) -> OSStatus {
        if (read.isMalformed || !read.uid || read.uid->empty()) {
            return kAudio_ParamError;
        }
        if (world.device(*read.uid) != nullptr) {
            return kAudioHardwareIllegalOperationError;
        }
        auto device = std::make_unique<Device>();
        device->kind = Device::Kind::programAggregate;
        device->uid = *read.uid;
        device->name = read.name.value_or("");
        device->transportType = kAudioDeviceTransportTypeAggregate;
        device->composition = audioserver::adoptComposition(static_cast<CFDictionaryRef>(CFRetain(description)));
        const Device* main = nullptr;
        for (const auto& subdevice : read.subdevices) {
            if (subdevice.isMalformed || !subdevice.uid) {
                return kAudio_ParamError;
            }
            const Device* member = world.device(*subdevice.uid);
            if (member == nullptr || !member->isListed() || member->kind != Device::Kind::physical) {
                return kAudioHardwareIllegalOperationError;
            }
            device->subdeviceUIDs.push_back(member->uid);
            if (main == nullptr || (read.mainSubdeviceUID && *read.mainSubdeviceUID == member->uid)) {
                main = member;
            }
            if (member->inputChannels > 0 && subdevice.inputChannels.value_or(1) != 0) {
                device->inputStreams.push_back({world.allocateID(), true,
                                                streamFormat(member->sampleRate, member->inputChannels, member->format),
                                                Stream::Feed::deviceInput, member->uid, 0});
                device->inputChannels += member->inputChannels;
            }
            if (member->outputChannels > 0 && subdevice.outputChannels.value_or(1) != 0) {
                device->outputStreams.push_back(
                    {world.allocateID(), false,
                     streamFormat(member->sampleRate, member->outputChannels, member->format),
                     Stream::Feed::deviceOutput, member->uid, 0});
                device->outputChannels += member->outputChannels;
            }
        }
        if (read.isStacked.value_or(0) != 0 && main != nullptr) {
            stackOutputStreams(*device, main->uid);
        }
        device->sampleRate = main != nullptr ? main->sampleRate : 48000.0;
        device->bufferFrameSize = main != nullptr ? main->bufferFrameSize : 512;
        device->isAlive = main == nullptr || main->isAlive;
        if (behaviour.shapeFault == StreamShapeFault::extraInputStream) {
            device->inputStreams.push_back({world.allocateID(), true,
                                            streamFormat(device->sampleRate, 2, StreamShape{}), Stream::Feed::phantom,
                                            "", 0});
            device->inputChannels += 2;
        }
        for (const auto& entry : read.taps) {
            if (entry.isMalformed || !entry.uid) {
                return kAudio_ParamError;
            }
            const Tap* tap = world.tap(*entry.uid);
            if (tap == nullptr) {
                return kAudioHardwareIllegalOperationError;
            }
            device->tapIDs.push_back(tap->id);
            const auto [shape, channels] = tapStreamShape(*tap, behaviour.shapeFault);
            device->inputStreams.push_back({world.allocateID(), true, streamFormat(device->sampleRate, channels, shape),
                                            Stream::Feed::tap, "", tap->id});
            device->inputChannels += channels;
        }
        const dispatch::Seconds current = dispatch::now();
        const double delay = std::max(0.0, behaviour.streamDelaySeconds);
        device->inputStreamsAt = behaviour.isInputWithheld ? kNever : current + delay;
        device->outputStreamsAt = behaviour.isOutputWithheld ? kNever : current + delay;
        device->ioStallSeconds = behaviour.ioStallSeconds;
        if (std::isfinite(delay) && delay > 0.0 && !(behaviour.isInputWithheld && behaviour.isOutputWithheld)) {
            appearsAfter = delay;
        }
        device->id = world.allocateID();
        device->io = std::make_shared<DeviceIO>(device->uid);
        newID = device->id;
        uid = device->uid;
        world.devices.push_back(std::move(device));
        outDeviceID = newID;
        world.notify(kAudioObjectSystemObject, kAudioHardwarePropertyDevices);
        return kAudioHardwareNoError;
    });
    if (appearsAfter) {
        // The streams show up later; listeners of the stream list hear about it then.
        eventQueue_->asyncAfter(*appearsAfter, [weakWorld = std::weak_ptr<World>(world_), uid, newID] {
            announceStreams(weakWorld, uid, newID);
        });
    }
    return status;
}

OSStatus AggregateDevices::destroy(AudioObjectID deviceID) {
    std::shared_ptr<DeviceIO> io;
    {
        std::lock_guard lock(world_->mutex);
        Device* device = world_->device(deviceID);
        if (device == nullptr) {
            return kAudioHardwareBadObjectError;
        }
        if (device->kind != Device::Kind::programAggregate) {
            return kAudioHardwareIllegalOperationError;
        }
        io = device->io;
    }
    io_->end(*io);
    return world_->change([deviceID](World& world) -> OSStatus {
        std::vector<AudioObjectID> gone{deviceID};
        for (auto& device : world.devices) {
            if (device->id == deviceID && device->kind == Device::Kind::programAggregate) {
                for (const auto& stream : device->inputStreams) {
                    gone.push_back(stream.id);
                }
                for (const auto& stream : device->outputStreams) {
                    gone.push_back(stream.id);
                }
            }
        }
        std::erase_if(world.devices, [deviceID](const std::unique_ptr<Device>& device) {
            return device->id == deviceID && device->kind == Device::Kind::programAggregate;
        });
        for (const AudioObjectID id : gone) {
            world.dropListeners(id);
        }
        world.notify(kAudioObjectSystemObject, kAudioHardwarePropertyDevices);
        return kAudioHardwareNoError;
    });
}

}  // namespace sim
