// The audio hardware layer's functions, with the platform's names and signatures:
// property access and listeners, process taps, aggregate devices, IO procedures
// and the host clock.
//
// Every call is answered by the installed AudioHardwareService (the simulated
// audio server). Listener blocks run on the queue given at registration; IO
// procedures run on the device's IO thread.
// Thread-safety: every function may be called from any thread.
#pragma once

#include "platform/coreaudio/AudioHardwareService.h"
#include "platform/coreaudio/CATapDescription.h"
#include "platform/coreaudio/CoreAudioTypes.h"
#include "platform/coreaudio/CoreFoundation.h"
#include "platform/dispatch/Dispatch.h"

// Keys of an aggregate device description and of its composition.
inline constexpr const char* kAudioAggregateDeviceNameKey = "name";
inline constexpr const char* kAudioAggregateDeviceUIDKey = "uid";
inline constexpr const char* kAudioAggregateDeviceMainSubDeviceKey = "master";
inline constexpr const char* kAudioAggregateDeviceClockDeviceKey = "clock";
inline constexpr const char* kAudioAggregateDeviceIsPrivateKey = "private";
inline constexpr const char* kAudioAggregateDeviceIsStackedKey = "stacked";
inline constexpr const char* kAudioAggregateDeviceTapAutoStartKey = "tapautostart";
inline constexpr const char* kAudioAggregateDeviceSubDeviceListKey = "subdevices";
inline constexpr const char* kAudioAggregateDeviceTapListKey = "taps";
inline constexpr const char* kAudioSubDeviceUIDKey = "uid";
inline constexpr const char* kAudioSubDeviceNameKey = "name";
inline constexpr const char* kAudioSubDeviceInputChannelsKey = "channels-in";
inline constexpr const char* kAudioSubDeviceOutputChannelsKey = "channels-out";
inline constexpr const char* kAudioSubDeviceExtraInputLatencyKey = "latency-in";
inline constexpr const char* kAudioSubDeviceExtraOutputLatencyKey = "latency-out";
inline constexpr const char* kAudioSubDeviceDriftCompensationKey = "drift";
inline constexpr const char* kAudioSubDeviceDriftCompensationQualityKey = "drift quality";
inline constexpr const char* kAudioSubTapUIDKey = "uid";
inline constexpr const char* kAudioSubTapDriftCompensationKey = "drift";
inline constexpr const char* kAudioSubTapDriftCompensationQualityKey = "drift quality";

Boolean AudioObjectHasProperty(AudioObjectID inObjectID, const AudioObjectPropertyAddress* inAddress);
OSStatus AudioObjectGetPropertyDataSize(AudioObjectID inObjectID, const AudioObjectPropertyAddress* inAddress,
                                        UInt32 inQualifierDataSize, const void* inQualifierData, UInt32* outDataSize);
OSStatus AudioObjectGetPropertyData(AudioObjectID inObjectID, const AudioObjectPropertyAddress* inAddress,
                                    UInt32 inQualifierDataSize, const void* inQualifierData, UInt32* ioDataSize,
                                    void* outData);
OSStatus AudioObjectSetPropertyData(AudioObjectID inObjectID, const AudioObjectPropertyAddress* inAddress,
                                    UInt32 inQualifierDataSize, const void* inQualifierData, UInt32 inDataSize,
                                    const void* inData);
OSStatus AudioObjectAddPropertyListenerBlock(AudioObjectID inObjectID, const AudioObjectPropertyAddress* inAddress,
                                             dispatch::QueuePtr inDispatchQueue,
                                             AudioObjectPropertyListenerBlock inListener);
OSStatus AudioObjectRemovePropertyListenerBlock(AudioObjectID inObjectID, const AudioObjectPropertyAddress* inAddress,
                                                dispatch::QueuePtr inDispatchQueue,
                                                AudioObjectPropertyListenerBlock inListener);

OSStatus AudioHardwareCreateProcessTap(CATapDescription* inDescription, AudioObjectID* outTapID);
OSStatus AudioHardwareDestroyProcessTap(AudioObjectID inTapID);
OSStatus AudioHardwareCreateAggregateDevice(CFDictionaryRef inDescription, AudioObjectID* outDeviceID);
OSStatus AudioHardwareDestroyAggregateDevice(AudioObjectID inDeviceID);

OSStatus AudioDeviceCreateIOProcID(AudioObjectID inDevice, AudioDeviceIOProc inProc, void* inClientData,
                                   AudioDeviceIOProcID* outIOProcID);
OSStatus AudioDeviceDestroyIOProcID(AudioObjectID inDevice, AudioDeviceIOProcID inIOProcID);
OSStatus AudioDeviceStart(AudioObjectID inDevice, AudioDeviceIOProcID inProcID);
OSStatus AudioDeviceStop(AudioObjectID inDevice, AudioDeviceIOProcID inProcID);

// The host clock in nanoseconds (one host tick is one nanosecond here). Realtime-safe.
UInt64 AudioGetCurrentHostTime() noexcept;
UInt64 AudioConvertHostTimeToNanos(UInt64 inHostTime) noexcept;
UInt64 AudioConvertNanosToHostTime(UInt64 inNanos) noexcept;
