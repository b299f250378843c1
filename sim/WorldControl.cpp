#include "sim/WorldControl.h"

#include "sim/IOProcedures.h"
#include "sim/SimulatedWorkspace.h"
#include "sim/World.h"

#include <algorithm>
#include <utility>
#include <vector>

namespace sim {

namespace {

// Marks the aggregates a program built on a lost device dead; their IO stops.
void killAggregatesOn(World& world, const std::string& uid) {
    for (auto& device : world.devices) {
        if (device->kind != Device::Kind::programAggregate || !device->isAlive) {
            continue;
        }
        const auto& members = device->subdeviceUIDs;
        if (std::find(members.begin(), members.end(), uid) != members.end()) {
            device->isAlive = false;
            world.notify(device->id, kAudioDevicePropertyDeviceIsAlive);
        }
    }
}

}  // namespace

WorldControl::WorldControl(std::shared_ptr<World> world, std::shared_ptr<IOProcedures> io,
                           std::shared_ptr<SimulatedWorkspace> workspace)
    : world_(std::move(world)), io_(std::move(io)), workspace_(std::move(workspace)) {}

std::optional<AudioObjectID> WorldControl::deviceID(const std::string& uid) const {
    std::lock_guard lock(world_->mutex);
    const Device* device = world_->device(uid);
    if (device == nullptr || !device->isListed()) {
        return std::nullopt;
    }
    return device->id;
}

std::optional<AudioObjectID> WorldControl::processObjectID(std::int32_t pid) const {
    std::lock_guard lock(world_->mutex);
    const Process* process = world_->processWithPid(pid);
    if (process == nullptr || !process->isListed()) {
        return std::nullopt;
    }
    return process->id;
}

bool WorldControl::startAudio(std::int32_t pid) {
    return world_->change([pid](World& world) {
        Process* process = world.processWithPid(pid);
        if (process == nullptr) {
            return false;
        }
        const bool wasRunning = process->isRunningOutput || process->isRunningInput;
        if (!process->isRunningOutput) {
            process->isRunningOutput = true;
            world.notify(process->id, kAudioProcessPropertyIsRunningOutput);
            if (!wasRunning) {
                world.notify(process->id, kAudioProcessPropertyIsRunning);
            }
        }
        return true;
    });
}

bool WorldControl::stopAudio(std::int32_t pid) {
    return world_->change([pid](World& world) {
        Process* process = world.processWithPid(pid);
        if (process == nullptr) {
            return false;
        }
        if (process->isRunningOutput) {
            process->isRunningOutput = false;
            world.notify(process->id, kAudioProcessPropertyIsRunningOutput);
            if (!process->isRunningInput) {
                world.notify(process->id, kAudioProcessPropertyIsRunning);
            }
        }
        return true;
    });
}

bool WorldControl::setSource(std::int32_t pid, AudioSource source) {
    std::lock_guard lock(world_->mutex);
    Process* process = world_->processWithPid(pid);
    if (process == nullptr) {
        return false;
    }
    process->source = source;
    return true;
}

bool WorldControl::launchProcess(std::int32_t pid) {
    return world_->change([pid](World& world) {
        Process* process = world.processWithPid(pid);
        if (process == nullptr) {
            return false;
        }
        if (!process->isLaunched) {
            process->isLaunched = true;
            process->id = world.allocateID();
            if (process->declared.isAudioClient) {
                world.notify(kAudioObjectSystemObject, kAudioHardwarePropertyProcessObjectList);
            }
        }
        return true;
    });
}

bool WorldControl::quitProcess(std::int32_t pid) {
    return world_->change([pid](World& world) {
        Process* process = world.processWithPid(pid);
        if (process == nullptr) {
            return false;
        }
        if (process->isLaunched) {
            process->isLaunched = false;
            process->isRunningOutput = false;
            process->isRunningInput = false;
            world.dropListeners(process->id);
            if (process->declared.isAudioClient) {
                world.notify(kAudioObjectSystemObject, kAudioHardwarePropertyProcessObjectList);
            }
        }
        return true;
    });
}

bool WorldControl::plugDevice(const std::string& uid) {
    const bool isKnown = world_->change([&uid](World& world) {
        Device* device = world.device(uid);
        if (device == nullptr || device->kind == Device::Kind::programAggregate) {
            return false;
        }
        if (!device->isPlugged) {
            // A device that comes back is a new object, as on the platform.
            device->isPlugged = true;
            device->isAlive = true;
            world.renumber(*device);
            world.notify(kAudioObjectSystemObject, kAudioHardwarePropertyDevices);
            world.repairDefaults();
        }
        return true;
    });
    if (isKnown) {
        io_->updateAll();
    }
    return isKnown;
}

bool WorldControl::unplugDevice(const std::string& uid) {
    std::shared_ptr<DeviceIO> unplugged;
    const bool isKnown = world_->change([&](World& world) {
        Device* device = world.device(uid);
        if (device == nullptr || device->kind == Device::Kind::programAggregate) {
            return false;
        }
        if (device->isPlugged) {
            world.notify(device->id, kAudioDevicePropertyDeviceIsAlive);
            device->isPlugged = false;
            device->isAlive = false;
            killAggregatesOn(world, uid);
            world.notify(kAudioObjectSystemObject, kAudioHardwarePropertyDevices);
            world.repairDefaults();
            unplugged = device->io;
            world.dropListeners(device->id);
            for (const auto& stream : device->inputStreams) {
                world.dropListeners(stream.id);
            }
            for (const auto& stream : device->outputStreams) {
                world.dropListeners(stream.id);
            }
        }
        return true;
    });
    if (!isKnown) {
        return false;
    }
    if (unplugged) {
        // The device's IO procedures went with it.
        io_->dropProcedures(*unplugged);
    }
    io_->updateAll();
    return true;
}

bool WorldControl::killDevice(const std::string& uid) {
    const bool isKnown = world_->change([&uid](World& world) {
        Device* device = world.device(uid);
        if (device == nullptr || !device->isPlugged) {
            return false;
        }
        if (device->isAlive) {
            device->isAlive = false;
            world.notify(device->id, kAudioDevicePropertyDeviceIsAlive);
            killAggregatesOn(world, uid);
        }
        return true;
    });
    if (isKnown) {
        io_->updateAll();
    }
    return isKnown;
}

bool WorldControl::setDefaultOutputDevice(const std::string& uid) { return setDefaultDevice(uid, true); }

bool WorldControl::setDefaultInputDevice(const std::string& uid) { return setDefaultDevice(uid, false); }

bool WorldControl::setDefaultDevice(const std::string& uid, bool isOutput) {
    return world_->change([&uid, isOutput](World& world) {
        Device* device = world.device(uid);
        // The platform may leave its default output on a device that offers no output, so
        // a test may too; a default input always has input.
        if (device == nullptr || !device->isListed() || (!isOutput && device->inputChannels == 0)) {
            return false;
        }
        std::string& current = isOutput ? world.defaultOutputUID : world.defaultInputUID;
        if (current != uid) {
            current = uid;
            world.notify(kAudioObjectSystemObject, isOutput ? kAudioHardwarePropertyDefaultOutputDevice
                                                            : kAudioHardwarePropertyDefaultInputDevice);
        }
        return true;
    });
}

bool WorldControl::setIOStalled(const std::string& uid, bool isStalled) {
    std::lock_guard lock(world_->mutex);
    Device* device = world_->device(uid);
    if (device == nullptr) {
        return false;
    }
    device->isStalled = isStalled;
    return true;
}

void WorldControl::restartAudioService() {
    std::vector<PendingNotification> notifications;
    std::vector<std::shared_ptr<DeviceIO>> ios;
    {
        std::lock_guard lock(world_->mutex);
        World& world = *world_;
        for (auto& device : world.devices) {
            ios.push_back(device->io);
        }
        // Every tap and aggregate device of this program is gone; the rest of the
        // world comes back with new object identifiers.
        std::erase_if(world.devices, [](const std::unique_ptr<Device>& device) {
            return device->kind == Device::Kind::programAggregate;
        });
        world.taps.clear();
        for (auto& device : world.devices) {
            world.renumber(*device);
            device->isIORunning = false;
        }
        for (auto& process : world.processes) {
            process.id = world.allocateID();
        }
        world.listeners.dropAllButSystem();
        world.notify(kAudioObjectSystemObject, kAudioHardwarePropertyServiceRestarted);
        world.notify(kAudioObjectSystemObject, kAudioHardwarePropertyDevices);
        world.notify(kAudioObjectSystemObject, kAudioHardwarePropertyProcessObjectList);
        world.notify(kAudioObjectSystemObject, kAudioHardwarePropertyDefaultOutputDevice);
        world.notify(kAudioObjectSystemObject, kAudioHardwarePropertyDefaultInputDevice);
        notifications = world.listeners.takePending();
    }
    for (auto& io : ios) {
        io_->dropProcedures(*io);
    }
    for (auto& io : ios) {
        io_->update(io);
    }
    audioserver::PropertyListeners::deliver(std::move(notifications));
}

void WorldControl::sleep() {
    {
        std::lock_guard lock(world_->mutex);
        world_->isAsleep = true;
    }
    workspace_->post(WorkspaceNotification::willSleep);
}

void WorldControl::wake() {
    {
        std::lock_guard lock(world_->mutex);
        world_->isAsleep = false;
    }
    workspace_->post(WorkspaceNotification::didWake);
}

}  // namespace sim
