// The property readers against a mock server's exact answers: short and oversized lists,
// untouched or mistyped values. The texts of failed reads, a selector's and a status's print
// included, are met where they reach the user: the diagnostics, the route's start and validation.
#include "hal/AudioPropertyReaders.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>

#include "tests/hal/MockAudioHardwareService.h"

namespace tonvale {
namespace {

using ::testing::_;
using ::testing::DoAll;
using ::testing::Invoke;
using ::testing::Return;
using ::testing::SetArgReferee;

constexpr AudioObjectID kDevice = 42;

// Answers a property read by writing `value` and reporting `bytes` as the size written.
template <typename Value>
auto answer(Value value, UInt32 bytes = sizeof(Value)) {
    return [value, bytes](AudioObjectID, const AudioObjectPropertyAddress&, UInt32& ioSize, void* out) {
        EXPECT_GE(ioSize, std::min<UInt32>(bytes, sizeof(Value)));
        std::memcpy(out, &value, std::min<UInt32>(bytes, sizeof(Value)));
        ioSize = bytes;
        return kAudioHardwareNoError;
    };
}

auto listSize(UInt32 bytes) { return DoAll(SetArgReferee<2>(bytes), Return(kAudioHardwareNoError)); }

class AudioPropertyReadersTest : public ::testing::Test {
protected:
    testing::InstalledMockService service_;
};

TEST_F(AudioPropertyReadersTest, ReadObjectIDs_KeepOnlyWholeIdentifiersTheAnswerWrote) {
    EXPECT_CALL(*service_, getPropertyDataSize(_, _, _))
        .WillOnce(listSize(0))
        .WillOnce(listSize(6))
        .WillOnce(listSize(12))
        .WillOnce(listSize(4))
        .WillOnce(listSize(0xFFFFFFF0U));
    EXPECT_CALL(*service_, getPropertyData(_, _, _, _))
        .WillOnce(Invoke([](AudioObjectID, const AudioObjectPropertyAddress&, UInt32& ioSize, void* out) {
            EXPECT_EQ(ioSize, 6U);
            const unsigned char bytes[6] = {0x2A, 0, 0, 0, 0x07, 0};
            std::memcpy(out, bytes, sizeof(bytes));
            return kAudioHardwareNoError;
        }))
        .WillOnce(Invoke(answer<AudioObjectID>(9)))
        .WillOnce(Invoke(answer<AudioObjectID>(5, 4000)));
    const auto read = [] {
        return readObjectIDs(kDevice, kAudioDevicePropertyStreams, kAudioObjectPropertyScopeInput);
    };

    EXPECT_TRUE(read().value().empty()) << "size 0 needs no read";
    EXPECT_EQ(read().value(), std::vector<AudioObjectID>{42}) << "six bytes hold one identifier";
    EXPECT_EQ(read().value(), std::vector<AudioObjectID>{9}) << "an answer shorter than the buffer";
    EXPECT_EQ(read().value(), std::vector<AudioObjectID>{5}) << "an answer claiming more than the buffer";
    EXPECT_EQ(read().error().kind(), AudioHALError::Kind::missingValue) << "an absurd size";
}

TEST_F(AudioPropertyReadersTest, ReadString_DeliveredTextKept_UntouchedNullOrWrongTypeReadsAsEmpty) {
    EXPECT_CALL(
        *service_,
        getPropertyData(kDevice,
                        AudioObjectPropertyAddress{kAudioObjectPropertyName, kAudioObjectPropertyScopeGlobal, 0}, _, _))
        .WillOnce(Invoke(answer<CFStringRef>(CFStringCreateWithUTF8("Bühne Lautsprecher"))))
        .WillOnce(Return(kAudioHardwareNoError))
        .WillOnce(Invoke(answer<CFStringRef>(nullptr)))
        .WillOnce(Invoke(answer<CFBooleanRef>(static_cast<CFBooleanRef>(CFRetain(kCFBooleanTrue)))));

    EXPECT_EQ(readString(kDevice, kAudioObjectPropertyName).value(), "Bühne Lautsprecher");
    for (int call = 0; call < 3; ++call) {
        EXPECT_EQ(readString(kDevice, kAudioObjectPropertyName).value(), "");
    }
}

}  // namespace
}  // namespace tonvale
