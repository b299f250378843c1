#include "sim/ReadBack.h"

#include "sim/IOProcedures.h"
#include "sim/World.h"

#include <cmath>
#include <utility>
#include <vector>

namespace sim {

ReadBack::ReadBack(std::shared_ptr<World> world, std::shared_ptr<IOProcedures> io, dispatch::Seconds startTime)
    : world_(std::move(world)), io_(std::move(io)), startTime_(startTime) {}

bool ReadBack::startObserving(const std::string& uid) {
    std::shared_ptr<DeviceIO> io;
    {
        std::lock_guard lock(world_->mutex);
        Device* device = world_->device(uid);
        if (device == nullptr || device->isAggregate() || !device->timeline) {
            return false;
        }
        ++device->observers;
        io = device->io;
    }
    io_->update(io);
    return true;
}

bool ReadBack::stopObserving(const std::string& uid) {
    std::shared_ptr<DeviceIO> io;
    {
        std::lock_guard lock(world_->mutex);
        Device* device = world_->device(uid);
        if (device == nullptr || device->observers == 0) {
            return false;
        }
        --device->observers;
        io = device->io;
    }
    io_->update(io);
    return true;
}

PlayedAudio ReadBack::played(const std::string& uid, dispatch::Seconds from, dispatch::Seconds to) const {
    std::shared_ptr<PlayedTimeline> timeline;
    {
        std::lock_guard lock(world_->mutex);
        const Device* device = world_->device(uid);
        if (device == nullptr || !device->timeline) {
            return {};
        }
        timeline = device->timeline;
    }
    const double rate = timeline->sampleRate();
    return timeline->read(std::llround((from - startTime_) * rate), std::llround((to - startTime_) * rate));
}

void ReadBack::finishRecordings() {
    std::vector<std::shared_ptr<PlayedTimeline>> timelines;
    {
        std::lock_guard lock(world_->mutex);
        for (const auto& device : world_->devices) {
            if (device->timeline) {
                timelines.push_back(device->timeline);
            }
        }
    }
    for (const auto& timeline : timelines) {
        timeline->finishRecording();
    }
}

}  // namespace sim
