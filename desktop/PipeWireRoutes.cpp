#include "desktop/PipeWireRoutes.h"

#include "audioserver/AggregateDescription.h"
#include "desktop/CaptureNode.h"
#include "desktop/GraphModel.h"
#include "desktop/PlaybackNode.h"

#include <algorithm>
#include <limits>
#include <utility>

namespace desktop {

namespace {

using Session = PipeWireConnection::Session;

constexpr double kNever = std::numeric_limits<double>::infinity();
constexpr UInt32 kAggregateQuantum = 1024;

bool hasNodeNamed(const PipeWireGraph& graph, const std::string& name) {
    return std::any_of(graph.nodes.begin(), graph.nodes.end(),
                       [&name](const auto& entry) { return propertyOf(entry.second.properties, "node.name") == name; });
}

audioserver::Stream routeStream(AudioObjectID id, bool isInput, const NodeFormat& format) {
    audioserver::Stream stream;
    stream.id = id;
    stream.isInput = isInput;
    stream.format = audioserver::streamFormat(format.rate, format.channels, audioserver::StreamShape{});
    stream.feed = isInput ? audioserver::Stream::Feed::tap : audioserver::Stream::Feed::deviceOutput;
    return stream;
}

// Forgets the listeners of a device that goes, and of its streams.
void dropDevice(GraphModel& model, const audioserver::Device& device) {
    model.dropListeners(device.id);
    for (const auto* streams : {&device.inputStreams, &device.outputStreams}) {
        for (const auto& stream : *streams) {
            model.dropListeners(stream.id);
        }
    }
}

}  // namespace

PipeWireRoutes::PipeWireRoutes(std::shared_ptr<GraphModel> model) : model_(std::move(model)) {}

PipeWireRoutes::~PipeWireRoutes() = default;

template <typename Work>
OSStatus PipeWireRoutes::operate(Work&& work) {
    OSStatus status = kAudioHardwareNotRunningError;
    if (connection_ == nullptr) {
        return status;
    }
    connection_->withSession([&](const Session& session) {
        isBusy_ = true;
        status = work(session);
        isBusy_ = false;
        refresh(session);
    });
    return status;
}

template <typename Routes>
OSStatus PipeWireRoutes::destroy(const Routes& routes, AudioObjectID id,
                                 void (PipeWireRoutes::*remove)(AudioObjectID, const Session&)) {
    return operate([&](const Session& session) -> OSStatus {
        if (!routes.contains(id)) {
            return kAudioHardwareBadObjectError;
        }
        (this->*remove)(id, session);
        return kAudioHardwareNoError;
    });
}

void PipeWireRoutes::nodeChanged() {
    if (isBusy_) {
        isRefreshDue_ = true;
        return;
    }
    connection_->withSession([this](const Session& session) { refresh(session); });
}

OSStatus PipeWireRoutes::createTap(const CATapDescription& description, AudioObjectID& outTapID) {
    return operate([&](const Session& session) -> OSStatus {
        // Only what a route asks for exists here: a tap of the listed processes that mutes
        // them while it is read.
        if (description.isExclusive || description.muteBehavior != CATapMutedWhenTapped) {
            return kAudioHardwareUnsupportedOperationError;
        }
        std::string applicationName;
        bool isValid = !description.processes.empty() && !description.uuid.empty();
        {
            std::lock_guard lock(model_->mutex);
            for (const AudioObjectID process : description.processes) {
                isValid = isValid && model_->findProcess(process) != nullptr;
            }
            applicationName = isValid ? model_->applicationName(description.processes.front()) : std::string();
            isValid =
                isValid && std::none_of(model_->taps.begin(), model_->taps.end(), [&](const audioserver::Tap& tap) {
                    return tap.description.uuid == description.uuid;
                });
        }
        if (!isValid) {
            return kAudioHardwareBadObjectError;
        }
        if (session.core == nullptr) {
            return kAudioHardwareNotRunningError;
        }
        const NodeFormat format{description.isMono ? 1U : 2U, static_cast<std::uint32_t>(session.graph.clockRate)};
        auto node = std::make_unique<CaptureNode>(session.core, description.uuid, applicationName, format,
                                                  [this] { nodeChanged(); });
        if (node->hasFailed()) {
            return kAudioHardwareNotRunningError;
        }
        audioserver::ObjectModel::changeAs(*model_, [&](GraphModel& model) {
            audioserver::Tap tap;
            tap.id = model.allocateID();
            tap.description = description;
            tap.sampleRate = format.rate;
            model.taps.push_back(tap);
            outTapID = tap.id;
            model.notify(kAudioObjectSystemObject, kAudioHardwarePropertyTapList);
            return true;
        });
        taps_[outTapID] = TapRoute{std::move(node), description.processes, false};
        return kAudioHardwareNoError;
    });
}

OSStatus PipeWireRoutes::destroyTap(AudioObjectID tapID) { return destroy(taps_, tapID, &PipeWireRoutes::removeTap); }

OSStatus PipeWireRoutes::createAggregate(CFDictionaryRef description, AudioObjectID& outDeviceID) {
    if (CFGetTypeID(description) != CFDictionaryGetTypeID()) {
        return kAudio_ParamError;
    }
    const auto read = audioserver::AggregateDescription::read(description);
    return operate([&](const Session& session) -> OSStatus {
        if (read.isMalformed || !read.uid || read.uid->empty() || read.taps.size() != 1 || !read.taps[0].uid ||
            read.subdevices.empty() || !read.subdevices[0].uid) {
            return kAudio_ParamError;
        }
        // One sub-device and one tap, as a route has: this server makes no other aggregates.
        if (read.subdevices.size() != 1) {
            return kAudioHardwareUnsupportedOperationError;
        }
        const std::string destination = *read.subdevices[0].uid;
        AudioObjectID tapID = 0;
        UInt32 channels = 0;
        bool isValid = false;
        {
            std::lock_guard lock(model_->mutex);
            const audioserver::Device* output = model_->findDeviceByUID(destination);
            const auto tap = std::find_if(model_->taps.begin(), model_->taps.end(), [&](const audioserver::Tap& entry) {
                return entry.description.uuid == *read.taps[0].uid;
            });
            isValid = model_->findDeviceByUID(*read.uid) == nullptr && output != nullptr && !output->isAggregate() &&
                      output->outputChannels != 0 && tap != model_->taps.end();
            tapID = isValid ? tap->id : 0;
            channels = isValid ? output->outputChannels : 0;
        }
        const bool isTapRead = std::any_of(aggregates_.begin(), aggregates_.end(),
                                           [tapID](const auto& entry) { return entry.second.tap == tapID; });
        if (!isValid || isTapRead) {
            return kAudioHardwareIllegalOperationError;
        }
        if (session.core == nullptr) {
            return kAudioHardwareNotRunningError;
        }
        TapRoute& tap = taps_.at(tapID);
        const NodeFormat format{channels, static_cast<std::uint32_t>(session.graph.clockRate)};
        const NodeFormat tapFormat{tap.node->format() ? tap.node->format()->channels : 2U, format.rate};
        audioserver::Device device;
        device.kind = audioserver::Device::Kind::programAggregate;
        device.uid = *read.uid;
        device.name = read.name.value_or("");
        device.transportType = kAudioDeviceTransportTypeAggregate;
        device.sampleRate = format.rate;
        device.bufferFrameSize = kAggregateQuantum;
        device.outputChannels = format.channels;
        device.inputChannels = tapFormat.channels;
        device.subdeviceUIDs = {destination};
        device.tapIDs = {tapID};
        device.composition = audioserver::adoptComposition(static_cast<CFDictionaryRef>(CFRetain(description)));
        device.inputStreamsAt = kNever;
        device.outputStreamsAt = kNever;
        audioserver::ObjectModel::changeAs(*model_, [&](GraphModel& model) {
            device.id = model.allocateID();
            device.inputStreams = {routeStream(model.allocateID(), true, tapFormat)};
            device.inputStreams[0].tapID = tapID;
            device.outputStreams = {routeStream(model.allocateID(), false, format)};
            device.outputStreams[0].feedUID = destination;
            model.aggregates.push_back(device);
            model.notify(kAudioObjectSystemObject, kAudioHardwarePropertyDevices);
            return true;
        });
        const std::string uuid = device.uid.substr(device.uid.rfind('.') + 1);
        auto node = std::make_unique<PlaybackNode>(session.core, device.id, uuid, *tap.node, destination, format,
                                                   [this] { nodeChanged(); });
        tap.node->setReader(node.get(), session.dataLoop);
        aggregates_[device.id] = AggregateRoute{tapID, destination, std::move(node)};
        outDeviceID = device.id;
        return kAudioHardwareNoError;
    });
}

OSStatus PipeWireRoutes::destroyAggregate(AudioObjectID deviceID) {
    return destroy(aggregates_, deviceID, &PipeWireRoutes::removeAggregate);
}

OSStatus PipeWireRoutes::createProcedure(AudioObjectID device, AudioDeviceIOProc procedure, void* clientData,
                                         AudioDeviceIOProcID& outID) {
    return operate([&](const Session&) -> OSStatus {
        const auto found = aggregates_.find(device);
        return found == aggregates_.end() ? kAudioHardwareBadObjectError
                                          : found->second.node->addProcedure(procedure, clientData, outID);
    });
}

OSStatus PipeWireRoutes::destroyProcedure(AudioObjectID device, AudioDeviceIOProcID id) {
    return operate([&](const Session& session) -> OSStatus {
        const auto found = aggregates_.find(device);
        return found == aggregates_.end() ? kAudioHardwareBadObjectError
                                          : found->second.node->removeProcedure(id, session.dataLoop);
    });
}

OSStatus PipeWireRoutes::setStarted(AudioObjectID device, AudioDeviceIOProcID id, bool isStarted) {
    return operate([&](const Session& session) -> OSStatus {
        const auto found = aggregates_.find(device);
        if (found == aggregates_.end()) {
            return kAudioHardwareBadObjectError;
        }
        if (isStarted && !found->second.isAlive) {
            return kAudioHardwareNotRunningError;
        }
        return found->second.node->setStarted(id, isStarted, session.dataLoop);
    });
}

void PipeWireRoutes::releaseAll() {
    if (connection_ == nullptr) {
        return;
    }
    connection_->withSession([this](const Session& session) {
        isBusy_ = true;
        while (!taps_.empty()) {
            removeTap(taps_.begin()->first, session);
        }
        isBusy_ = false;
    });
}

void PipeWireRoutes::graphChanged(const Session& session) {
    if (!isCleaned_) {
        // What a copy of this program that was killed left behind goes first.
        StreamTargets::removeStale(session);
        isCleaned_ = true;
    }
    refresh(session);
}

void PipeWireRoutes::lose(const Session& session) {
    isBusy_ = true;
    targets_.forgetAll();
    while (!taps_.empty()) {
        removeTap(taps_.begin()->first, session);
    }
    isBusy_ = false;
    isCleaned_ = false;
}

void PipeWireRoutes::removeAggregate(AudioObjectID id, const Session& session) {
    const auto found = aggregates_.find(id);
    if (const auto tap = taps_.find(found->second.tap); tap != taps_.end()) {
        tap->second.node->setReader(nullptr, session.dataLoop);
    }
    aggregates_.erase(found);
    audioserver::ObjectModel::changeAs(*model_, [id](GraphModel& model) {
        const auto device = std::find_if(model.aggregates.begin(), model.aggregates.end(),
                                         [id](const audioserver::Device& aggregate) { return aggregate.id == id; });
        if (device != model.aggregates.end()) {
            dropDevice(model, *device);
            model.aggregates.erase(device);
            model.notify(kAudioObjectSystemObject, kAudioHardwarePropertyDevices);
        }
        return true;
    });
}

void PipeWireRoutes::removeTap(AudioObjectID id, const Session& session) {
    std::vector<AudioObjectID> readers;
    for (const auto& [aggregateID, aggregate] : aggregates_) {
        if (aggregate.tap == id) {
            readers.push_back(aggregateID);
        }
    }
    for (const AudioObjectID reader : readers) {
        removeAggregate(reader, session);
    }
    const auto found = taps_.find(id);
    for (const std::uint32_t stream : targets_.takenInto(found->second.node->name())) {
        targets_.giveBack(session, stream);
    }
    taps_.erase(found);
    audioserver::ObjectModel::changeAs(*model_, [id](GraphModel& model) {
        std::erase_if(model.taps, [id](const audioserver::Tap& tap) { return tap.id == id; });
        model.dropListeners(id);
        model.notify(kAudioObjectSystemObject, kAudioHardwarePropertyTapList);
        return true;
    });
}

void PipeWireRoutes::refresh(const Session& session) {
    if (isBusy_) {
        isRefreshDue_ = true;
        return;
    }
    isBusy_ = true;
    do {
        isRefreshDue_ = false;
        refreshOnce(session);
    } while (isRefreshDue_);
    isBusy_ = false;
}

void PipeWireRoutes::refreshOnce(const Session& session) {
    for (const std::string& capture : targets_.forgetMovedAway(session.graph)) {
        for (auto& [id, tap] : taps_) {
            tap.hasLostInput = tap.hasLostInput || tap.node->name() == capture;
        }
    }
    audioserver::ObjectModel::changeAs(*model_, [&](GraphModel& model) {
        for (auto& [id, aggregate] : aggregates_) {
            const TapRoute& tap = taps_.at(aggregate.tap);
            auto device = std::find_if(model.aggregates.begin(), model.aggregates.end(),
                                       [id = id](const audioserver::Device& entry) { return entry.id == id; });
            if (device == model.aggregates.end()) {
                continue;
            }
            const auto& inputFormat = tap.node->format();
            const auto& outputFormat = aggregate.node->format();
            if (!aggregate.hasStreams && inputFormat && outputFormat) {
                // The streams appear with the formats the server settled on.
                aggregate.hasStreams = true;
                device->inputStreams[0].format =
                    audioserver::streamFormat(inputFormat->rate, inputFormat->channels, audioserver::StreamShape{});
                device->outputStreams[0].format =
                    audioserver::streamFormat(outputFormat->rate, outputFormat->channels, audioserver::StreamShape{});
                device->inputStreamsAt = 0.0;
                device->outputStreamsAt = 0.0;
                model.notify(id, kAudioDevicePropertyStreams);
            }
            const bool isAlive = !aggregate.node->hasFailed() && !tap.node->hasFailed() &&
                                 hasNodeNamed(session.graph, aggregate.destination);
            const bool isRunning = isAlive && !tap.hasLostInput && aggregate.node->hasStartedProcedure();
            if (isAlive != aggregate.isAlive) {
                aggregate.isAlive = device->isAlive = isAlive;
                model.notify(id, kAudioDevicePropertyDeviceIsAlive);
            }
            if (isRunning != aggregate.isRunning) {
                aggregate.isRunning = device->isIORunning = isRunning;
                model.notify(id, kAudioDevicePropertyDeviceIsRunning);
            }
        }
        return true;
    });
    for (auto& [id, tap] : taps_) {
        const bool isRead = std::any_of(aggregates_.begin(), aggregates_.end(), [id = id](const auto& entry) {
            return entry.second.tap == id && entry.second.isRunning;
        });
        const std::string& capture = tap.node->name();
        if (!isRead) {
            for (const std::uint32_t stream : targets_.takenInto(capture)) {
                targets_.giveBack(session, stream);
            }
            continue;
        }
        // Every output stream of the tapped processes, including one that opened since.
        std::vector<std::uint32_t> streams;
        {
            std::lock_guard lock(model_->mutex);
            for (const AudioObjectID process : tap.processes) {
                for (const std::uint32_t stream : model_->outputStreamNodes(process)) {
                    streams.push_back(stream);
                }
            }
        }
        for (const std::uint32_t stream : streams) {
            if (!targets_.isTaken(stream)) {
                targets_.take(session, stream, capture);
            }
        }
    }
}

}  // namespace desktop
