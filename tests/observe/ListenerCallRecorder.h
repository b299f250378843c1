// Test helper: an audio hardware service that passes every call on to the simulated
// server and records the listener registrations and removals made through it, with the
// virtual time of each, so a test can tell exactly which objects a monitor touched.
// Installed in place of the server for the life of a fixture; owned by the fixture.
// Thread-safety: the record is guarded; calls may arrive from any queue.
#pragma once

#include <algorithm>
#include <memory>
#include <mutex>
#include <utility>
#include <vector>

#include "platform/coreaudio/CoreAudio.h"
#include "platform/dispatch/Dispatch.h"

namespace tonvale::testing {

struct ListenerCall {
    bool isAddition = true;
    AudioObjectID object = kAudioObjectUnknown;
    AudioObjectPropertySelector selector = 0;
    dispatch::Seconds time = 0;

    bool operator==(const ListenerCall&) const = default;
};

class ListenerCallRecorder final : public AudioHardwareService {
public:
    explicit ListenerCallRecorder(std::shared_ptr<AudioHardwareService> server) : server_(std::move(server)) {}

    [[nodiscard]] std::vector<ListenerCall> calls() const {
        const std::lock_guard lock(mutex_);
        return calls_;
    }
    void clear() {
        const std::lock_guard lock(mutex_);
        calls_.clear();
    }
    [[nodiscard]] std::size_t count(bool isAddition, AudioObjectPropertySelector selector) const {
        const std::lock_guard lock(mutex_);
        return static_cast<std::size_t>(std::count_if(calls_.begin(), calls_.end(), [&](const ListenerCall& call) {
            return call.isAddition == isAddition && call.selector == selector;
        }));
    }

    Boolean hasProperty(AudioObjectID object, const AudioObjectPropertyAddress& address) override {
        return server_->hasProperty(object, address);
    }
    OSStatus getPropertyDataSize(AudioObjectID object, const AudioObjectPropertyAddress& address,
                                 UInt32& outDataSize) override {
        return server_->getPropertyDataSize(object, address, outDataSize);
    }
    OSStatus getPropertyData(AudioObjectID object, const AudioObjectPropertyAddress& address, UInt32& ioDataSize,
                             void* outData) override {
        return server_->getPropertyData(object, address, ioDataSize, outData);
    }
    OSStatus setPropertyData(AudioObjectID object, const AudioObjectPropertyAddress& address, UInt32 dataSize,
                             const void* data) override {
        return server_->setPropertyData(object, address, dataSize, data);
    }
    OSStatus addPropertyListenerBlock(AudioObjectID object, const AudioObjectPropertyAddress& address,
                                      dispatch::QueuePtr queue, AudioObjectPropertyListenerBlock listener) override {
        record(true, object, address);
        return server_->addPropertyListenerBlock(object, address, std::move(queue), std::move(listener));
    }
    OSStatus removePropertyListenerBlock(AudioObjectID object, const AudioObjectPropertyAddress& address,
                                         dispatch::QueuePtr queue,
                                         const AudioObjectPropertyListenerBlock& listener) override {
        record(false, object, address);
        return server_->removePropertyListenerBlock(object, address, std::move(queue), listener);
    }
    OSStatus createProcessTap(const CATapDescription& description, AudioObjectID& outTapID) override {
        return server_->createProcessTap(description, outTapID);
    }
    OSStatus destroyProcessTap(AudioObjectID tapID) override { return server_->destroyProcessTap(tapID); }
    OSStatus createAggregateDevice(CFDictionaryRef description, AudioObjectID& outDeviceID) override {
        return server_->createAggregateDevice(description, outDeviceID);
    }
    OSStatus destroyAggregateDevice(AudioObjectID deviceID) override {
        return server_->destroyAggregateDevice(deviceID);
    }
    OSStatus createIOProcID(AudioObjectID device, AudioDeviceIOProc proc, void* clientData,
                            AudioDeviceIOProcID& outProcID) override {
        return server_->createIOProcID(device, proc, clientData, outProcID);
    }
    OSStatus destroyIOProcID(AudioObjectID device, AudioDeviceIOProcID procID) override {
        return server_->destroyIOProcID(device, procID);
    }
    OSStatus startDevice(AudioObjectID device, AudioDeviceIOProcID procID) override {
        return server_->startDevice(device, procID);
    }
    OSStatus stopDevice(AudioObjectID device, AudioDeviceIOProcID procID) override {
        return server_->stopDevice(device, procID);
    }

private:
    void record(bool isAddition, AudioObjectID object, const AudioObjectPropertyAddress& address) {
        const std::lock_guard lock(mutex_);
        calls_.push_back({isAddition, object, address.mSelector, dispatch::now()});
    }

    const std::shared_ptr<AudioHardwareService> server_;
    mutable std::mutex mutex_;
    std::vector<ListenerCall> calls_;
};

}  // namespace tonvale::testing
