#include "platform/coreaudio/CoreFoundation.h"

#include <atomic>
#include <cmath>
#include <cstring>
#include <limits>
#include <utility>
#include <variant>
#include <vector>

namespace {

enum : CFTypeID {
    kStringTypeID = 7,
    kNumberTypeID = 22,
    kBooleanTypeID = 21,
    kArrayTypeID = 19,
    kDictionaryTypeID = 18
};

}  // namespace

struct __CFType {
    explicit __CFType(CFTypeID typeID, bool immortal = false) : typeID_(typeID), immortal_(immortal) {}
    virtual ~__CFType() = default;
    __CFType(const __CFType&) = delete;
    __CFType& operator=(const __CFType&) = delete;

    const CFTypeID typeID_;
    const bool immortal_;
    std::atomic<CFIndex> retainCount_{1};
};

struct __CFString final : __CFType {
    explicit __CFString(std::string text) : __CFType(kStringTypeID), text_(std::move(text)) {}
    const std::string text_;
};

struct __CFNumber final : __CFType {
    __CFNumber(CFNumberType type, std::variant<SInt64, Float64> value)
        : __CFType(kNumberTypeID), type_(type), value_(value) {}
    const CFNumberType type_;
    const std::variant<SInt64, Float64> value_;
};

struct __CFBoolean final : __CFType {
    explicit __CFBoolean(bool value) : __CFType(kBooleanTypeID, true), value_(value) {}
    const bool value_;
};

struct __CFArray final : __CFType {
    __CFArray() : __CFType(kArrayTypeID) {}
    ~__CFArray() override {
        for (CFTypeRef value : values_) {
            CFRelease(value);
        }
    }
    std::vector<CFTypeRef> values_;
};

struct __CFDictionary final : __CFType {
    __CFDictionary() : __CFType(kDictionaryTypeID) {}
    ~__CFDictionary() override {
        for (auto& [key, value] : entries_) {
            CFRelease(key);
            CFRelease(value);
        }
    }
    std::vector<std::pair<CFTypeRef, CFTypeRef>> entries_;
};

const CFArrayCallBacks kCFTypeArrayCallBacks{0};
const CFDictionaryKeyCallBacks kCFTypeDictionaryKeyCallBacks{0};
const CFDictionaryKeyCallBacks kCFCopyStringDictionaryKeyCallBacks{0};
const CFDictionaryValueCallBacks kCFTypeDictionaryValueCallBacks{0};

namespace {

__CFBoolean trueValue{true};
__CFBoolean falseValue{false};

const __CFType* asType(CFTypeRef value) { return static_cast<const __CFType*>(value); }

template <typename T>
const T* as(CFTypeRef value, CFTypeID typeID) {
    if (value == nullptr || asType(value)->typeID_ != typeID) {
        return nullptr;
    }
    return static_cast<const T*>(asType(value));
}

// Numbers are held as a 64-bit integer or a 64-bit float, by their declared type.
bool isFloatType(CFNumberType type) {
    return type == kCFNumberFloat32Type || type == kCFNumberFloat64Type || type == kCFNumberDoubleType;
}

std::variant<SInt64, Float64> readNumber(CFNumberType type, const void* value) {
    switch (type) {
        case kCFNumberSInt8Type:
            return static_cast<SInt64>(*static_cast<const std::int8_t*>(value));
        case kCFNumberSInt16Type:
            return static_cast<SInt64>(*static_cast<const SInt16*>(value));
        case kCFNumberSInt32Type:
        case kCFNumberIntType:
            return static_cast<SInt64>(*static_cast<const SInt32*>(value));
        case kCFNumberSInt64Type:
        case kCFNumberLongLongType:
            return *static_cast<const SInt64*>(value);
        case kCFNumberFloat32Type:
            return static_cast<Float64>(*static_cast<const Float32*>(value));
        case kCFNumberFloat64Type:
        case kCFNumberDoubleType:
            return *static_cast<const Float64*>(value);
    }
    return SInt64{0};
}

template <typename Int>
Boolean storeInteger(const std::variant<SInt64, Float64>& number, void* out) {
    if (const auto* integer = std::get_if<SInt64>(&number)) {
        const bool fits = *integer >= std::numeric_limits<Int>::min() && *integer <= std::numeric_limits<Int>::max();
        *static_cast<Int*>(out) = static_cast<Int>(*integer);
        return fits ? 1 : 0;
    }
    const Float64 real = std::get<Float64>(number);
    const Float64 truncated = std::trunc(real);
    const bool fits = std::isfinite(real) && truncated >= static_cast<Float64>(std::numeric_limits<Int>::min()) &&
                      truncated <= static_cast<Float64>(std::numeric_limits<Int>::max());
    *static_cast<Int*>(out) = fits ? static_cast<Int>(truncated) : Int{0};
    return fits && truncated == real ? 1 : 0;
}

template <typename Real>
Boolean storeReal(const std::variant<SInt64, Float64>& number, void* out) {
    if (const auto* integer = std::get_if<SInt64>(&number)) {
        *static_cast<Real*>(out) = static_cast<Real>(*integer);
        return static_cast<SInt64>(static_cast<Real>(*integer)) == *integer ? 1 : 0;
    }
    *static_cast<Real*>(out) = static_cast<Real>(std::get<Float64>(number));
    return 1;
}

double numberAsDouble(const __CFNumber& number) {
    if (const auto* integer = std::get_if<SInt64>(&number.value_)) {
        return static_cast<double>(*integer);
    }
    return std::get<Float64>(number.value_);
}

}  // namespace

const CFBooleanRef kCFBooleanTrue = &trueValue;
const CFBooleanRef kCFBooleanFalse = &falseValue;

CFTypeRef CFRetain(CFTypeRef value) {
    if (value != nullptr && !asType(value)->immortal_) {
        const_cast<__CFType*>(asType(value))->retainCount_.fetch_add(1, std::memory_order_relaxed);
    }
    return value;
}

void CFRelease(CFTypeRef value) {
    if (value == nullptr || asType(value)->immortal_) {
        return;
    }
    auto* type = const_cast<__CFType*>(asType(value));
    if (type->retainCount_.fetch_sub(1, std::memory_order_acq_rel) == 1) {
        delete type;
    }
}

CFIndex CFGetRetainCount(CFTypeRef value) {
    if (value == nullptr) {
        return 0;
    }
    if (asType(value)->immortal_) {
        return std::numeric_limits<CFIndex>::max();
    }
    return asType(value)->retainCount_.load(std::memory_order_relaxed);
}

CFTypeID CFGetTypeID(CFTypeRef value) { return value == nullptr ? 0 : asType(value)->typeID_; }
CFTypeID CFStringGetTypeID() { return kStringTypeID; }
CFTypeID CFNumberGetTypeID() { return kNumberTypeID; }
CFTypeID CFBooleanGetTypeID() { return kBooleanTypeID; }
CFTypeID CFArrayGetTypeID() { return kArrayTypeID; }
CFTypeID CFDictionaryGetTypeID() { return kDictionaryTypeID; }

Boolean CFEqual(CFTypeRef a, CFTypeRef b) {
    if (a == b) {
        return 1;
    }
    if (a == nullptr || b == nullptr || CFGetTypeID(a) != CFGetTypeID(b)) {
        return 0;
    }
    switch (CFGetTypeID(a)) {
        case kStringTypeID:
            return static_cast<const __CFString*>(a)->text_ == static_cast<const __CFString*>(b)->text_ ? 1 : 0;
        case kNumberTypeID: {
            const auto& x = *static_cast<const __CFNumber*>(a);
            const auto& y = *static_cast<const __CFNumber*>(b);
            if (x.value_.index() == 0 && y.value_.index() == 0) {
                return std::get<SInt64>(x.value_) == std::get<SInt64>(y.value_) ? 1 : 0;
            }
            return numberAsDouble(x) == numberAsDouble(y) ? 1 : 0;
        }
        case kBooleanTypeID:
            return static_cast<const __CFBoolean*>(a)->value_ == static_cast<const __CFBoolean*>(b)->value_ ? 1 : 0;
        case kArrayTypeID: {
            const auto& x = static_cast<const __CFArray*>(a)->values_;
            const auto& y = static_cast<const __CFArray*>(b)->values_;
            if (x.size() != y.size()) {
                return 0;
            }
            for (std::size_t i = 0; i < x.size(); ++i) {
                if (CFEqual(x[i], y[i]) == 0) {
                    return 0;
                }
            }
            return 1;
        }
        case kDictionaryTypeID: {
            const auto* x = static_cast<CFDictionaryRef>(a);
            const auto* y = static_cast<CFDictionaryRef>(b);
            if (x->entries_.size() != y->entries_.size()) {
                return 0;
            }
            for (const auto& [key, value] : x->entries_) {
                if (CFEqual(value, CFDictionaryGetValue(y, key)) == 0) {
                    return 0;
                }
            }
            return 1;
        }
        default:
            return 0;
    }
}

CFStringRef CFStringCreateWithCString(CFAllocatorRef, const char* text, CFStringEncoding encoding) {
    if (text == nullptr || encoding != kCFStringEncodingUTF8) {
        return nullptr;
    }
    return new __CFString(text);
}

CFIndex CFStringGetLength(CFStringRef string) {
    if (string == nullptr) {
        return 0;
    }
    CFIndex units = 0;
    for (const unsigned char byte : string->text_) {
        if ((byte & 0xC0U) != 0x80U) {
            units += (byte >= 0xF0U) ? 2 : 1;
        }
    }
    return units;
}

Boolean CFStringGetCString(CFStringRef string, char* buffer, CFIndex bufferSize, CFStringEncoding encoding) {
    if (string == nullptr || buffer == nullptr || encoding != kCFStringEncodingUTF8 ||
        bufferSize <= static_cast<CFIndex>(string->text_.size())) {
        return 0;
    }
    std::memcpy(buffer, string->text_.c_str(), string->text_.size() + 1);
    return 1;
}

const char* CFStringGetCStringPtr(CFStringRef string, CFStringEncoding encoding) {
    if (string == nullptr || encoding != kCFStringEncodingUTF8) {
        return nullptr;
    }
    return string->text_.c_str();
}

CFNumberRef CFNumberCreate(CFAllocatorRef, CFNumberType type, const void* value) {
    if (value == nullptr) {
        return nullptr;
    }
    return new __CFNumber(type, readNumber(type, value));
}

CFNumberType CFNumberGetType(CFNumberRef number) { return number == nullptr ? kCFNumberSInt32Type : number->type_; }

Boolean CFNumberIsFloatType(CFNumberRef number) { return number != nullptr && isFloatType(number->type_) ? 1 : 0; }

Boolean CFNumberGetValue(CFNumberRef number, CFNumberType type, void* value) {
    if (number == nullptr || value == nullptr) {
        return 0;
    }
    switch (type) {
        case kCFNumberSInt8Type:
            return storeInteger<std::int8_t>(number->value_, value);
        case kCFNumberSInt16Type:
            return storeInteger<SInt16>(number->value_, value);
        case kCFNumberSInt32Type:
        case kCFNumberIntType:
            return storeInteger<SInt32>(number->value_, value);
        case kCFNumberSInt64Type:
        case kCFNumberLongLongType:
            return storeInteger<SInt64>(number->value_, value);
        case kCFNumberFloat32Type:
            return storeReal<Float32>(number->value_, value);
        case kCFNumberFloat64Type:
        case kCFNumberDoubleType:
            return storeReal<Float64>(number->value_, value);
    }
    return 0;
}

Boolean CFBooleanGetValue(CFBooleanRef boolean) { return boolean != nullptr && boolean->value_ ? 1 : 0; }

CFArrayRef CFArrayCreate(CFAllocatorRef allocator, const void** values, CFIndex count,
                         const CFArrayCallBacks* callBacks) {
    CFMutableArrayRef array = CFArrayCreateMutable(allocator, count, callBacks);
    for (CFIndex i = 0; i < count; ++i) {
        CFArrayAppendValue(array, values[i]);
    }
    return array;
}

CFMutableArrayRef CFArrayCreateMutable(CFAllocatorRef, CFIndex capacity, const CFArrayCallBacks*) {
    auto* array = new __CFArray();
    array->values_.reserve(static_cast<std::size_t>(capacity > 0 ? capacity : 0));
    return array;
}

void CFArrayAppendValue(CFMutableArrayRef array, const void* value) {
    if (array == nullptr || value == nullptr) {
        return;
    }
    array->values_.push_back(CFRetain(value));
}

CFIndex CFArrayGetCount(CFArrayRef array) { return array == nullptr ? 0 : static_cast<CFIndex>(array->values_.size()); }

const void* CFArrayGetValueAtIndex(CFArrayRef array, CFIndex index) {
    if (array == nullptr || index < 0 || index >= static_cast<CFIndex>(array->values_.size())) {
        return nullptr;
    }
    return array->values_[static_cast<std::size_t>(index)];
}

CFDictionaryRef CFDictionaryCreate(CFAllocatorRef allocator, const void** keys, const void** values, CFIndex count,
                                   const CFDictionaryKeyCallBacks* keyCallBacks,
                                   const CFDictionaryValueCallBacks* valueCallBacks) {
    CFMutableDictionaryRef dictionary = CFDictionaryCreateMutable(allocator, count, keyCallBacks, valueCallBacks);
    for (CFIndex i = 0; i < count; ++i) {
        CFDictionarySetValue(dictionary, keys[i], values[i]);
    }
    return dictionary;
}

CFMutableDictionaryRef CFDictionaryCreateMutable(CFAllocatorRef, CFIndex capacity, const CFDictionaryKeyCallBacks*,
                                                 const CFDictionaryValueCallBacks*) {
    auto* dictionary = new __CFDictionary();
    dictionary->entries_.reserve(static_cast<std::size_t>(capacity > 0 ? capacity : 0));
    return dictionary;
}

void CFDictionarySetValue(CFMutableDictionaryRef dictionary, const void* key, const void* value) {
    if (dictionary == nullptr || key == nullptr || value == nullptr) {
        return;
    }
    for (auto& entry : dictionary->entries_) {
        if (CFEqual(entry.first, key) != 0) {
            CFRetain(value);
            CFRelease(entry.second);
            entry.second = value;
            return;
        }
    }
    dictionary->entries_.emplace_back(CFRetain(key), CFRetain(value));
}

CFIndex CFDictionaryGetCount(CFDictionaryRef dictionary) {
    return dictionary == nullptr ? 0 : static_cast<CFIndex>(dictionary->entries_.size());
}

const void* CFDictionaryGetValue(CFDictionaryRef dictionary, const void* key) {
    if (dictionary == nullptr || key == nullptr) {
        return nullptr;
    }
    for (const auto& [entryKey, value] : dictionary->entries_) {
        if (CFEqual(entryKey, key) != 0) {
            return value;
        }
    }
    return nullptr;
}

void CFDictionaryGetKeysAndValues(CFDictionaryRef dictionary, const void** keys, const void** values) {
    if (dictionary == nullptr) {
        return;
    }
    std::size_t index = 0;
    for (const auto& [key, value] : dictionary->entries_) {
        if (keys != nullptr) {
            keys[index] = key;
        }
        if (values != nullptr) {
            values[index] = value;
        }
        ++index;
    }
}

CFStringRef CFStringCreateWithUTF8(std::string_view text) { return new __CFString(std::string(text)); }

std::string CFStringGetUTF8(CFStringRef string) {
    const auto* checked = as<__CFString>(string, kStringTypeID);
    return checked == nullptr ? std::string() : checked->text_;
}

CFTypeRef CFDictionaryGetValueForUTF8Key(CFDictionaryRef dictionary, std::string_view key) {
    const auto* checked = as<__CFDictionary>(dictionary, kDictionaryTypeID);
    if (checked == nullptr) {
        return nullptr;
    }
    for (const auto& [entryKey, value] : checked->entries_) {
        const auto* text = as<__CFString>(entryKey, kStringTypeID);
        if (text != nullptr && text->text_ == key) {
            return value;
        }
    }
    return nullptr;
}
