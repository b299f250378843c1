// The answer to a property read: a status, or a value in one of the kinds the audio layer
// hands out (numbers, object lists, owned strings and maps, stream formats), and how such
// a value is written into a caller's buffer.
//
// Answers are built with the model's mutex held and written out after it is released.
// Thread-safety: values; any thread.
#pragma once

#include "platform/coreaudio/CoreAudioTypes.h"
#include "platform/coreaudio/CoreFoundation.h"

#include <string>
#include <utility>
#include <variant>
#include <vector>

namespace audioserver {

// A dictionary handed out by a property read; released unless given away.
class OwnedDictionary {
public:
    explicit OwnedDictionary(CFDictionaryRef dictionary) : dictionary_(dictionary) {}
    OwnedDictionary(OwnedDictionary&& other) noexcept : dictionary_(std::exchange(other.dictionary_, nullptr)) {}
    OwnedDictionary& operator=(OwnedDictionary&& other) noexcept {
        std::swap(dictionary_, other.dictionary_);
        return *this;
    }
    OwnedDictionary(const OwnedDictionary&) = delete;
    OwnedDictionary& operator=(const OwnedDictionary&) = delete;
    ~OwnedDictionary() {
        if (dictionary_ != nullptr) {
            CFRelease(dictionary_);
        }
    }
    [[nodiscard]] CFDictionaryRef release() { return std::exchange(dictionary_, nullptr); }

private:
    CFDictionaryRef dictionary_;
};

using PropertyValue = std::variant<UInt32, Float64, std::vector<AudioObjectID>, std::string, OwnedDictionary,
                                   AudioStreamBasicDescription>;

struct PropertyAnswer {
    OSStatus status = kAudioHardwareNoError;
    PropertyValue value = UInt32{0};
};

[[nodiscard]] inline PropertyAnswer failedAnswer(OSStatus status) { return {status, UInt32{0}}; }

// The size in bytes the value takes in a caller's buffer.
[[nodiscard]] UInt32 answerSize(const PropertyValue& value);
// Writes a successful answer into the caller's buffer, as the platform does: lists fill as
// many whole entries as the buffer holds; other values need their whole size. Strings and
// maps are handed over owned by the caller.
[[nodiscard]] OSStatus writeAnswer(PropertyAnswer answer, UInt32& ioDataSize, void* outData);

}  // namespace audioserver
