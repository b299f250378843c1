// The simulated server's own CPU cost per IO cycle of routed stereo streams
// (48 kHz, 512-frame buffers), so that measurements of the system can subtract it.
// Each iteration advances virtual time by one buffer period: every route's
// aggregate runs one IO cycle (tap mixdown rendered, IO procedure called, output
// taken back). The IO procedure does nothing, so the figure is the server's alone.
#include "platform/coreaudio/CoreAudio.h"
#include "platform/dispatch/Dispatch.h"
#include "sim/SimulatedServer.h"

#include <benchmark/benchmark.h>

#include <memory>
#include <string>
#include <vector>

namespace {

constexpr double kPeriod = 512.0 / 48000.0;

OSStatus idleIOProc(AudioObjectID, const AudioTimeStamp*, const AudioBufferList*, const AudioTimeStamp*,
                    AudioBufferList*, const AudioTimeStamp*, void*) {
    return kAudioHardwareNoError;
}

void setEntry(CFMutableDictionaryRef dictionary, const char* key, CFTypeRef value) {
    CFStringRef cfKey = CFStringCreateWithUTF8(key);
    CFDictionarySetValue(dictionary, cfKey, value);
    CFRelease(cfKey);
    CFRelease(value);
}

CFMutableDictionaryRef newMap() {
    return CFDictionaryCreateMutable(kCFAllocatorDefault, 0, &kCFTypeDictionaryKeyCallBacks,
                                     &kCFTypeDictionaryValueCallBacks);
}

// Routes the default desk's music player to the USB headset `count` times.
void routedCycles(benchmark::State& state) {
    const auto count = static_cast<int>(state.range(0));
    const bool isObserved = state.range(1) != 0;
    dispatch::VirtualTime time;
    auto server = sim::SimulatedServer::create(sim::Scenario::embeddedDefault());
    server->setAggregateBehaviour({.streamDelaySeconds = 0.0});
    if (isObserved) {
        static_cast<void>(server->startObserving("usb-headset"));
    }
    const AudioObjectID music = server->processObjectID(2201).value_or(0);
    std::vector<std::pair<AudioObjectID, AudioDeviceIOProcID>> routes;
    for (int i = 0; i < count; ++i) {
        CATapDescription tap = CATapDescription::initStereoMixdownOfProcesses({music});
        tap.isPrivate = true;
        tap.muteBehavior = CATapMutedWhenTapped;
        AudioObjectID tapID = 0;
        static_cast<void>(AudioHardwareCreateProcessTap(&tap, &tapID));
        CFMutableDictionaryRef description = newMap();
        setEntry(description, kAudioAggregateDeviceUIDKey, CFStringCreateWithUTF8("bench.route." + std::to_string(i)));
        setEntry(description, kAudioAggregateDeviceIsPrivateKey, kCFBooleanTrue);
        CFMutableDictionaryRef subdevice = newMap();
        setEntry(subdevice, kAudioSubDeviceUIDKey, CFStringCreateWithUTF8("usb-headset"));
        const SInt32 zero = 0;
        setEntry(subdevice, kAudioSubDeviceInputChannelsKey,
                 CFNumberCreate(kCFAllocatorDefault, kCFNumberSInt32Type, &zero));
        CFMutableArrayRef subdevices = CFArrayCreateMutable(kCFAllocatorDefault, 0, &kCFTypeArrayCallBacks);
        CFArrayAppendValue(subdevices, subdevice);
        CFRelease(subdevice);
        setEntry(description, kAudioAggregateDeviceSubDeviceListKey, subdevices);
        CFMutableDictionaryRef tapEntry = newMap();
        setEntry(tapEntry, kAudioSubTapUIDKey, CFStringCreateWithUTF8(tap.uuid));
        CFMutableArrayRef taps = CFArrayCreateMutable(kCFAllocatorDefault, 0, &kCFTypeArrayCallBacks);
        CFArrayAppendValue(taps, tapEntry);
        CFRelease(tapEntry);
        setEntry(description, kAudioAggregateDeviceTapListKey, taps);
        AudioObjectID aggregate = 0;
        static_cast<void>(AudioHardwareCreateAggregateDevice(description, &aggregate));
        CFRelease(description);
        AudioDeviceIOProcID proc = nullptr;
        static_cast<void>(AudioDeviceCreateIOProcID(aggregate, &idleIOProc, nullptr, &proc));
        static_cast<void>(AudioDeviceStart(aggregate, proc));
        routes.emplace_back(aggregate, proc);
    }
    time.advance(kPeriod * 4);
    for (auto _ : state) {
        time.advance(kPeriod);
    }
    state.counters["routes"] = count;
    state.counters["cycles"] = benchmark::Counter(static_cast<double>(state.iterations()) * count);
    for (const auto& [aggregate, proc] : routes) {
        static_cast<void>(AudioDeviceStop(aggregate, proc));
    }
}

}  // namespace

// Arguments: routes, whether the destination's playback is read back (recording).
BENCHMARK(routedCycles)->Args({1, 0})->Args({8, 0})->Args({1, 1})->Args({8, 1})->Unit(benchmark::kMicrosecond);

BENCHMARK_MAIN();
