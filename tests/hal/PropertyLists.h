// Property-list values in tests: builders that write compositions and sub-device maps as
// nested initializer lists, each value owned until the test ends, and `shown`, which
// writes any value as one line of text so a test compares a whole map, its order and
// its types (2 is an integer, 2.0 a real, 'a' a text) at once.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "hal/CFReference.h"
#include "hal/PropertyListValues.h"
#include "platform/coreaudio/CoreFoundation.h"

namespace tonvale::testing {

using PropertyList = CFReference<CFTypeRef>;

inline PropertyList text(const std::string& value) { return PropertyList(CFStringCreateWithUTF8(value)); }

inline PropertyList integer(std::int64_t value) {
    return PropertyList(CFNumberCreate(nullptr, kCFNumberSInt64Type, &value));
}

inline PropertyList real(double value) { return PropertyList(CFNumberCreate(nullptr, kCFNumberFloat64Type, &value)); }

inline PropertyList boolean(bool value) { return PropertyList(CFRetain(value ? kCFBooleanTrue : kCFBooleanFalse)); }

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
        CFDictionarySetValue(result, text(key).get(), value.get());
    }
    return PropertyList(result);
}

inline CFDictionaryRef asDictionary(const PropertyList& value) { return static_cast<CFDictionaryRef>(value.get()); }

inline std::string shown(CFTypeRef value) {
    const CFTypeID type = value == nullptr ? 0 : CFGetTypeID(value);
    std::ostringstream line;
    if (type == CFStringGetTypeID()) {
        line << "'" << CFStringGetUTF8(static_cast<CFStringRef>(value)) << "'";
    } else if (type == CFBooleanGetTypeID()) {
        line << (CFBooleanGetValue(static_cast<CFBooleanRef>(value)) ? "true" : "false");
    } else if (type == CFNumberGetTypeID() && CFNumberIsFloatType(static_cast<CFNumberRef>(value))) {
        line << propertyListReal(value).value_or(0) << (line.str().find('.') == std::string::npos ? ".0" : "");
    } else if (type == CFNumberGetTypeID()) {
        line << propertyListInteger(value).value_or(0);
    } else if (type == CFArrayGetTypeID()) {
        const auto* items = static_cast<CFArrayRef>(value);
        for (CFIndex index = 0; index < CFArrayGetCount(items); ++index) {
            line << (index == 0 ? "[" : ", ") << shown(CFArrayGetValueAtIndex(items, index));
        }
        line << (CFArrayGetCount(items) == 0 ? "[]" : "]");
    } else if (type == CFDictionaryGetTypeID()) {
        const auto* map = static_cast<CFDictionaryRef>(value);
        std::vector<const void*> keys(static_cast<std::size_t>(CFDictionaryGetCount(map)));
        std::vector<const void*> values(keys.size());
        CFDictionaryGetKeysAndValues(map, keys.data(), values.data());
        for (std::size_t index = 0; index < keys.size(); ++index) {
            line << (index == 0 ? "{" : ", ") << CFStringGetUTF8(static_cast<CFStringRef>(keys[index])) << ": "
                 << shown(values[index]);
        }
        line << (keys.empty() ? "{}" : "}");
    } else {
        line << "?";
    }
    return line.str();
}

}  // namespace tonvale::testing
