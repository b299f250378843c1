// Proves that the render function allocates nothing: this binary replaces the global
// allocation functions with ones that count the calls made by the thread under watch.
#include <gtest/gtest.h>

#include <cstdlib>
#include <new>

#include "engine/AudioRouteRenderer.h"
#include "tests/engine/FakeAggregateDevice.h"
#include "tests/engine/RenderBuffers.h"

namespace {

thread_local bool isWatching = false;
thread_local std::size_t watchedAllocations = 0;

void* countedAllocation(std::size_t size) noexcept {
    watchedAllocations += isWatching ? 1 : 0;
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

}  // namespace
}  // namespace tonvale
