// A gmock audio server for checking the exact property reads the readers make (sizes,
// call counts, short answers) that a faithful simulated server never produces; every
// other call is refused. Installed for the life of the fixture that owns it.
#pragma once

#include <gmock/gmock.h>

#include <memory>

#include "tests/platform/coreaudio/ForwardingService.h"

namespace tonvale::testing {

class MockAudioHardwareService : public ForwardingService {
public:
    MOCK_METHOD(OSStatus, getPropertyDataSize, (AudioObjectID, const AudioObjectPropertyAddress&, UInt32&), (override));
    MOCK_METHOD(OSStatus, getPropertyData, (AudioObjectID, const AudioObjectPropertyAddress&, UInt32&, void*),
                (override));
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
