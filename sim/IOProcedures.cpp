#include "sim/IOProcedures.h"

#include "sim/DeviceIO.h"
#include "sim/World.h"

#include <algorithm>
#include <cmath>
#include <utility>
#include <vector>

namespace sim {

namespace {

constexpr std::uint64_t kMaxCatchUpCycles = 8;

}  // namespace

IOProcedures::IOProcedures(std::shared_ptr<World> world, dispatch::Seconds startTime)
    : world_(std::move(world)), startTime_(startTime) {}

std::shared_ptr<DeviceIO> IOProcedures::ioOf(AudioObjectID device) const {
    std::lock_guard lock(world_->mutex);
    const Device* found = world_->device(device);
    return found == nullptr ? nullptr : found->io;
}

OSStatus IOProcedures::create(AudioObjectID device, AudioDeviceIOProc proc, void* clientData,
                              AudioDeviceIOProcID& outProcID) {
    std::shared_ptr<DeviceIO> io = ioOf(device);
    if (!io) {
        return kAudioHardwareBadObjectError;
    }
    const auto id = reinterpret_cast<AudioDeviceIOProcID>(nextProcToken_.fetch_add(0x10));
    auto lock = io->lock();
    io->procs.push_back({id, proc, clientData, false});
    ++procedureCount_;
    outProcID = id;
    return kAudioHardwareNoError;
}

OSStatus IOProcedures::destroy(AudioObjectID device, AudioDeviceIOProcID procID) {
    std::shared_ptr<DeviceIO> io = ioOf(device);
    if (!io) {
        return kAudioHardwareBadObjectError;
    }
    auto lock = io->lock();
    const auto removed = std::erase_if(io->procs, [procID](const IOProcEntry& entry) { return entry.id == procID; });
    if (removed == 0) {
        return kAudioHardwareIllegalOperationError;
    }
    procedureCount_ -= removed;
    updateLocked(io);
    return kAudioHardwareNoError;
}

OSStatus IOProcedures::start(AudioObjectID device, AudioDeviceIOProcID procID) {
    std::shared_ptr<DeviceIO> io = ioOf(device);
    if (!io) {
        return kAudioHardwareBadObjectError;
    }
    {
        std::lock_guard lock(world_->mutex);
        const Device* found = world_->device(device);
        if (found == nullptr || !found->isAlive) {
            return kAudioHardwareNotRunningError;
        }
    }
    return setStarted(io, procID, true);
}

OSStatus IOProcedures::stop(AudioObjectID device, AudioDeviceIOProcID procID) {
    std::shared_ptr<DeviceIO> io = ioOf(device);
    if (!io) {
        return kAudioHardwareBadObjectError;
    }
    return setStarted(io, procID, false);
}

OSStatus IOProcedures::setStarted(const std::shared_ptr<DeviceIO>& io, AudioDeviceIOProcID procID, bool isStarted) {
    auto lock = io->lock();
    // A null procedure starts or stops the device itself, which runs here only for its procedures.
    if (procID != nullptr) {
        IOProcEntry* entry = io->entry(procID);
        if (entry == nullptr) {
            return kAudioHardwareIllegalOperationError;
        }
        entry->isStarted = isStarted;
    }
    updateLocked(io);
    return kAudioHardwareNoError;
}

void IOProcedures::dropProcedures(DeviceIO& io) {
    auto lock = io.lock();
    procedureCount_ -= io.procs.size();
    io.procs.clear();
}

void IOProcedures::end(DeviceIO& io) {
    auto lock = io.lock();
    procedureCount_ -= io.procs.size();
    io.procs.clear();
    if (io.timer) {
        io.timer->cancel();
        io.timer.reset();
    }
    io.queue.reset();
}

void IOProcedures::endAll() {
    std::vector<std::shared_ptr<DeviceIO>> ios;
    {
        std::lock_guard lock(world_->mutex);
        for (const auto& device : world_->devices) {
            ios.push_back(device->io);
        }
    }
    for (const auto& io : ios) {
        end(*io);
    }
}

void IOProcedures::updateAll() {
    std::vector<std::shared_ptr<DeviceIO>> ios;
    {
        std::lock_guard lock(world_->mutex);
        for (const auto& device : world_->devices) {
            ios.push_back(device->io);
        }
    }
    for (const auto& io : ios) {
        update(io);
    }
}

void IOProcedures::update(const std::shared_ptr<DeviceIO>& io) {
    auto lock = io->lock();
    updateLocked(io);
}

void IOProcedures::updateLocked(const std::shared_ptr<DeviceIO>& io) {
    bool shouldRun = false;
    double sampleRate = 48000.0;
    UInt32 frames = 512;
    {
        std::lock_guard lock(world_->mutex);
        Device* device = world_->device(io->uid);
        if (device != nullptr && device->io == io) {
            const bool isUsable = device->isListed() && device->isAlive;
            device->isIORunning = isUsable && io->hasStartedProc();
            shouldRun = isUsable && (io->hasStartedProc() || device->observers > 0);
            sampleRate = device->sampleRate;
            frames = device->bufferFrameSize;
        }
    }
    if (shouldRun && !io->timer) {
        io->queue = dispatch::DispatchQueue::create("sim.io." + io->uid);
        io->nextFrame = std::llround((dispatch::now() - startTime_) * sampleRate);
        const double interval = static_cast<double>(frames) / sampleRate;
        io->startedAt = dispatch::now();
        io->interval = interval;
        io->cyclesSinceStart = 0;
        io->timer = dispatch::DispatchSourceTimer::create(io->queue);
        io->timer->setEventHandler([weakSelf = weak_from_this(), weakIO = std::weak_ptr<DeviceIO>(io)] {
            auto self = weakSelf.lock();
            auto device = weakIO.lock();
            if (self && device) {
                self->runCycle(device);
            }
        });
        io->timer->schedule(interval, interval);
        io->timer->resume();
        return;
    }
    if (!shouldRun && io->timer) {
        // The queue goes with the timer, so an idle device keeps no IO thread.
        io->timer->cancel();
        io->timer.reset();
        io->queue.reset();
    }
}

std::size_t IOProcedures::runningCount() const {
    std::vector<std::shared_ptr<DeviceIO>> ios;
    {
        std::lock_guard lock(world_->mutex);
        for (const auto& device : world_->devices) {
            ios.push_back(device->io);
        }
    }
    std::size_t running = 0;
    for (const auto& io : ios) {
        auto lock = io->lock();
        running += io->timer ? 1 : 0;
    }
    return running;
}

std::uint64_t IOProcedures::cycleCount(const std::string& uid) const {
    std::lock_guard lock(world_->mutex);
    const Device* device = world_->device(uid);
    return device == nullptr ? 0 : device->io->cycles.load();
}

void IOProcedures::runCycle(const std::shared_ptr<DeviceIO>& io) {
    const DeviceIO::CycleLock cycle(*io);
    // A device's clock does not wait for a late IO thread: cycles the thread
    // missed are run back to back, up to a bound.
    const auto due = static_cast<std::uint64_t>(std::floor((dispatch::now() - io->startedAt) / io->interval + 1e-6));
    const std::uint64_t behind = due > io->cyclesSinceStart ? due - io->cyclesSinceStart : 1;
    for (std::uint64_t i = 0; i < std::min<std::uint64_t>(behind, kMaxCatchUpCycles) && io->timer; ++i) {
        ++io->cyclesSinceStart;
        renderCycle(io);
    }
    io->cyclesSinceStart = std::max(io->cyclesSinceStart, due);
}

void IOProcedures::renderCycle(const std::shared_ptr<DeviceIO>& io) {
    CyclePlan& plan = io->plan;
    bool isPlayable = false;
    {
        std::lock_guard lock(world_->mutex);
        Device* device = world_->device(io->uid);
        if (device != nullptr && device->io == io && device->isAlive) {
            world_->planCycle(*device, io->procs, plan, dispatch::now(), io->startedAt);
            isPlayable = true;
        }
    }
    const std::int64_t frame = io->nextFrame;
    io->nextFrame += plan.frames;
    io->cycles.fetch_add(1, std::memory_order_relaxed);
    if (!isPlayable) {
        return;
    }
    io->render(frame);
}

}  // namespace sim
