#include "audioserver/PropertyValue.h"

#include <algorithm>
#include <cstring>

namespace audioserver {

UInt32 answerSize(const PropertyValue& value) {
    struct Visitor {
        UInt32 operator()(const UInt32&) const { return sizeof(UInt32); }
        UInt32 operator()(const Float64&) const { return sizeof(Float64); }
        UInt32 operator()(const std::vector<AudioObjectID>& list) const {
            return static_cast<UInt32>(list.size() * sizeof(AudioObjectID));
        }
        UInt32 operator()(const std::string&) const { return sizeof(CFStringRef); }
        UInt32 operator()(const OwnedDictionary&) const { return sizeof(CFDictionaryRef); }
        UInt32 operator()(const AudioStreamBasicDescription&) const { return sizeof(AudioStreamBasicDescription); }
    };
    return std::visit(Visitor{}, value);
}

OSStatus writeAnswer(PropertyAnswer answer, UInt32& ioDataSize, void* outData) {
    if (answer.status != kAudioHardwareNoError) {
        return answer.status;
    }
    if (auto* list = std::get_if<std::vector<AudioObjectID>>(&answer.value)) {
        const std::size_t count = std::min<std::size_t>(list->size(), ioDataSize / sizeof(AudioObjectID));
        if (count > 0) {
            std::memcpy(outData, list->data(), count * sizeof(AudioObjectID));
        }
        ioDataSize = static_cast<UInt32>(count * sizeof(AudioObjectID));
        return kAudioHardwareNoError;
    }
    const UInt32 size = answerSize(answer.value);
    if (ioDataSize < size) {
        return kAudioHardwareBadPropertySizeError;
    }
    if (auto* number = std::get_if<UInt32>(&answer.value)) {
        std::memcpy(outData, number, size);
    } else if (auto* real = std::get_if<Float64>(&answer.value)) {
        std::memcpy(outData, real, size);
    } else if (auto* format = std::get_if<AudioStreamBasicDescription>(&answer.value)) {
        std::memcpy(outData, format, size);
    } else if (auto* text = std::get_if<std::string>(&answer.value)) {
        CFStringRef string = CFStringCreateWithUTF8(*text);
        std::memcpy(outData, &string, size);
    } else if (auto* dictionary = std::get_if<OwnedDictionary>(&answer.value)) {
        CFDictionaryRef given = dictionary->release();
        std::memcpy(outData, &given, size);
    }
    ioDataSize = size;
    return kAudioHardwareNoError;
}

}  // namespace audioserver
