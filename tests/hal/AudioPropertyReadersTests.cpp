#include "hal/AudioPropertyReaders.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>

#include "tests/hal/MockAudioHardwareService.h"

namespace tonvale {
namespace {

using ::testing::_;
using ::testing::DoAll;
using ::testing::Field;
using ::testing::Invoke;
using ::testing::Return;
using ::testing::SetArgReferee;

constexpr AudioObjectID kDevice = 42;
constexpr AudioObjectPropertySelector kUnprintableSelector = 0x00616263;

// Answers a property read by writing `bytes` bytes of `value` and reporting that size.
template <typename Value>
auto answer(Value value, UInt32 bytes = sizeof(Value)) {
    return [value, bytes](AudioObjectID, const AudioObjectPropertyAddress&, UInt32& ioSize, void* out) {
        EXPECT_GE(ioSize, bytes);
        std::memcpy(out, &value, std::min<UInt32>(bytes, sizeof(Value)));
        ioSize = bytes;
        return kAudioHardwareNoError;
    };
}

class AudioPropertyReadersTest : public ::testing::Test {
protected:
    testing::InstalledMockService service_;
};

TEST_F(AudioPropertyReadersTest, ReadUInt32_AsksForFourBytesAtMainElementOfGivenScope) {
    EXPECT_CALL(*service_, getPropertyData(kDevice,
                                           AudioObjectPropertyAddress{kAudioDevicePropertyStreams,
                                                                      kAudioObjectPropertyScopeOutput, 0},
                                           _, _))
        .WillOnce(Invoke(answer<UInt32>(7)));

    const auto value = readUInt32(kDevice, kAudioDevicePropertyStreams, kAudioObjectPropertyScopeOutput);

    ASSERT_TRUE(value);
    EXPECT_EQ(value.value(), 7U);
}

TEST_F(AudioPropertyReadersTest, ReadUInt32_FailingStatus_NamesSelectorAndStatus) {
    EXPECT_CALL(*service_, getPropertyData(_, _, _, _)).WillOnce(Return(-50));

    const auto value = readUInt32(kDevice, kAudioHardwarePropertyDevices, kAudioObjectPropertyScopeGlobal);

    ASSERT_FALSE(value);
    EXPECT_EQ(value.error(), AudioHALError::osStatus("Read Core Audio property 'dev#'", -50));
    EXPECT_EQ(value.error().description(), "Read Core Audio property 'dev#' failed: 0xFFFFFFCE (-50)");
}

TEST_F(AudioPropertyReadersTest, ReadUInt32_PrintableStatusAndUnprintableSelector_DescribedByTheirCodes) {
    EXPECT_CALL(*service_, getPropertyData(_, _, _, _)).WillOnce(Return(kAudioHardwareUnknownPropertyError));

    const auto value = readUInt32(kDevice, kUnprintableSelector, kAudioObjectPropertyScopeGlobal);

    ASSERT_FALSE(value);
    EXPECT_EQ(value.error().description(), "Read Core Audio property 0x00616263 failed: 'who?' (2003332927)");
}

TEST_F(AudioPropertyReadersTest, ScalarReads_ShortAnswerIsMissingValueWithoutSelector) {
    EXPECT_CALL(*service_, getPropertyData(_, _, _, _))
        .WillOnce(Invoke(answer<UInt32>(1, 2)))
        .WillOnce(Invoke(answer<Float64>(48000.0, 4)));

    const auto integer = readUInt32(kDevice, kAudioDevicePropertyTransportType, kAudioObjectPropertyScopeGlobal);
    const auto real = readDouble(kDevice, kAudioDevicePropertyNominalSampleRate, kAudioObjectPropertyScopeGlobal);

    ASSERT_FALSE(integer);
    EXPECT_EQ(integer.error().description(), "Read Core Audio property returned no value");
    ASSERT_FALSE(real);
    EXPECT_EQ(real.error(), AudioHALError::missingValue("Read Core Audio property"));
}

TEST_F(AudioPropertyReadersTest, ReadDouble_ReadsEightBytes) {
    EXPECT_CALL(*service_, getPropertyData(_, _, _, _)).WillOnce(Invoke(answer<Float64>(44100.0)));

    const auto rate = readDouble(kDevice, kAudioDevicePropertyNominalSampleRate, kAudioObjectPropertyScopeGlobal);

    ASSERT_TRUE(rate);
    EXPECT_EQ(rate.value(), 44100.0);
}

TEST_F(AudioPropertyReadersTest, ReadObjectIDs_SizeZero_IsEmptyWithoutSecondCall) {
    EXPECT_CALL(*service_, getPropertyDataSize(_, _, _)).WillOnce(DoAll(SetArgReferee<2>(0U), Return(0)));

    const auto ids = readObjectIDs(kAudioObjectSystemObject, kAudioHardwarePropertyDevices,
                                   kAudioObjectPropertyScopeGlobal);

    ASSERT_TRUE(ids);
    EXPECT_TRUE(ids.value().empty());
}

TEST_F(AudioPropertyReadersTest, ReadObjectIDs_SizeSix_YieldsOneIdentifier) {
    EXPECT_CALL(*service_, getPropertyDataSize(_, _, _)).WillOnce(DoAll(SetArgReferee<2>(6U), Return(0)));
    EXPECT_CALL(*service_, getPropertyData(_, _, _, _))
        .WillOnce(Invoke([](AudioObjectID, const AudioObjectPropertyAddress&, UInt32& ioSize, void* out) {
            EXPECT_EQ(ioSize, 6U);
            const unsigned char bytes[6] = {0x2A, 0, 0, 0, 0x07, 0};
            std::memcpy(out, bytes, sizeof(bytes));
            return kAudioHardwareNoError;
        }));

    const auto ids = readObjectIDs(kAudioObjectSystemObject, kAudioHardwarePropertyDevices,
                                   kAudioObjectPropertyScopeGlobal);

    ASSERT_TRUE(ids);
    EXPECT_EQ(ids.value(), std::vector<AudioObjectID>{42});
}

TEST_F(AudioPropertyReadersTest, ReadObjectIDs_ListShrinksBetweenCalls_KeepsOnlyWhatWasWritten) {
    EXPECT_CALL(*service_, getPropertyDataSize(_, _, _)).WillOnce(DoAll(SetArgReferee<2>(12U), Return(0)));
    EXPECT_CALL(*service_, getPropertyData(_, _, _, _)).WillOnce(Invoke(answer<AudioObjectID>(9)));

    const auto ids = readObjectIDs(kAudioObjectSystemObject, kAudioHardwarePropertyProcessObjectList,
                                   kAudioObjectPropertyScopeGlobal);

    ASSERT_TRUE(ids);
    EXPECT_EQ(ids.value(), std::vector<AudioObjectID>{9});
}

TEST_F(AudioPropertyReadersTest, ReadObjectIDs_AnswerClaimingMoreThanTheBuffer_ReadsOnlyTheBuffer) {
    EXPECT_CALL(*service_, getPropertyDataSize(_, _, _)).WillOnce(DoAll(SetArgReferee<2>(4U), Return(0)));
    EXPECT_CALL(*service_, getPropertyData(_, _, _, _))
        .WillOnce(Invoke([](AudioObjectID, const AudioObjectPropertyAddress&, UInt32& ioSize, void* out) {
            const AudioObjectID stream = 5;
            std::memcpy(out, &stream, sizeof(stream));
            ioSize = 4000;
            return kAudioHardwareNoError;
        }));

    const auto ids = readObjectIDs(kDevice, kAudioDevicePropertyStreams, kAudioObjectPropertyScopeInput);

    ASSERT_TRUE(ids);
    EXPECT_EQ(ids.value(), std::vector<AudioObjectID>{5});
}

TEST_F(AudioPropertyReadersTest, ReadObjectIDs_FailuresNameSizeOrReadOperation) {
    EXPECT_CALL(*service_, getPropertyDataSize(_, _, _))
        .WillOnce(Return(kAudioHardwareBadObjectError))
        .WillOnce(DoAll(SetArgReferee<2>(8U), Return(0)));
    EXPECT_CALL(*service_, getPropertyData(_, _, _, _)).WillOnce(Return(kAudioHardwareBadDeviceError));

    const auto sizeFailure = readObjectIDs(kDevice, kAudioDevicePropertyStreams, kAudioObjectPropertyScopeInput);
    const auto readFailure = readObjectIDs(kDevice, kAudioDevicePropertyStreams, kAudioObjectPropertyScopeInput);

    ASSERT_FALSE(sizeFailure);
    EXPECT_EQ(sizeFailure.error().description(), "Size Core Audio property 'stm#' failed: '!obj' (560947818)");
    ASSERT_FALSE(readFailure);
    EXPECT_EQ(readFailure.error().description(), "Read Core Audio property 'stm#' failed: '!dev' (560227702)");
}

TEST_F(AudioPropertyReadersTest, ReadObjectIDs_AbsurdSize_IsMissingValueWithoutAllocating) {
    EXPECT_CALL(*service_, getPropertyDataSize(_, _, _)).WillOnce(DoAll(SetArgReferee<2>(0xFFFFFFF0U), Return(0)));

    const auto ids = readObjectIDs(kAudioObjectSystemObject, kAudioHardwarePropertyDevices,
                                   kAudioObjectPropertyScopeGlobal);

    ASSERT_FALSE(ids);
    EXPECT_EQ(ids.error().kind(), AudioHALError::Kind::missingValue);
}

TEST_F(AudioPropertyReadersTest, ReadString_ReturnsDeliveredTextInGlobalScope) {
    EXPECT_CALL(*service_, getPropertyData(kDevice,
                                           AudioObjectPropertyAddress{kAudioDevicePropertyDeviceUID,
                                                                      kAudioObjectPropertyScopeGlobal, 0},
                                           _, _))
        .WillOnce(Invoke(answer<CFStringRef>(CFStringCreateWithUTF8("Bühne Lautsprecher"))));

    const auto text = readString(kDevice, kAudioDevicePropertyDeviceUID);

    ASSERT_TRUE(text);
    EXPECT_EQ(text.value(), "Bühne Lautsprecher");
}

TEST_F(AudioPropertyReadersTest, ReadString_UntouchedNullOrWrongType_ReadsAsEmpty) {
    EXPECT_CALL(*service_, getPropertyData(_, _, _, _))
        .WillOnce(Return(kAudioHardwareNoError))
        .WillOnce(Invoke(answer<CFStringRef>(nullptr)))
        .WillOnce(Invoke(answer<CFBooleanRef>(static_cast<CFBooleanRef>(CFRetain(kCFBooleanTrue)))));

    for (int call = 0; call < 3; ++call) {
        const auto text = readString(kDevice, kAudioObjectPropertyName);
        ASSERT_TRUE(text);
        EXPECT_EQ(text.value(), "");
    }
}

TEST_F(AudioPropertyReadersTest, ReadString_Failure_NamesStringOperation) {
    EXPECT_CALL(*service_, getPropertyData(_, _, _, _)).WillOnce(Return(kAudioHardwareUnspecifiedError));

    const auto text = readString(kDevice, kAudioProcessPropertyBundleID);

    ASSERT_FALSE(text);
    EXPECT_EQ(text.error().description(), "Read Core Audio string 'pbid' failed: 'what' (2003329396)");
}

TEST_F(AudioPropertyReadersTest, ReadDictionary_NoDictionaryOrNonTextKeys_IsMissingValue) {
    const CFReference<CFStringRef> textKey(CFStringCreateWithUTF8("uid"));
    std::int64_t one = 1;
    const CFReference<CFNumberRef> numberKey(CFNumberCreate(nullptr, kCFNumberSInt64Type, &one));
    const void* keys[] = {textKey.get(), numberKey.get()};
    const void* values[] = {textKey.get(), textKey.get()};
    EXPECT_CALL(*service_, getPropertyData(_, _, _, _))
        .WillOnce(Return(kAudioHardwareNoError))
        .WillOnce(Invoke(answer<CFStringRef>(CFStringCreateWithUTF8("not a map"))))
        .WillOnce(Invoke(answer<CFDictionaryRef>(CFDictionaryCreate(nullptr, keys, values, 2,
                                                                    &kCFTypeDictionaryKeyCallBacks,
                                                                    &kCFTypeDictionaryValueCallBacks))));

    for (int call = 0; call < 3; ++call) {
        const auto dictionary = readDictionary(kDevice, kAudioAggregateDevicePropertyComposition);
        ASSERT_FALSE(dictionary);
        EXPECT_EQ(dictionary.error().description(), "Read Core Audio dictionary returned no value");
    }
}

TEST_F(AudioPropertyReadersTest, ReadDictionary_KeepsValueTypes) {
    const CFReference<CFStringRef> key(CFStringCreateWithUTF8("stacked"));
    const void* keys[] = {key.get()};
    const void* values[] = {kCFBooleanTrue};
    EXPECT_CALL(*service_, getPropertyData(_, Field(&AudioObjectPropertyAddress::mScope,
                                                    kAudioObjectPropertyScopeGlobal),
                                           _, _))
        .WillOnce(Invoke(answer<CFDictionaryRef>(CFDictionaryCreate(nullptr, keys, values, 1,
                                                                    &kCFTypeDictionaryKeyCallBacks,
                                                                    &kCFTypeDictionaryValueCallBacks))));

    const auto dictionary = readDictionary(kDevice, kAudioAggregateDevicePropertyComposition);

    ASSERT_TRUE(dictionary);
    const CFTypeRef stacked = CFDictionaryGetValueForUTF8Key(dictionary.value().get(), "stacked");
    ASSERT_NE(stacked, nullptr);
    EXPECT_EQ(CFGetTypeID(stacked), CFBooleanGetTypeID());
}

TEST_F(AudioPropertyReadersTest, ReadDictionary_Failure_NamesDictionaryOperation) {
    EXPECT_CALL(*service_, getPropertyData(_, _, _, _)).WillOnce(Return(kAudioHardwareBadObjectError));

    const auto dictionary = readDictionary(kDevice, kAudioAggregateDevicePropertyComposition);

    ASSERT_FALSE(dictionary);
    EXPECT_EQ(dictionary.error().description(), "Read Core Audio dictionary 'acom' failed: '!obj' (560947818)");
}

}  // namespace
}  // namespace tonvale
