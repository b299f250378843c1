// A base for test audio servers that change a few calls and keep the rest: every call
// goes on to the wrapped server, or, without one, is refused as unsupported. A test
// installs its subclass in place of the server for as long as it needs it.
// Thread-safety: as the wrapped server; subclasses say what they add.
#pragma once

#include <memory>
#include <utility>

#include "platform/coreaudio/CoreAudio.h"

namespace tonvale::testing {

class ForwardingService : public AudioHardwareService {
public:
    explicit ForwardingService(std::shared_ptr<AudioHardwareService> inner = nullptr) : inner_(std::move(inner)) {}

    Boolean hasProperty(AudioObjectID object, const AudioObjectPropertyAddress& address) override {
        return inner_ ? inner_->hasProperty(object, address) : 0;
    }
    OSStatus getPropertyDataSize(AudioObjectID object, const AudioObjectPropertyAddress& address,
                                 UInt32& outDataSize) override {
        return inner_ ? inner_->getPropertyDataSize(object, address, outDataSize) : kRefused;
    }
    OSStatus getPropertyData(AudioObjectID object, const AudioObjectPropertyAddress& address, UInt32& ioDataSize,
                             void* outData) override {
        return inner_ ? inner_->getPropertyData(object, address, ioDataSize, outData) : kRefused;
    }
    OSStatus setPropertyData(AudioObjectID object, const AudioObjectPropertyAddress& address, UInt32 dataSize,
                             const void* data) override {
        return inner_ ? inner_->setPropertyData(object, address, dataSize, data) : kRefused;
    }
    OSStatus addPropertyListenerBlock(AudioObjectID object, const AudioObjectPropertyAddress& address,
                                      dispatch::QueuePtr queue, AudioObjectPropertyListenerBlock listener) override {
        return inner_ ? inner_->addPropertyListenerBlock(object, address, std::move(queue), std::move(listener))
                      : kRefused;
    }
    OSStatus removePropertyListenerBlock(AudioObjectID object, const AudioObjectPropertyAddress& address,
                                         dispatch::QueuePtr queue,
                                         const AudioObjectPropertyListenerBlock& listener) override {
        return inner_ ? inner_->removePropertyListenerBlock(object, address, std::move(queue), listener) : kRefused;
    }
    OSStatus createProcessTap(const CATapDescription& description, AudioObjectID& outTapID) override {
        return inner_ ? inner_->createProcessTap(description, outTapID) : kRefused;
    }
    OSStatus destroyProcessTap(AudioObjectID tapID) override {
        return inner_ ? inner_->destroyProcessTap(tapID) : kRefused;
    }
    OSStatus createAggregateDevice(CFDictionaryRef description, AudioObjectID& outDeviceID) override {
        return inner_ ? inner_->createAggregateDevice(description, outDeviceID) : kRefused;
    }
    OSStatus destroyAggregateDevice(AudioObjectID deviceID) override {
        return inner_ ? inner_->destroyAggregateDevice(deviceID) : kRefused;
    }
    OSStatus createIOProcID(AudioObjectID device, AudioDeviceIOProc proc, void* clientData,
                            AudioDeviceIOProcID& outProcID) override {
        return inner_ ? inner_->createIOProcID(device, proc, clientData, outProcID) : kRefused;
    }
    OSStatus destroyIOProcID(AudioObjectID device, AudioDeviceIOProcID procID) override {
        return inner_ ? inner_->destroyIOProcID(device, procID) : kRefused;
    }
    OSStatus startDevice(AudioObjectID device, AudioDeviceIOProcID procID) override {
        return inner_ ? inner_->startDevice(device, procID) : kRefused;
    }
    OSStatus stopDevice(AudioObjectID device, AudioDeviceIOProcID procID) override {
        return inner_ ? inner_->stopDevice(device, procID) : kRefused;
    }

private:
    static constexpr OSStatus kRefused = kAudioHardwareUnsupportedOperationError;
    const std::shared_ptr<AudioHardwareService> inner_;
};

}  // namespace tonvale::testing
