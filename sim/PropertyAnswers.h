// The answers of property reads: the value every object gives for an address,
// in the kinds the audio layer hands out (numbers, lists, owned strings and maps,
// stream formats). Internal to sim/.
//
// Called by PropertyAccess with World::mutex held.
// Thread-safety: any thread that holds World::mutex.
#pragma once

#include "platform/coreaudio/CoreAudioTypes.h"
#include "platform/coreaudio/CoreFoundation.h"
#include "sim/World.h"

#include <string>
#include <utility>
#include <variant>
#include <vector>

namespace sim {

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

// The value of the property at address of object, or the status the platform gives.
[[nodiscard]] PropertyAnswer answerProperty(World& world, AudioObjectID object,
                                            const AudioObjectPropertyAddress& address);
// The size in bytes the value takes in a caller's buffer.
[[nodiscard]] UInt32 answerSize(const PropertyValue& value);

}  // namespace sim
