// The server behind the audio layer's functions: whatever answers them implements
// this interface and installs itself (the simulated audio server does).
//
// The installed service is held weakly: the functions answer
// kAudioHardwareNotRunningError while none is installed or after it is gone.
// Thread-safety: install and the functions may be called from any thread; an
// implementation must accept calls from any thread.
#pragma once

#include "platform/coreaudio/CATapDescription.h"
#include "platform/coreaudio/CoreAudioTypes.h"
#include "platform/coreaudio/CoreFoundation.h"
#include "platform/dispatch/Dispatch.h"

#include <functional>
#include <memory>

using AudioObjectPropertyListenerBlock =
    std::shared_ptr<const std::function<void(UInt32 inNumberAddresses, const AudioObjectPropertyAddress* inAddresses)>>;

class AudioHardwareService {
public:
    virtual ~AudioHardwareService() = default;

    virtual Boolean hasProperty(AudioObjectID object, const AudioObjectPropertyAddress& address) = 0;
    virtual OSStatus getPropertyDataSize(AudioObjectID object, const AudioObjectPropertyAddress& address,
                                         UInt32& outDataSize) = 0;
    virtual OSStatus getPropertyData(AudioObjectID object, const AudioObjectPropertyAddress& address,
                                     UInt32& ioDataSize, void* outData) = 0;
    virtual OSStatus setPropertyData(AudioObjectID object, const AudioObjectPropertyAddress& address, UInt32 dataSize,
                                     const void* data) = 0;
    virtual OSStatus addPropertyListenerBlock(AudioObjectID object, const AudioObjectPropertyAddress& address,
                                              dispatch::QueuePtr queue, AudioObjectPropertyListenerBlock listener) = 0;
    virtual OSStatus removePropertyListenerBlock(AudioObjectID object, const AudioObjectPropertyAddress& address,
                                                 dispatch::QueuePtr queue,
                                                 const AudioObjectPropertyListenerBlock& listener) = 0;
    virtual OSStatus createProcessTap(const CATapDescription& description, AudioObjectID& outTapID) = 0;
    virtual OSStatus destroyProcessTap(AudioObjectID tapID) = 0;
    virtual OSStatus createAggregateDevice(CFDictionaryRef description, AudioObjectID& outDeviceID) = 0;
    virtual OSStatus destroyAggregateDevice(AudioObjectID deviceID) = 0;
    virtual OSStatus createIOProcID(AudioObjectID device, AudioDeviceIOProc proc, void* clientData,
                                    AudioDeviceIOProcID& outProcID) = 0;
    virtual OSStatus destroyIOProcID(AudioObjectID device, AudioDeviceIOProcID procID) = 0;
    virtual OSStatus startDevice(AudioObjectID device, AudioDeviceIOProcID procID) = 0;
    virtual OSStatus stopDevice(AudioObjectID device, AudioDeviceIOProcID procID) = 0;
};

// Makes service the one that answers the audio layer's functions (nullptr: none).
void AudioHardwareInstallService(const std::shared_ptr<AudioHardwareService>& service);
// The installed service, if it is still alive.
[[nodiscard]] std::shared_ptr<AudioHardwareService> AudioHardwareInstalledService();
