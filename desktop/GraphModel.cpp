#include "desktop/GraphModel.h"

#include <algorithm>
#include <charconv>
#include <set>
#include <string_view>
#include <utility>

namespace desktop {

namespace {

constexpr std::string_view kSinkClass = "Audio/Sink";
constexpr std::string_view kSourceClass = "Audio/Source";
constexpr std::string_view kOutputStreamClass = "Stream/Output/Audio";
constexpr std::string_view kInputStreamClass = "Stream/Input/Audio";
constexpr UInt32 kDefaultChannels = 2;
constexpr UInt32 kDefaultQuantum = 1024;

bool contains(std::string_view text, std::string_view part) { return text.find(part) != std::string_view::npos; }

std::uint32_t numberOf(const std::string& text) {
    std::uint32_t value = 0;
    std::from_chars(text.data(), text.data() + text.size(), value);
    return value;
}

// Channels from the node's position list ("[ FL FR ]" or "FL,FR"), its channel count, or
// its ports.
UInt32 channelCount(const GraphNode& node, bool isOutput) {
    const std::string positions = propertyOf(node.properties, "audio.position");
    UInt32 count = 0;
    bool inToken = false;
    for (const char c : positions) {
        const bool isSeparator = c == ' ' || c == ',' || c == '[' || c == ']';
        if (!isSeparator && !inToken) {
            ++count;
        }
        inToken = !isSeparator;
    }
    if (count == 0) {
        count = numberOf(propertyOf(node.properties, "audio.channels"));
    }
    if (count == 0) {
        count = isOutput ? node.inputPorts : node.outputPorts;
    }
    return count == 0 ? kDefaultChannels : count;
}

double rateOf(const GraphNode& node, double clockRate) {
    const std::uint32_t rate = numberOf(propertyOf(node.properties, "audio.rate"));
    return rate == 0 ? clockRate : static_cast<double>(rate);
}

std::int32_t pidOf(const Properties& client) {
    for (const char* key : {"application.process.id", "pipewire.sec.pid"}) {
        if (const std::uint32_t pid = numberOf(propertyOf(client, key)); pid != 0) {
            return static_cast<std::int32_t>(pid);
        }
    }
    return 0;
}

bool sameStreams(const audioserver::Device& lhs, const audioserver::Device& rhs) {
    auto same = [](const std::vector<audioserver::Stream>& a, const std::vector<audioserver::Stream>& b) {
        return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](const auto& x, const auto& y) {
            return x.id == y.id && x.format.mChannelsPerFrame == y.format.mChannelsPerFrame &&
                   x.format.mSampleRate == y.format.mSampleRate;
        });
    };
    return same(lhs.inputStreams, rhs.inputStreams) && same(lhs.outputStreams, rhs.outputStreams);
}

template <typename Object>
const Object* byID(const std::vector<Object>& objects, AudioObjectID id) {
    const auto found =
        std::find_if(objects.begin(), objects.end(), [id](const Object& object) { return object.id == id; });
    return found == objects.end() ? nullptr : &*found;
}

AudioObjectID defaultID(const std::vector<audioserver::Device>& devices, const std::string& uid) {
    const auto found = std::find_if(devices.begin(), devices.end(),
                                    [&uid](const audioserver::Device& device) { return device.uid == uid; });
    return found == devices.end() ? 0 : found->id;
}

}  // namespace

UInt32 transportTypeOf(const Properties& node, const Properties& device) {
    const std::string api =
        propertyOf(node, "device.api").empty() ? propertyOf(device, "device.api") : propertyOf(node, "device.api");
    const std::string bus =
        propertyOf(device, "device.bus").empty() ? propertyOf(node, "device.bus") : propertyOf(device, "device.bus");
    const std::string name = propertyOf(node, "node.name");
    const std::string profile =
        propertyOf(node, "device.profile.name") + " " + propertyOf(node, "device.profile.description");
    if (propertyOf(node, "node.network") == "true" || api == "raop" || api == "pulse" || name.starts_with("tunnel.") ||
        name.starts_with("raop_sink.") || name.starts_with("roc-")) {
        return kAudioDeviceTransportTypeAirPlay;
    }
    if (api == "bluez5" || bus == "bluetooth") {
        return kAudioDeviceTransportTypeBluetooth;
    }
    if (bus == "usb") {
        return kAudioDeviceTransportTypeUSB;
    }
    if (contains(name, "hdmi") || contains(profile, "hdmi") || contains(profile, "HDMI")) {
        return kAudioDeviceTransportTypeHDMI;
    }
    if (contains(profile, "DisplayPort") || contains(name, "displayport")) {
        return kAudioDeviceTransportTypeDisplayPort;
    }
    if (bus == "pci" || api == "alsa") {
        return kAudioDeviceTransportTypeBuiltIn;
    }
    return kAudioDeviceTransportTypeVirtual;
}

AudioObjectID GraphModel::idFor(const std::string& key) {
    const auto [found, isNew] = idsByKey_.try_emplace(key, 0);
    if (isNew) {
        found->second = allocateID();
    }
    return found->second;
}

GraphModel::Projection GraphModel::project(const PipeWireGraph& graph) {
    Projection next;
    std::set<std::string> usedKeys;
    auto keyedID = [&](const std::string& key) {
        usedKeys.insert(key);
        return idFor(key);
    };
    std::map<std::uint32_t, AudioObjectID> deviceIDsByNode;
    for (const auto& [nodeID, node] : graph.nodes) {
        const std::string mediaClass = propertyOf(node.properties, "media.class");
        const bool isOutput = mediaClass.starts_with(kSinkClass);
        if (node.properties.contains(kRouteNodeKey)) {
            continue;
        }
        if (!isOutput && !mediaClass.starts_with(kSourceClass)) {
            continue;
        }
        const auto hardware = graph.devices.find(numberOf(propertyOf(node.properties, "device.id")));
        audioserver::Device device;
        device.id = keyedID("node:" + std::to_string(node.serial));
        device.uid = propertyOf(node.properties, "node.name");
        device.name = propertyOf(node.properties, "node.description");
        if (device.name.empty()) {
            device.name = device.uid;
        }
        device.transportType =
            transportTypeOf(node.properties, hardware == graph.devices.end() ? Properties{} : hardware->second);
        device.sampleRate = rateOf(node, graph.clockRate);
        device.bufferFrameSize = kDefaultQuantum;
        device.isAlive = node.state != "error";
        const UInt32 channels = channelCount(node, isOutput);
        audioserver::Stream stream;
        stream.id = keyedID("stream:" + std::to_string(node.serial));
        stream.isInput = !isOutput;
        stream.format = audioserver::streamFormat(device.sampleRate, channels, audioserver::StreamShape{});
        stream.feed = isOutput ? audioserver::Stream::Feed::deviceOutput : audioserver::Stream::Feed::deviceInput;
        stream.feedUID = device.uid;
        (isOutput ? device.outputChannels : device.inputChannels) = channels;
        (isOutput ? device.outputStreams : device.inputStreams).push_back(std::move(stream));
        deviceIDsByNode[nodeID] = device.id;
        next.devices.push_back(std::move(device));
    }

    std::map<std::uint32_t, std::vector<const GraphNode*>> streamsByClient;
    for (const auto& [nodeID, node] : graph.nodes) {
        const std::string mediaClass = propertyOf(node.properties, "media.class");
        if ((mediaClass.starts_with(kOutputStreamClass) || mediaClass.starts_with(kInputStreamClass)) &&
            !node.properties.contains(kRouteNodeKey)) {
            streamsByClient[numberOf(propertyOf(node.properties, "client.id"))].push_back(&node);
        }
    }
    for (const auto& [clientID, streams] : streamsByClient) {
        const auto client = graph.clients.find(clientID);
        if (client == graph.clients.end()) {
            continue;
        }
        // A stream may say which application it is; that beats what its connection says.
        Properties identifying = client->second.properties;
        for (const auto& [key, value] : streams.front()->properties) {
            if (key.starts_with("application.")) {
                identifying[key] = value;
            }
        }
        audioserver::Process process;
        process.id = keyedID("client:" + std::to_string(client->second.serial));
        process.pid = pidOf(identifying);
        process.bundleID = identity_ ? identity_(process.pid, identifying) : std::string();
        const std::string name = propertyOf(identifying, "application.name");
        next.processNames[process.id] = name.empty() ? *process.bundleID : name;
        std::vector<AudioObjectID> reached;
        for (const GraphNode* stream : streams) {
            const bool isRunning = stream->state == "running";
            const bool isOutputStream = propertyOf(stream->properties, "media.class").starts_with(kOutputStreamClass);
            (isOutputStream ? process.isRunningOutput : process.isRunningInput) |= isRunning;
            if (!isOutputStream) {
                continue;
            }
            next.processStreams[process.id].push_back(stream->id);
            for (const auto& [linkID, link] : graph.links) {
                const auto device = deviceIDsByNode.find(link.inputNode);
                if (link.outputNode == stream->id && device != deviceIDsByNode.end() &&
                    std::find(reached.begin(), reached.end(), device->second) == reached.end()) {
                    reached.push_back(device->second);
                }
            }
        }
        next.processDevices[process.id] = std::move(reached);
        next.processes.push_back(std::move(process));
    }
    next.defaultOutputUID = graph.defaultSinkName;
    next.defaultInputUID = graph.defaultSourceName;
    std::erase_if(idsByKey_, [&usedKeys](const auto& entry) { return !usedKeys.contains(entry.first); });
    return next;
}

void GraphModel::update(const PipeWireGraph& graph) {
    changeAs(*this, [&graph](GraphModel& model) {
        model.replaceWith(model.project(graph));
        return true;
    });
}

void GraphModel::lose() {
    changeAs(*this, [](GraphModel& model) {
        model.notify(kAudioObjectSystemObject, kAudioHardwarePropertyServiceRestarted);
        model.replaceWith({});
        model.idsByKey_.clear();
        return true;
    });
}

void GraphModel::replaceWith(Projection next) {
    auto idsOf = [](const auto& objects) {
        std::vector<AudioObjectID> list;
        for (const auto& object : objects) {
            list.push_back(object.id);
        }
        return list;
    };
    for (const auto& device : devices_) {
        const audioserver::Device* kept = byID(next.devices, device.id);
        if (kept == nullptr) {
            notify(device.id, kAudioDevicePropertyDeviceIsAlive);
            dropListeners(device.id);
            for (const auto* stream : device.visibleStreams(kAudioObjectPropertyScopeGlobal, 0.0)) {
                dropListeners(stream->id);
            }
            continue;
        }
        if (kept->isAlive != device.isAlive) {
            notify(device.id, kAudioDevicePropertyDeviceIsAlive);
        }
        if (!sameStreams(*kept, device)) {
            notify(device.id, kAudioDevicePropertyStreams);
        }
        if (kept->name != device.name) {
            notify(device.id, kAudioObjectPropertyName);
        }
        if (kept->sampleRate != device.sampleRate) {
            notify(device.id, kAudioDevicePropertyNominalSampleRate);
        }
    }
    const bool devicesChanged = idsOf(devices_) != idsOf(next.devices);
    const bool outputChanged = defaultID(devices_, defaultOutputUID) != defaultID(next.devices, next.defaultOutputUID);
    const bool inputChanged = defaultID(devices_, defaultInputUID) != defaultID(next.devices, next.defaultInputUID);
    for (const auto& process : processes_) {
        const audioserver::Process* kept = byID(next.processes, process.id);
        if (kept == nullptr) {
            dropListeners(process.id);
            continue;
        }
        if (kept->isRunning() != process.isRunning()) {
            notify(process.id, kAudioProcessPropertyIsRunning);
        }
        if (kept->isRunningOutput != process.isRunningOutput) {
            notify(process.id, kAudioProcessPropertyIsRunningOutput);
        }
        if (kept->isRunningInput != process.isRunningInput) {
            notify(process.id, kAudioProcessPropertyIsRunningInput);
        }
        if (kept->bundleID != process.bundleID) {
            notify(process.id, kAudioProcessPropertyBundleID);
        }
        if (next.processDevices[process.id] != processDevices_[process.id]) {
            notify(process.id, kAudioProcessPropertyDevices);
        }
    }
    const bool processesChanged = idsOf(processes_) != idsOf(next.processes);
    devices_ = std::move(next.devices);
    processes_ = std::move(next.processes);
    processDevices_ = std::move(next.processDevices);
    processStreams_ = std::move(next.processStreams);
    processNames_ = std::move(next.processNames);
    defaultOutputUID = std::move(next.defaultOutputUID);
    defaultInputUID = std::move(next.defaultInputUID);
    if (devicesChanged) {
        notify(kAudioObjectSystemObject, kAudioHardwarePropertyDevices);
    }
    if (outputChanged) {
        notify(kAudioObjectSystemObject, kAudioHardwarePropertyDefaultOutputDevice);
    }
    if (inputChanged) {
        notify(kAudioObjectSystemObject, kAudioHardwarePropertyDefaultInputDevice);
    }
    if (processesChanged) {
        notify(kAudioObjectSystemObject, kAudioHardwarePropertyProcessObjectList);
    }
}

std::vector<const audioserver::Device*> GraphModel::listedDevices() {
    std::vector<const audioserver::Device*> listed;
    for (const auto& device : devices_) {
        listed.push_back(&device);
    }
    for (const auto& aggregate : aggregates) {
        listed.push_back(&aggregate);
    }
    return listed;
}

std::vector<const audioserver::Process*> GraphModel::listedProcesses() {
    std::vector<const audioserver::Process*> listed;
    for (const auto& process : processes_) {
        listed.push_back(&process);
    }
    return listed;
}

const audioserver::Device* GraphModel::findDevice(AudioObjectID id) {
    const audioserver::Device* device = byID(devices_, id);
    return device != nullptr ? device : byID(aggregates, id);
}

const audioserver::Process* GraphModel::findProcess(AudioObjectID id) { return byID(processes_, id); }

std::vector<AudioObjectID> GraphModel::processDevices(const audioserver::Process& process) {
    const auto found = processDevices_.find(process.id);
    return found == processDevices_.end() ? std::vector<AudioObjectID>{} : found->second;
}

std::vector<const audioserver::Tap*> GraphModel::listedTaps() {
    std::vector<const audioserver::Tap*> listed;
    for (const auto& tap : taps) {
        listed.push_back(&tap);
    }
    return listed;
}

std::vector<std::uint32_t> GraphModel::outputStreamNodes(AudioObjectID process) const {
    const auto found = processStreams_.find(process);
    return found == processStreams_.end() ? std::vector<std::uint32_t>{} : found->second;
}

std::string GraphModel::applicationName(AudioObjectID process) const {
    const auto found = processNames_.find(process);
    return found == processNames_.end() ? std::string() : found->second;
}

}  // namespace desktop
