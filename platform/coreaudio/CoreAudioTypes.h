// Core Audio's scalar types, structures and constants, with the platform's names,
// layouts and four-character codes.
//
// Plain declarations shared by every caller of the audio layer and by the
// simulated server that answers it; nothing here owns state.
// Thread-safety: types and constants; usable from any thread, the realtime one included.
#pragma once

#include <cstddef>
#include <cstdint>

using UInt8 = std::uint8_t;
using SInt16 = std::int16_t;
using UInt16 = std::uint16_t;
using SInt32 = std::int32_t;
using UInt32 = std::uint32_t;
using SInt64 = std::int64_t;
using UInt64 = std::uint64_t;
using Float32 = float;
using Float64 = double;
using Boolean = unsigned char;
using OSStatus = SInt32;

using AudioObjectID = UInt32;
using AudioClassID = UInt32;
using AudioObjectPropertySelector = UInt32;
using AudioObjectPropertyScope = UInt32;
using AudioObjectPropertyElement = UInt32;
using AudioFormatID = UInt32;
using AudioFormatFlags = UInt32;

struct AudioObjectPropertyAddress {
    AudioObjectPropertySelector mSelector;
    AudioObjectPropertyScope mScope;
    AudioObjectPropertyElement mElement;
    bool operator==(const AudioObjectPropertyAddress&) const = default;
};

struct AudioStreamBasicDescription {
    Float64 mSampleRate;
    AudioFormatID mFormatID;
    AudioFormatFlags mFormatFlags;
    UInt32 mBytesPerPacket;
    UInt32 mFramesPerPacket;
    UInt32 mBytesPerFrame;
    UInt32 mChannelsPerFrame;
    UInt32 mBitsPerChannel;
    UInt32 mReserved;
    bool operator==(const AudioStreamBasicDescription&) const = default;
};
static_assert(sizeof(AudioStreamBasicDescription) == 40, "the platform's stream description is 40 bytes");

struct AudioBuffer {
    UInt32 mNumberChannels;
    UInt32 mDataByteSize;
    void* mData;
};

// Variable length, as on the platform: mNumberBuffers buffers follow in one block.
struct AudioBufferList {
    UInt32 mNumberBuffers;
    AudioBuffer mBuffers[1];
};

// Bytes needed for a buffer list holding the given number of buffers.
constexpr std::size_t audioBufferListSize(UInt32 numberBuffers) {
    return offsetof(AudioBufferList, mBuffers) + sizeof(AudioBuffer) * (numberBuffers == 0 ? 1 : numberBuffers);
}

struct SMPTETime {
    SInt16 mSubframes;
    SInt16 mSubframeDivisor;
    UInt32 mCounter;
    UInt32 mType;
    UInt32 mFlags;
    SInt16 mHours;
    SInt16 mMinutes;
    SInt16 mSeconds;
    SInt16 mFrames;
};

struct AudioTimeStamp {
    Float64 mSampleTime;
    UInt64 mHostTime;
    Float64 mRateScalar;
    UInt64 mWordClockTime;
    SMPTETime mSMPTETime;
    UInt32 mFlags;
    UInt32 mReserved;
};

constexpr UInt32 kAudioTimeStampSampleTimeValid = 1U << 0;
constexpr UInt32 kAudioTimeStampHostTimeValid = 1U << 1;
constexpr UInt32 kAudioTimeStampRateScalarValid = 1U << 2;

// The IO procedure of a device; the identifier of an installed procedure has the same type.
using AudioDeviceIOProc = OSStatus (*)(AudioObjectID inDevice, const AudioTimeStamp* inNow,
                                       const AudioBufferList* inInputData, const AudioTimeStamp* inInputTime,
                                       AudioBufferList* outOutputData, const AudioTimeStamp* inOutputTime,
                                       void* inClientData);
using AudioDeviceIOProcID = AudioDeviceIOProc;

// Four-character codes, most significant byte first, as the platform spells them.
constexpr UInt32 fourCharCode(const char (&code)[5]) {
    return (static_cast<UInt32>(static_cast<unsigned char>(code[0])) << 24) |
           (static_cast<UInt32>(static_cast<unsigned char>(code[1])) << 16) |
           (static_cast<UInt32>(static_cast<unsigned char>(code[2])) << 8) |
           static_cast<UInt32>(static_cast<unsigned char>(code[3]));
}

// Objects, scopes and elements.
constexpr AudioObjectID kAudioObjectUnknown = 0;
constexpr AudioObjectID kAudioObjectSystemObject = 1;
constexpr AudioObjectPropertyScope kAudioObjectPropertyScopeGlobal = fourCharCode("glob");
constexpr AudioObjectPropertyScope kAudioObjectPropertyScopeInput = fourCharCode("inpt");
constexpr AudioObjectPropertyScope kAudioObjectPropertyScopeOutput = fourCharCode("outp");
constexpr AudioObjectPropertyScope kAudioObjectPropertyScopeWildcard = fourCharCode("****");
constexpr AudioObjectPropertyElement kAudioObjectPropertyElementMain = 0;
constexpr AudioObjectPropertyElement kAudioObjectPropertyElementWildcard = 0xFFFFFFFFU;
constexpr AudioObjectPropertySelector kAudioObjectPropertySelectorWildcard = fourCharCode("****");

// System object properties.
constexpr AudioObjectPropertySelector kAudioHardwarePropertyDevices = fourCharCode("dev#");
constexpr AudioObjectPropertySelector kAudioHardwarePropertyDefaultOutputDevice = fourCharCode("dOut");
constexpr AudioObjectPropertySelector kAudioHardwarePropertyDefaultInputDevice = fourCharCode("dIn ");
constexpr AudioObjectPropertySelector kAudioHardwarePropertyProcessObjectList = fourCharCode("prs#");
constexpr AudioObjectPropertySelector kAudioHardwarePropertyTapList = fourCharCode("tps#");
constexpr AudioObjectPropertySelector kAudioHardwarePropertyServiceRestarted = fourCharCode("srst");

// Object, device and stream properties.
constexpr AudioObjectPropertySelector kAudioObjectPropertyClass = fourCharCode("clas");
constexpr AudioObjectPropertySelector kAudioObjectPropertyName = fourCharCode("lnam");
constexpr AudioObjectPropertySelector kAudioDevicePropertyDeviceUID = fourCharCode("uid ");
constexpr AudioObjectPropertySelector kAudioDevicePropertyTransportType = fourCharCode("tran");
constexpr AudioObjectPropertySelector kAudioDevicePropertyDeviceIsAlive = fourCharCode("livn");
constexpr AudioObjectPropertySelector kAudioDevicePropertyDeviceIsRunning = fourCharCode("goin");
constexpr AudioObjectPropertySelector kAudioDevicePropertyStreams = fourCharCode("stm#");
constexpr AudioObjectPropertySelector kAudioDevicePropertyNominalSampleRate = fourCharCode("nsrt");
constexpr AudioObjectPropertySelector kAudioDevicePropertyBufferFrameSize = fourCharCode("fsiz");
constexpr AudioObjectPropertySelector kAudioStreamPropertyVirtualFormat = fourCharCode("sfmt");
constexpr AudioObjectPropertySelector kAudioStreamPropertyPhysicalFormat = fourCharCode("pft ");
constexpr AudioObjectPropertySelector kAudioStreamPropertyDirection = fourCharCode("sdir");
constexpr AudioObjectPropertySelector kAudioAggregateDevicePropertyComposition = fourCharCode("acom");
constexpr AudioObjectPropertySelector kAudioProcessPropertyPID = fourCharCode("ppid");
constexpr AudioObjectPropertySelector kAudioProcessPropertyBundleID = fourCharCode("pbid");
constexpr AudioObjectPropertySelector kAudioProcessPropertyIsRunning = fourCharCode("pir?");
constexpr AudioObjectPropertySelector kAudioProcessPropertyIsRunningInput = fourCharCode("piri");
constexpr AudioObjectPropertySelector kAudioProcessPropertyIsRunningOutput = fourCharCode("piro");
constexpr AudioObjectPropertySelector kAudioProcessPropertyDevices = fourCharCode("pdv#");
constexpr AudioObjectPropertySelector kAudioTapPropertyUID = fourCharCode("tuid");
constexpr AudioObjectPropertySelector kAudioTapPropertyFormat = fourCharCode("tfmt");

// Object classes (answers of kAudioObjectPropertyClass).
constexpr AudioClassID kAudioSystemObjectClassID = fourCharCode("asys");
constexpr AudioClassID kAudioDeviceClassID = fourCharCode("adev");
constexpr AudioClassID kAudioAggregateDeviceClassID = fourCharCode("aagg");
constexpr AudioClassID kAudioStreamClassID = fourCharCode("astr");
constexpr AudioClassID kAudioProcessClassID = fourCharCode("clnt");
constexpr AudioClassID kAudioTapClassID = fourCharCode("tcls");

// Transport types.
constexpr UInt32 kAudioDeviceTransportTypeUnknown = 0;
constexpr UInt32 kAudioDeviceTransportTypeBuiltIn = fourCharCode("bltn");
constexpr UInt32 kAudioDeviceTransportTypeAggregate = fourCharCode("grup");
constexpr UInt32 kAudioDeviceTransportTypeVirtual = fourCharCode("virt");
constexpr UInt32 kAudioDeviceTransportTypePCI = fourCharCode("pci ");
constexpr UInt32 kAudioDeviceTransportTypeUSB = fourCharCode("usb ");
constexpr UInt32 kAudioDeviceTransportTypeFireWire = fourCharCode("1394");
constexpr UInt32 kAudioDeviceTransportTypeBluetooth = fourCharCode("blue");
constexpr UInt32 kAudioDeviceTransportTypeBluetoothLE = fourCharCode("blea");
constexpr UInt32 kAudioDeviceTransportTypeHDMI = fourCharCode("hdmi");
constexpr UInt32 kAudioDeviceTransportTypeDisplayPort = fourCharCode("dprt");
constexpr UInt32 kAudioDeviceTransportTypeAirPlay = fourCharCode("airp");
constexpr UInt32 kAudioDeviceTransportTypeAVB = fourCharCode("eavb");
constexpr UInt32 kAudioDeviceTransportTypeThunderbolt = fourCharCode("thun");

// Formats.
constexpr AudioFormatID kAudioFormatLinearPCM = fourCharCode("lpcm");
constexpr AudioFormatFlags kAudioFormatFlagIsFloat = 1U << 0;
constexpr AudioFormatFlags kAudioFormatFlagIsBigEndian = 1U << 1;
constexpr AudioFormatFlags kAudioFormatFlagIsSignedInteger = 1U << 2;
constexpr AudioFormatFlags kAudioFormatFlagIsPacked = 1U << 3;
constexpr AudioFormatFlags kAudioFormatFlagIsAlignedHigh = 1U << 4;
constexpr AudioFormatFlags kAudioFormatFlagIsNonInterleaved = 1U << 5;
constexpr AudioFormatFlags kAudioFormatFlagIsNonMixable = 1U << 6;
constexpr AudioFormatFlags kAudioFormatFlagsNativeFloatPacked = kAudioFormatFlagIsFloat | kAudioFormatFlagIsPacked;

// Statuses.
constexpr OSStatus kAudioHardwareNoError = 0;
constexpr OSStatus kAudioHardwareNotRunningError = static_cast<OSStatus>(fourCharCode("stop"));
constexpr OSStatus kAudioHardwareUnspecifiedError = static_cast<OSStatus>(fourCharCode("what"));
constexpr OSStatus kAudioHardwareUnknownPropertyError = static_cast<OSStatus>(fourCharCode("who?"));
constexpr OSStatus kAudioHardwareBadPropertySizeError = static_cast<OSStatus>(fourCharCode("!siz"));
constexpr OSStatus kAudioHardwareIllegalOperationError = static_cast<OSStatus>(fourCharCode("nope"));
constexpr OSStatus kAudioHardwareBadObjectError = static_cast<OSStatus>(fourCharCode("!obj"));
constexpr OSStatus kAudioHardwareBadDeviceError = static_cast<OSStatus>(fourCharCode("!dev"));
constexpr OSStatus kAudioHardwareBadStreamError = static_cast<OSStatus>(fourCharCode("!str"));
constexpr OSStatus kAudioHardwareUnsupportedOperationError = static_cast<OSStatus>(fourCharCode("unop"));
constexpr OSStatus kAudioDeviceUnsupportedFormatError = static_cast<OSStatus>(fourCharCode("!dat"));
constexpr OSStatus kAudioDevicePermissionsError = static_cast<OSStatus>(fourCharCode("!hog"));
constexpr OSStatus kAudioHardwarePermissionDeniedError = static_cast<OSStatus>(fourCharCode("perm"));
constexpr OSStatus kAudio_ParamError = -50;
