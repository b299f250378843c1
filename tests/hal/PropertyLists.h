// Builders for property-list values in tests: compositions and sub-device maps written
// as nested initializer lists, each value owned until the test ends.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

#include "hal/CFReference.h"
#include "platform/coreaudio/CoreFoundation.h"

namespace tonvale::testing {

using PropertyList = CFReference<CFTypeRef>;

inline PropertyList text(const std::string& value) {
    return PropertyList(CFStringCreateWithUTF8(value));
}

inline PropertyList integer(std::int64_t value) {
    return PropertyList(CFNumberCreate(nullptr, kCFNumberSInt64Type, &value));
}

inline PropertyList real(double value) {
    return PropertyList(CFNumberCreate(nullptr, kCFNumberFloat64Type, &value));
}

inline PropertyList boolean(bool value) {
    return PropertyList(CFRetain(value ? kCFBooleanTrue : kCFBooleanFalse));
}

inline PropertyList array(std::initializer_list<PropertyList> values) {
    CFMutableArrayRef result = CFArrayCreateMutable(nullptr, 0, &kCFTypeArrayCallBacks);
    for (const PropertyList& value : values) {
        CFArrayAppendValue(result, value.get());
    }
    return PropertyList(result);
}

using PropertyListEntries = std::vector<std::pair<std::string, PropertyList>>;

inline PropertyList dictionary(const PropertyListEntries& entries) {
    CFMutableDictionaryRef result =
        CFDictionaryCreateMutable(nullptr, 0, &kCFTypeDictionaryKeyCallBacks, &kCFTypeDictionaryValueCallBacks);
    for (const auto& [key, value] : entries) {
        const PropertyList keyText = text(key);
        CFDictionarySetValue(result, keyText.get(), value.get());
    }
    return PropertyList(result);
}

inline CFDictionaryRef asDictionary(const PropertyList& value) {
    return static_cast<CFDictionaryRef>(value.get());
}

}  // namespace tonvale::testing
