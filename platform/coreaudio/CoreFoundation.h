// A small faithful subset of CoreFoundation: reference-counted property-list values.
//
// Strings, numbers (integers and floats kept apart), Booleans, arrays and
// dictionaries with string keys, as the audio layer hands them out and takes
// them in. A value returned by a Create or Copy function, or by a property read,
// belongs to the caller, who releases it with CFRelease.
// Thread-safety: values are immutable once shared (mutable containers are filled
// by one thread before being handed on); retain and release are atomic.
#pragma once

#include "platform/coreaudio/CoreAudioTypes.h"

#include <string>
#include <string_view>

using CFIndex = long;
using CFTypeID = unsigned long;
using CFTypeRef = const void*;
using CFAllocatorRef = const void*;
using CFStringEncoding = UInt32;

struct __CFString;
struct __CFNumber;
struct __CFBoolean;
struct __CFArray;
struct __CFDictionary;
using CFStringRef = const __CFString*;
using CFNumberRef = const __CFNumber*;
using CFBooleanRef = const __CFBoolean*;
using CFArrayRef = const __CFArray*;
using CFMutableArrayRef = __CFArray*;
using CFDictionaryRef = const __CFDictionary*;
using CFMutableDictionaryRef = __CFDictionary*;

constexpr CFAllocatorRef kCFAllocatorDefault = nullptr;
constexpr CFStringEncoding kCFStringEncodingUTF8 = 0x08000100;

// Container callbacks: only the retaining kind exists here, as every caller uses it.
struct CFArrayCallBacks {
    CFIndex version;
};
struct CFDictionaryKeyCallBacks {
    CFIndex version;
};
struct CFDictionaryValueCallBacks {
    CFIndex version;
};
extern const CFArrayCallBacks kCFTypeArrayCallBacks;
extern const CFDictionaryKeyCallBacks kCFTypeDictionaryKeyCallBacks;
extern const CFDictionaryKeyCallBacks kCFCopyStringDictionaryKeyCallBacks;
extern const CFDictionaryValueCallBacks kCFTypeDictionaryValueCallBacks;

CFTypeRef CFRetain(CFTypeRef value);
void CFRelease(CFTypeRef value);
CFIndex CFGetRetainCount(CFTypeRef value);
CFTypeID CFGetTypeID(CFTypeRef value);
// Equal kind and equal content (numbers compare by value across integer and float).
Boolean CFEqual(CFTypeRef a, CFTypeRef b);

CFTypeID CFStringGetTypeID();
CFTypeID CFNumberGetTypeID();
CFTypeID CFBooleanGetTypeID();
CFTypeID CFArrayGetTypeID();
CFTypeID CFDictionaryGetTypeID();

// Strings. Only UTF-8 is supported; other encodings fail (nullptr / false).
CFStringRef CFStringCreateWithCString(CFAllocatorRef allocator, const char* text, CFStringEncoding encoding);
// Length in UTF-16 code units, as on the platform.
CFIndex CFStringGetLength(CFStringRef string);
Boolean CFStringGetCString(CFStringRef string, char* buffer, CFIndex bufferSize, CFStringEncoding encoding);
const char* CFStringGetCStringPtr(CFStringRef string, CFStringEncoding encoding);

// Numbers.
enum CFNumberType : CFIndex {
    kCFNumberSInt8Type = 1,
    kCFNumberSInt16Type = 2,
    kCFNumberSInt32Type = 3,
    kCFNumberSInt64Type = 4,
    kCFNumberFloat32Type = 5,
    kCFNumberFloat64Type = 6,
    kCFNumberIntType = 9,
    kCFNumberLongLongType = 11,
    kCFNumberDoubleType = 13,
};
CFNumberRef CFNumberCreate(CFAllocatorRef allocator, CFNumberType type, const void* value);
CFNumberType CFNumberGetType(CFNumberRef number);
Boolean CFNumberIsFloatType(CFNumberRef number);
// Converts to the requested type; answers false when the conversion lost information.
Boolean CFNumberGetValue(CFNumberRef number, CFNumberType type, void* value);

// Booleans.
extern const CFBooleanRef kCFBooleanTrue;
extern const CFBooleanRef kCFBooleanFalse;
Boolean CFBooleanGetValue(CFBooleanRef boolean);

// Arrays (values are retained by the array).
CFArrayRef CFArrayCreate(CFAllocatorRef allocator, const void** values, CFIndex count,
                         const CFArrayCallBacks* callBacks);
CFMutableArrayRef CFArrayCreateMutable(CFAllocatorRef allocator, CFIndex capacity, const CFArrayCallBacks* callBacks);
void CFArrayAppendValue(CFMutableArrayRef array, const void* value);
CFIndex CFArrayGetCount(CFArrayRef array);
const void* CFArrayGetValueAtIndex(CFArrayRef array, CFIndex index);

// Dictionaries with string keys, kept in insertion order; setting an existing key
// replaces its value in place.
CFDictionaryRef CFDictionaryCreate(CFAllocatorRef allocator, const void** keys, const void** values, CFIndex count,
                                   const CFDictionaryKeyCallBacks* keyCallBacks,
                                   const CFDictionaryValueCallBacks* valueCallBacks);
CFMutableDictionaryRef CFDictionaryCreateMutable(CFAllocatorRef allocator, CFIndex capacity,
                                                 const CFDictionaryKeyCallBacks* keyCallBacks,
                                                 const CFDictionaryValueCallBacks* valueCallBacks);
void CFDictionarySetValue(CFMutableDictionaryRef dictionary, const void* key, const void* value);
CFIndex CFDictionaryGetCount(CFDictionaryRef dictionary);
const void* CFDictionaryGetValue(CFDictionaryRef dictionary, const void* key);
void CFDictionaryGetKeysAndValues(CFDictionaryRef dictionary, const void** keys, const void** values);

// Conveniences for this code base (not platform names): UTF-8 in and out.
[[nodiscard]] CFStringRef CFStringCreateWithUTF8(std::string_view text);
[[nodiscard]] std::string CFStringGetUTF8(CFStringRef string);
// The value of a string key, or nullptr; the dictionary keeps ownership.
[[nodiscard]] CFTypeRef CFDictionaryGetValueForUTF8Key(CFDictionaryRef dictionary, std::string_view key);
