#include "sim/World.h"

#include <algorithm>

namespace sim {

void stackOutputStreams(Device& aggregate, const std::string& mainSubdeviceUID) {
    auto& streams = aggregate.outputStreams;
    if (streams.empty()) {
        return;
    }
    auto lead = std::find_if(streams.begin(), streams.end(),
                             [&mainSubdeviceUID](const Stream& stream) { return stream.feedUID == mainSubdeviceUID; });
    if (lead == streams.end()) {
        lead = streams.begin();
    }
    Stream stacked = *lead;
    for (const Stream& stream : streams) {
        if (&stream != &*lead) {
            stacked.mirrorUIDs.push_back(stream.feedUID);
        }
    }
    aggregate.outputChannels = stacked.format.mChannelsPerFrame;
    streams = {std::move(stacked)};
}

Device* World::device(AudioObjectID id) {
    for (auto& candidate : devices) {
        if (candidate->id == id && candidate->isListed()) {
            return candidate.get();
        }
    }
    return nullptr;
}

Device* World::device(const std::string& uid) {
    for (auto& candidate : devices) {
        if (candidate->uid == uid) {
            return candidate.get();
        }
    }
    return nullptr;
}

Process* World::process(AudioObjectID id) {
    for (auto& candidate : processes) {
        if (candidate.id == id && candidate.isListed()) {
            return &candidate;
        }
    }
    return nullptr;
}

Process* World::processWithPid(std::int32_t pid) {
    for (auto& candidate : processes) {
        if (candidate.pid == pid) {
            return &candidate;
        }
    }
    return nullptr;
}

Tap* World::tap(AudioObjectID id) {
    for (auto& candidate : taps) {
        if (candidate.id == id) {
            return &candidate;
        }
    }
    return nullptr;
}

Tap* World::tap(const std::string& uid) {
    for (auto& candidate : taps) {
        if (candidate.description.uuid == uid) {
            return &candidate;
        }
    }
    return nullptr;
}

std::vector<Device*> World::destinations(const Process& playing) {
    std::vector<Device*> result;
    Device* target = nullptr;
    if (playing.declared.outputUID) {
        target = device(*playing.declared.outputUID);
        if (target != nullptr && (!target->isListed() || !target->isAlive)) {
            target = nullptr;
        }
    }
    if (target == nullptr) {
        target = device(defaultOutputUID);
    }
    if (target == nullptr || !target->isListed() || !target->isAlive) {
        return result;
    }
    if (!target->isAggregate()) {
        if (target->outputChannels > 0) {
            result.push_back(target);
        }
        return result;
    }
    for (const auto& uid : target->subdeviceUIDs) {
        Device* subdevice = device(uid);
        if (subdevice != nullptr && subdevice->isListed() && subdevice->isAlive && subdevice->outputChannels > 0) {
            result.push_back(subdevice);
        }
    }
    return result;
}

std::vector<AudioObjectID> World::tapTargets(const Tap& tapped) {
    std::vector<AudioObjectID> targets;
    const auto& listed = tapped.description.processes;
    for (const auto& candidate : processes) {
        if (!candidate.isListed()) {
            continue;
        }
        const bool isNamed = std::find(listed.begin(), listed.end(), candidate.id) != listed.end();
        if (isNamed != tapped.description.isExclusive) {
            targets.push_back(candidate.id);
        }
    }
    return targets;
}

bool World::isMuted(const Process& playing) {
    for (const auto& candidate : taps) {
        const auto targets = tapTargets(candidate);
        if (std::find(targets.begin(), targets.end(), playing.id) == targets.end()) {
            continue;
        }
        switch (candidate.description.muteBehavior) {
            case CATapUnmuted:
                break;
            case CATapMuted:
                return true;
            case CATapMutedWhenTapped:
                for (const auto& reader : devices) {
                    const bool readsTap =
                        std::find(reader->tapIDs.begin(), reader->tapIDs.end(), candidate.id) != reader->tapIDs.end();
                    if (readsTap && reader->isIORunning && reader->isAlive) {
                        return true;
                    }
                }
                break;
        }
    }
    return false;
}

void World::renumber(Device& renumbered) {
    renumbered.id = allocateID();
    for (auto& stream : renumbered.inputStreams) {
        stream.id = allocateID();
    }
    for (auto& stream : renumbered.outputStreams) {
        stream.id = allocateID();
    }
}

void World::repairDefaults() {
    auto usable = [this](const std::string& uid, bool wantsOutput) {
        Device* candidate = device(uid);
        if (candidate == nullptr || !candidate->isListed()) {
            return false;
        }
        if (candidate->kind == Device::Kind::userAggregate) {
            return wantsOutput;
        }
        return wantsOutput ? candidate->outputChannels > 0 : candidate->inputChannels > 0;
    };
    auto firstUsable = [&](bool wantsOutput) -> std::string {
        for (const auto& candidate : devices) {
            if (candidate->kind == Device::Kind::physical && candidate->isAlive &&
                usable(candidate->uid, wantsOutput)) {
                return candidate->uid;
            }
        }
        return {};
    };
    if (!usable(defaultOutputUID, true)) {
        const std::string replacement = firstUsable(true);
        if (replacement != defaultOutputUID) {
            defaultOutputUID = replacement;
            notify(kAudioObjectSystemObject, kAudioHardwarePropertyDefaultOutputDevice);
        }
    }
    if (!usable(defaultInputUID, false)) {
        const std::string replacement = firstUsable(false);
        if (replacement != defaultInputUID) {
            defaultInputUID = replacement;
            notify(kAudioObjectSystemObject, kAudioHardwarePropertyDefaultInputDevice);
        }
    }
}

void World::planCycle(Device& owner, const std::vector<IOProcEntry>& procs, CyclePlan& plan, dispatch::Seconds current,
                      dispatch::Seconds ioStartedAt) {
    plan.deviceID = owner.id;
    plan.sampleRate = owner.sampleRate;
    plan.frames = owner.bufferFrameSize;
    plan.callsProcs = !isAsleep && !owner.isStalled && current - ioStartedAt < owner.ioStallSeconds;
    plan.procs.clear();
    for (const auto& entry : procs) {
        if (entry.isStarted) {
            plan.procs.push_back(entry);
        }
    }
    std::size_t inputs = 0;
    for (const Stream* stream : owner.visibleStreams(kAudioObjectPropertyScopeInput, current)) {
        if (plan.inputs.size() <= inputs) {
            plan.inputs.emplace_back();
        }
        CyclePlan::Input& input = plan.inputs[inputs++];
        input.layout = StreamLayout::of(stream->format);
        input.sources.clear();
        switch (stream->feed) {
            case Stream::Feed::deviceInput:
                if (const Device* feed = device(stream->feedUID);
                    feed != nullptr && feed->isAlive && feed->isListed()) {
                    input.sources.push_back(feed->inputSource);
                }
                break;
            case Stream::Feed::tap:
                if (const Tap* source = tap(stream->tapID); source != nullptr && !source->deliversSilence) {
                    for (const AudioObjectID target : tapTargets(*source)) {
                        const Process* tapped = process(target);
                        if (tapped != nullptr && tapped->isRunningOutput) {
                            input.sources.push_back(tapped->source);
                        }
                    }
                }
                break;
            case Stream::Feed::deviceOutput:
            case Stream::Feed::phantom:
                break;
        }
    }
    plan.inputs.resize(inputs);
    std::size_t outputs = 0;
    for (const Stream* stream : owner.visibleStreams(kAudioObjectPropertyScopeOutput, current)) {
        if (plan.outputs.size() <= outputs) {
            plan.outputs.emplace_back();
        }
        CyclePlan::Output& output = plan.outputs[outputs++];
        output.layout = StreamLayout::of(stream->format);
        output.targets.clear();
        auto playsOn = [this, &output](const std::string& uid) {
            const Device* feed = device(uid);
            if (feed != nullptr && feed->isListed() && feed->isAlive && feed->observers > 0) {
                output.targets.push_back(feed->timeline);
            }
        };
        playsOn(stream->feedUID);
        for (const auto& mirror : stream->mirrorUIDs) {
            playsOn(mirror);
        }
    }
    plan.outputs.resize(outputs);
    plan.direct.clear();
    plan.ownTimeline.reset();
    if (owner.kind == Device::Kind::physical && owner.observers > 0 && !isAsleep) {
        plan.ownTimeline = owner.timeline;
        for (const auto& playing : processes) {
            if (!playing.isListed() || !playing.isRunningOutput || isMuted(playing)) {
                continue;
            }
            for (const Device* destination : destinations(playing)) {
                if (destination == &owner) {
                    plan.direct.push_back(playing.source);
                }
            }
        }
    }
}

std::vector<const audioserver::Device*> World::listedDevices() {
    std::vector<const audioserver::Device*> listed;
    for (const auto& candidate : devices) {
        if (candidate->isListed()) {
            listed.push_back(candidate.get());
        }
    }
    return listed;
}

std::vector<const audioserver::Process*> World::listedProcesses() {
    std::vector<const audioserver::Process*> listed;
    for (const auto& candidate : processes) {
        if (candidate.isListed()) {
            listed.push_back(&candidate);
        }
    }
    return listed;
}

std::vector<AudioObjectID> World::processDevices(const audioserver::Process& listed) {
    std::vector<AudioObjectID> found;
    if (const Process* playing = process(listed.id)) {
        for (const Device* destination : destinations(*playing)) {
            found.push_back(destination->id);
        }
    }
    return found;
}

std::vector<const audioserver::Tap*> World::listedTaps() {
    std::vector<const audioserver::Tap*> found;
    for (const auto& candidate : taps) {
        found.push_back(&candidate);
    }
    return found;
}

}  // namespace sim
