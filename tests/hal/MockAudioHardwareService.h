// A gmock audio server for checking the exact property calls the readers make (sizes,
// call counts, short answers) that a faithful simulated server never produces. Installed
// for the life of the fixture that owns it.
#pragma once

#include <gmock/gmock.h>

#include <memory>

#include "platform/coreaudio/CoreAudio.h"

namespace tonvale::testing {

class MockAudioHardwareService : public AudioHardwareService {
public:
    MOCK_METHOD(Boolean, hasProperty, (AudioObjectID, const AudioObjectPropertyAddress&), (override));
    MOCK_METHOD(OSStatus, getPropertyDataSize, (AudioObjectID, const AudioObjectPropertyAddress&, UInt32&),
                (override));
    MOCK_METHOD(OSStatus, getPropertyData, (AudioObjectID, const AudioObjectPropertyAddress&, UInt32&, void*),
                (override));
    MOCK_METHOD(OSStatus, setPropertyData, (AudioObjectID, const AudioObjectPropertyAddress&, UInt32, const void*),
                (override));
    MOCK_METHOD(OSStatus, addPropertyListenerBlock,
                (AudioObjectID, const AudioObjectPropertyAddress&, dispatch::QueuePtr, AudioObjectPropertyListenerBlock),
                (override));
    MOCK_METHOD(OSStatus, removePropertyListenerBlock,
                (AudioObjectID, const AudioObjectPropertyAddress&, dispatch::QueuePtr,
                 const AudioObjectPropertyListenerBlock&),
                (override));
    MOCK_METHOD(OSStatus, createProcessTap, (const CATapDescription&, AudioObjectID&), (override));
    MOCK_METHOD(OSStatus, destroyProcessTap, (AudioObjectID), (override));
    MOCK_METHOD(OSStatus, createAggregateDevice, (CFDictionaryRef, AudioObjectID&), (override));
    MOCK_METHOD(OSStatus, destroyAggregateDevice, (AudioObjectID), (override));
    MOCK_METHOD(OSStatus, createIOProcID, (AudioObjectID, AudioDeviceIOProc, void*, AudioDeviceIOProcID&),
                (override));
    MOCK_METHOD(OSStatus, destroyIOProcID, (AudioObjectID, AudioDeviceIOProcID), (override));
    MOCK_METHOD(OSStatus, startDevice, (AudioObjectID, AudioDeviceIOProcID), (override));
    MOCK_METHOD(OSStatus, stopDevice, (AudioObjectID, AudioDeviceIOProcID), (override));
};

// Installs a strict mock as the audio server and removes it again.
class InstalledMockService {
public:
    InstalledMockService() { AudioHardwareInstallService(service_); }
    ~InstalledMockService() { AudioHardwareInstallService(nullptr); }
    InstalledMockService(const InstalledMockService&) = delete;
    InstalledMockService& operator=(const InstalledMockService&) = delete;

    ::testing::StrictMock<MockAudioHardwareService>& operator*() { return *service_; }

private:
    std::shared_ptr<::testing::StrictMock<MockAudioHardwareService>> service_ =
        std::make_shared<::testing::StrictMock<MockAudioHardwareService>>();
};

}  // namespace tonvale::testing
