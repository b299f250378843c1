#include "sim/WorldBuilder.h"

#include "audioserver/BundleFolder.h"
#include "sim/PropertyAnswers.h"
#include "sim/World.h"

#include <memory>
#include <utility>

namespace sim {

namespace {

// Object identifiers the scenario gives are kept free for the objects that ask for them.
void reserveDeclaredIDs(World& world, const Scenario& scenario) {
    auto reserve = [&world](const std::optional<AudioObjectID>& id) {
        if (id) {
            world.ids.reserve(*id);
        }
    };
    for (const auto& entry : scenario.devices) {
        reserve(entry.objectID);
    }
    for (const auto& entry : scenario.aggregates) {
        reserve(entry.objectID);
    }
    for (const auto& entry : scenario.processes) {
        reserve(entry.objectID);
    }
}

std::unique_ptr<Device> physicalDevice(const ScenarioDevice& entry, double readBackSeconds,
                                       const std::optional<std::filesystem::path>& recordingFolder) {
    auto device = std::make_unique<Device>();
    device->kind = Device::Kind::physical;
    device->id = entry.objectID.value_or(0);
    device->uid = entry.uid;
    device->name = entry.name;
    device->transportType = entry.transportType;
    device->sampleRate = entry.sampleRate;
    device->bufferFrameSize = entry.bufferFrameSize;
    device->outputChannels = entry.outputChannels;
    device->inputChannels = entry.inputChannels;
    device->format = entry.format;
    device->isAlive = entry.isAlive;
    device->isPlugged = entry.isPlugged;
    device->inputSource = entry.inputSource;
    if (entry.inputChannels > 0) {
        device->inputStreams.push_back({0, true, streamFormat(entry.sampleRate, entry.inputChannels, entry.format),
                                        Stream::Feed::deviceInput, entry.uid, 0});
    }
    if (entry.outputChannels > 0) {
        device->outputStreams.push_back({0, false, streamFormat(entry.sampleRate, entry.outputChannels, entry.format),
                                         Stream::Feed::deviceOutput, entry.uid, 0});
        device->timeline = std::make_shared<PlayedTimeline>(entry.uid, entry.sampleRate, entry.outputChannels,
                                                            readBackSeconds, recordingFolder);
        if (recordingFolder) {
            device->observers = 1;
        }
    }
    device->io = std::make_shared<DeviceIO>(entry.uid);
    return device;
}

std::unique_ptr<Device> userAggregate(World& world, const ScenarioAggregate& entry) {
    auto device = std::make_unique<Device>();
    device->kind = Device::Kind::userAggregate;
    device->id = entry.objectID.value_or(0);
    device->uid = entry.uid;
    device->name = entry.name;
    device->transportType = kAudioDeviceTransportTypeAggregate;
    device->composition = audioserver::adoptComposition(userComposition(entry, world));
    const Device* main = world.device(entry.mainSubdeviceUID);
    device->sampleRate = main != nullptr ? main->sampleRate : 48000.0;
    device->bufferFrameSize = main != nullptr ? main->bufferFrameSize : 512;
    for (const auto& subdevice : entry.subdevices) {
        const Device* member = world.device(subdevice.uid);
        if (member == nullptr) {
            continue;
        }
        device->subdeviceUIDs.push_back(subdevice.uid);
        const bool hasOutput = member->outputChannels > 0 && subdevice.outputChannels.value_or(1) != 0;
        if (hasOutput) {
            device->outputChannels += member->outputChannels;
            device->outputStreams.push_back({0, false,
                                             streamFormat(member->sampleRate, member->outputChannels, member->format),
                                             Stream::Feed::deviceOutput, member->uid, 0});
        }
    }
    if (entry.isStacked.value_or(false)) {
        stackOutputStreams(*device, entry.mainSubdeviceUID);
    }
    device->io = std::make_shared<DeviceIO>(entry.uid);
    return device;
}

}  // namespace

void buildWorld(World& world, const Scenario& scenario, double readBackSeconds,
                const std::optional<std::filesystem::path>& recordingFolder, audioserver::BundleFolder& bundles) {
    reserveDeclaredIDs(world, scenario);
    for (const auto& entry : scenario.devices) {
        world.devices.push_back(physicalDevice(entry, readBackSeconds, recordingFolder));
    }
    for (const auto& entry : scenario.aggregates) {
        world.devices.push_back(userAggregate(world, entry));
    }
    for (auto& device : world.devices) {
        if (device->id == 0) {
            device->id = world.allocateID();
        }
        for (auto& stream : device->inputStreams) {
            stream.id = world.allocateID();
        }
        for (auto& stream : device->outputStreams) {
            stream.id = world.allocateID();
        }
    }
    for (const auto& entry : scenario.processes) {
        Process process;
        process.declared = entry;
        process.id = entry.objectID.value_or(0);
        process.isLaunched = entry.isLaunched;
        process.pid = entry.pid;
        process.bundleID = entry.bundleID;
        process.isRunningOutput = entry.isPlaying;
        process.isRunningInput = entry.isCapturing;
        process.source = entry.source;
        if (entry.application && entry.application->bundlePath) {
            process.bundleURL = bundles.bundlePath(*entry.application->bundlePath, entry.application->bundleID,
                                                   entry.application->localizedName, entry.application->iconPath);
        }
        world.processes.push_back(std::move(process));
    }
    for (auto& process : world.processes) {
        if (process.id == 0) {
            process.id = world.allocateID();
        }
    }
    world.defaultOutputUID = scenario.defaultOutputUID;
    world.defaultInputUID = scenario.defaultInputUID;
    world.repairDefaults();
    world.listeners.clearPending();
}

}  // namespace sim
