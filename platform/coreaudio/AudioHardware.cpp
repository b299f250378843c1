#include "platform/coreaudio/AudioHardware.h"

#include <mutex>
#include <utility>

namespace {

std::mutex serviceMutex;
std::weak_ptr<AudioHardwareService> installedService;

}  // namespace

void AudioHardwareInstallService(const std::shared_ptr<AudioHardwareService>& service) {
    std::lock_guard lock(serviceMutex);
    installedService = service;
}

std::shared_ptr<AudioHardwareService> AudioHardwareInstalledService() {
    std::lock_guard lock(serviceMutex);
    return installedService.lock();
}

Boolean AudioObjectHasProperty(AudioObjectID inObjectID, const AudioObjectPropertyAddress* inAddress) {
    auto service = AudioHardwareInstalledService();
    if (!service || inAddress == nullptr) {
        return 0;
    }
    return service->hasProperty(inObjectID, *inAddress);
}

OSStatus AudioObjectGetPropertyDataSize(AudioObjectID inObjectID, const AudioObjectPropertyAddress* inAddress, UInt32,
                                        const void*, UInt32* outDataSize) {
    if (inAddress == nullptr || outDataSize == nullptr) {
        return kAudioHardwareIllegalOperationError;
    }
    auto service = AudioHardwareInstalledService();
    if (!service) {
        return kAudioHardwareNotRunningError;
    }
    return service->getPropertyDataSize(inObjectID, *inAddress, *outDataSize);
}

OSStatus AudioObjectGetPropertyData(AudioObjectID inObjectID, const AudioObjectPropertyAddress* inAddress, UInt32,
                                    const void*, UInt32* ioDataSize, void* outData) {
    if (inAddress == nullptr || ioDataSize == nullptr || outData == nullptr) {
        return kAudioHardwareIllegalOperationError;
    }
    auto service = AudioHardwareInstalledService();
    if (!service) {
        return kAudioHardwareNotRunningError;
    }
    return service->getPropertyData(inObjectID, *inAddress, *ioDataSize, outData);
}

OSStatus AudioObjectSetPropertyData(AudioObjectID inObjectID, const AudioObjectPropertyAddress* inAddress, UInt32,
                                    const void*, UInt32 inDataSize, const void* inData) {
    if (inAddress == nullptr || inData == nullptr) {
        return kAudioHardwareIllegalOperationError;
    }
    auto service = AudioHardwareInstalledService();
    if (!service) {
        return kAudioHardwareNotRunningError;
    }
    return service->setPropertyData(inObjectID, *inAddress, inDataSize, inData);
}

OSStatus AudioObjectAddPropertyListenerBlock(AudioObjectID inObjectID, const AudioObjectPropertyAddress* inAddress,
                                             dispatch::QueuePtr inDispatchQueue,
                                             AudioObjectPropertyListenerBlock inListener) {
    if (inAddress == nullptr || !inListener || !*inListener) {
        return kAudio_ParamError;
    }
    auto service = AudioHardwareInstalledService();
    if (!service) {
        return kAudioHardwareNotRunningError;
    }
    return service->addPropertyListenerBlock(inObjectID, *inAddress, std::move(inDispatchQueue), std::move(inListener));
}

OSStatus AudioObjectRemovePropertyListenerBlock(AudioObjectID inObjectID, const AudioObjectPropertyAddress* inAddress,
                                                dispatch::QueuePtr inDispatchQueue,
                                                AudioObjectPropertyListenerBlock inListener) {
    if (inAddress == nullptr || !inListener) {
        return kAudio_ParamError;
    }
    auto service = AudioHardwareInstalledService();
    if (!service) {
        return kAudioHardwareNotRunningError;
    }
    return service->removePropertyListenerBlock(inObjectID, *inAddress, std::move(inDispatchQueue), inListener);
}

OSStatus AudioHardwareCreateProcessTap(CATapDescription* inDescription, AudioObjectID* outTapID) {
    if (inDescription == nullptr || outTapID == nullptr) {
        return kAudio_ParamError;
    }
    auto service = AudioHardwareInstalledService();
    if (!service) {
        return kAudioHardwareNotRunningError;
    }
    return service->createProcessTap(*inDescription, *outTapID);
}

OSStatus AudioHardwareDestroyProcessTap(AudioObjectID inTapID) {
    auto service = AudioHardwareInstalledService();
    if (!service) {
        return kAudioHardwareNotRunningError;
    }
    return service->destroyProcessTap(inTapID);
}

OSStatus AudioHardwareCreateAggregateDevice(CFDictionaryRef inDescription, AudioObjectID* outDeviceID) {
    if (inDescription == nullptr || outDeviceID == nullptr) {
        return kAudio_ParamError;
    }
    auto service = AudioHardwareInstalledService();
    if (!service) {
        return kAudioHardwareNotRunningError;
    }
    return service->createAggregateDevice(inDescription, *outDeviceID);
}

OSStatus AudioHardwareDestroyAggregateDevice(AudioObjectID inDeviceID) {
    auto service = AudioHardwareInstalledService();
    if (!service) {
        return kAudioHardwareNotRunningError;
    }
    return service->destroyAggregateDevice(inDeviceID);
}

OSStatus AudioDeviceCreateIOProcID(AudioObjectID inDevice, AudioDeviceIOProc inProc, void* inClientData,
                                   AudioDeviceIOProcID* outIOProcID) {
    if (inProc == nullptr || outIOProcID == nullptr) {
        return kAudio_ParamError;
    }
    auto service = AudioHardwareInstalledService();
    if (!service) {
        return kAudioHardwareNotRunningError;
    }
    return service->createIOProcID(inDevice, inProc, inClientData, *outIOProcID);
}

OSStatus AudioDeviceDestroyIOProcID(AudioObjectID inDevice, AudioDeviceIOProcID inIOProcID) {
    auto service = AudioHardwareInstalledService();
    if (!service) {
        return kAudioHardwareNotRunningError;
    }
    return service->destroyIOProcID(inDevice, inIOProcID);
}

OSStatus AudioDeviceStart(AudioObjectID inDevice, AudioDeviceIOProcID inProcID) {
    auto service = AudioHardwareInstalledService();
    if (!service) {
        return kAudioHardwareNotRunningError;
    }
    return service->startDevice(inDevice, inProcID);
}

OSStatus AudioDeviceStop(AudioObjectID inDevice, AudioDeviceIOProcID inProcID) {
    auto service = AudioHardwareInstalledService();
    if (!service) {
        return kAudioHardwareNotRunningError;
    }
    return service->stopDevice(inDevice, inProcID);
}

UInt64 AudioGetCurrentHostTime() noexcept { return dispatch::hostTimeNanoseconds(); }
UInt64 AudioConvertHostTimeToNanos(UInt64 inHostTime) noexcept { return inHostTime; }
UInt64 AudioConvertNanosToHostTime(UInt64 inNanos) noexcept { return inNanos; }
