// Proves that the render function allocates nothing, on its own and in PipeWire's realtime
// cycle on the desktop's audio server: this binary replaces the global allocation functions
// with ones that count the calls made by the threads under watch.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>
#include <variant>

#include "desktop/PipeWireServer.h"
#include "engine/AudioRouteRenderer.h"
#include "engine/RouteAggregateDescription.h"
#include "engine/RouteController.h"
#include "hal/AudioDeviceCatalogue.h"
#include "hal/AudioProcessCatalogue.h"
#include "tests/desktop/PipeWireDaemon.h"
#include "tests/engine/FakeAggregateDevice.h"
#include "tests/engine/RenderBuffers.h"

namespace {

thread_local bool isWatching = false;
std::atomic<std::size_t> watchedAllocations{0};

void* countedAllocation(std::size_t size) noexcept {
    if (isWatching) {
        ++watchedAllocations;
    }
    return std::malloc(size == 0 ? 1 : size);
}
void* throwingAllocation(std::size_t size) {
    if (void* memory = countedAllocation(size)) {
        return memory;
    }
    throw std::bad_alloc();
}

}  // namespace

void* operator new(std::size_t size) { return throwingAllocation(size); }
void* operator new[](std::size_t size) { return throwingAllocation(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept { return countedAllocation(size); }
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept { return countedAllocation(size); }
void operator delete(void* memory) noexcept { std::free(memory); }
void operator delete[](void* memory) noexcept { std::free(memory); }
void operator delete(void* memory, std::size_t) noexcept { std::free(memory); }
void operator delete[](void* memory, std::size_t) noexcept { std::free(memory); }

namespace tonvale {
namespace {

using namespace tonvale::testing;

TEST(RenderAllocationTest, RenderCycles_AllocateNothingWhileRampingOrSteady) {
    const auto device = FakeAggregateDevice::install();
    AudioRouteRenderer renderer(FakeAggregateDevice::kDevice);
    ASSERT_TRUE(renderer.startAndReturnError(nullptr));
    RenderBuffers input({interleavedStereo(512)}, 0.5F);
    RenderBuffers output({interleavedStereo(512)});
    RenderBuffers oddOutput({interleavedStereo(256), BufferLayout{2, 13, true}, BufferLayout{2, 64, false}});

    watchedAllocations = 0;
    isWatching = true;
    for (int cycle = 0; cycle < 64; ++cycle) {
        if (cycle % 8 == 0) {
            renderer.setTargetGain(cycle % 16 == 0 ? 0.25F : 1.0F);
        }
        device->runCycle(input.list(), cycle % 3 == 0 ? oddOutput.list() : output.list());
        device->runCycle(nullptr, output.list());
    }
    const auto* probe = new int(1);
    isWatching = false;
    delete probe;

    EXPECT_EQ(watchedAllocations, 1U) << "only the probe, which proves the counter sees allocations";
    EXPECT_EQ(renderer.callbackCount(), 128U);
}

// A second IO procedure on a route's aggregate device, called after the renderer's in the
// same realtime cycle: from its first call on, that thread is watched.
OSStatus watchCycle(AudioObjectID, const AudioTimeStamp*, const AudioBufferList*, const AudioTimeStamp*,
                    AudioBufferList*, const AudioTimeStamp*, void* cycles) {
    isWatching = true;
    if (static_cast<std::atomic<int>*>(cycles)->fetch_add(1) == 0) {
        delete new int(1);
    }
    return kAudioHardwareNoError;
}

TEST(RenderAllocationTest, PipeWireRouteCycles_AllocateNothingOnTheRealtimeThread) {
    PipeWireDaemon daemon;
    ASSERT_EQ(daemon.start(), "") << "this test needs a private PipeWire server";
    auto connection = desktop::PipeWireServer::connect(nullptr, 10.0);
    ASSERT_TRUE(std::holds_alternative<std::shared_ptr<desktop::PipeWireServer>>(connection));
    // A stream that comes before the session manager has chosen a sink is never linked.
    ASSERT_TRUE(waitFor([] { return readDefaultOutputDevice().valueOr(0) != 0; }));
    const pid_t player = daemon.play("");
    std::vector<AudioObjectID> playing;
    ASSERT_TRUE(waitFor([&] {
        for (const AudioProcessInfo& process : enumerateProcesses().valueOr({})) {
            if (process.pid == player && process.isRunningOutput) {
                playing = {process.objectID};
            }
        }
        return !playing.empty();
    }));
    const auto route = RouteController::create();
    std::optional<bool> isActive;
    route->start(playing, "tonvale_test_sink_b", 0.5F,
                 [&](const RouteStartResult& result) { isActive = result.isSuccess(); });
    ASSERT_TRUE(waitFor([&] { return isActive.has_value(); }) && *isActive);
    AudioObjectID aggregate = kAudioObjectUnknown;
    for (const AudioDeviceInfo& device : enumerateDevices().valueOr({})) {
        aggregate = device.uid.starts_with(kRouteAggregateUIDPrefix) ? device.objectID : aggregate;
    }

    std::atomic<int> cycles{0};
    AudioDeviceIOProcID watcher = nullptr;
    ASSERT_EQ(AudioDeviceCreateIOProcID(aggregate, &watchCycle, &cycles, &watcher), kAudioHardwareNoError);
    watchedAllocations = 0;
    ASSERT_EQ(AudioDeviceStart(aggregate, watcher), kAudioHardwareNoError);
    for (int change = 0; change < 8; ++change) {
        route->setGain(change % 2 == 0 ? 0.25F : 1.0F);
        const int seen = cycles.load();
        EXPECT_TRUE(waitFor([&] { return cycles.load() >= seen + 2; }));
    }
    const std::size_t allocations = watchedAllocations.load();
    EXPECT_EQ(AudioDeviceStop(aggregate, watcher), kAudioHardwareNoError);
    const int stoppedAt = cycles.load();
    const auto callbacks = [&route] {
        std::optional<std::uint64_t> count;
        route->snapshot([&count](const AudioRouteSnapshot& snapshot) { count = snapshot.callbackCount; });
        EXPECT_TRUE(waitFor([&count] { return count.has_value(); }));
        return count.value_or(0);
    };
    const std::uint64_t renderedAtStop = callbacks();
    EXPECT_TRUE(waitFor([&] { return callbacks() >= renderedAtStop + 2; }));
    EXPECT_EQ(cycles.load(), stoppedAt) << "an IO procedure was called after it was stopped";
    EXPECT_EQ(AudioDeviceDestroyIOProcID(aggregate, watcher), kAudioHardwareNoError);
    EXPECT_EQ(allocations, 1U) << "only the probe, which proves the realtime thread is watched";
}

}  // namespace
}  // namespace tonvale
