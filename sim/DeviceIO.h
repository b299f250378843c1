// One device's IO cycle state: its IO procedures, its timer and queue, and the
// buffers and plan reused from cycle to cycle. Internal to sim/.
//
// Owned by the device (shared with the timer's handler). The cycle runs on the
// device's IO queue and holds DeviceIO::mutex throughout (CycleLock), so a change made
// under that mutex (AudioDeviceStop) is never overtaken by a cycle.
// Thread-safety: every field is guarded by mutex, except cycles (atomic).
#pragma once

#include "platform/coreaudio/CoreAudioTypes.h"
#include "platform/dispatch/Dispatch.h"
#include "sim/AudioSource.h"
#include "sim/PlayedTimeline.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace sim {

// How one stream's samples lie in its buffers.
struct StreamLayout {
    UInt32 channels = 2;
    bool isInterleaved = true;
    bool isFloat = true;
    UInt32 bitsPerChannel = 32;
    bool operator==(const StreamLayout&) const = default;

    [[nodiscard]] static StreamLayout of(const AudioStreamBasicDescription& format);
    [[nodiscard]] UInt32 bytesPerSample() const { return bitsPerChannel / 8; }
};

// An AudioBufferList with its sample memory, laid out for a list of streams.
// Memory grows when a larger layout arrives and is reused otherwise.
class BufferListStorage {
public:
    void layOut(const std::vector<StreamLayout>& streams, UInt32 frames);
    [[nodiscard]] AudioBufferList* list() { return reinterpret_cast<AudioBufferList*>(listMemory_.data()); }
    void zero();
    // Converts an interleaved float block into the stream's buffers.
    void write(std::size_t stream, const float* interleaved, UInt32 frames);
    // Converts the stream's buffers into an interleaved float block.
    void read(std::size_t stream, float* interleaved, UInt32 frames);

private:
    struct Placement {
        StreamLayout layout;
        UInt32 firstBuffer = 0;
    };
    std::vector<std::byte> listMemory_;
    std::vector<std::byte> sampleMemory_;
    std::vector<Placement> placements_;
    UInt32 frames_ = 0;
};

struct IOProcEntry {
    AudioDeviceIOProcID id = nullptr;
    AudioDeviceIOProc proc = nullptr;
    void* clientData = nullptr;
    bool isStarted = false;
};

// What one cycle renders, copied from the world under its mutex.
struct CyclePlan {
    struct Input {
        StreamLayout layout;
        std::vector<AudioSource> sources;
    };
    struct Output {
        StreamLayout layout;
        // Where the stream is heard: its device, and every member of a stacked aggregate.
        std::vector<std::shared_ptr<PlayedTimeline>> targets;
    };
    AudioObjectID deviceID = 0;
    double sampleRate = 48000.0;
    UInt32 frames = 512;
    bool callsProcs = false;
    std::vector<Input> inputs;
    std::vector<Output> outputs;
    // A physical device's own playback: the processes that play to it untapped.
    std::vector<AudioSource> direct;
    std::shared_ptr<PlayedTimeline> ownTimeline;
    std::vector<IOProcEntry> procs;
};

struct DeviceIO {
    explicit DeviceIO(std::string deviceUID) : uid(std::move(deviceUID)) {}

    // Held by the device's IO cycle for the whole cycle. It marks the thread as the
    // cycle's, so that an IO procedure calling back into the server (AudioDeviceStop
    // from inside the cycle) does not take the mutex a second time.
    class CycleLock {
    public:
        explicit CycleLock(DeviceIO& io);
        ~CycleLock();
        CycleLock(const CycleLock&) = delete;
        CycleLock& operator=(const CycleLock&) = delete;

    private:
        std::lock_guard<std::mutex> lock_;
        const DeviceIO* outer_;
    };

    // Takes the mutex, unless the calling thread runs this device's cycle and holds it already.
    [[nodiscard]] std::unique_lock<std::mutex> lock();

    const std::string uid;
    std::mutex mutex;
    std::vector<IOProcEntry> procs;
    dispatch::QueuePtr queue;
    std::shared_ptr<dispatch::DispatchSourceTimer> timer;
    std::int64_t nextFrame = 0;
    dispatch::Seconds startedAt = 0.0;
    dispatch::Seconds interval = 0.01;
    std::uint64_t cyclesSinceStart = 0;
    std::atomic<std::uint64_t> cycles{0};
    CyclePlan plan;
    BufferListStorage inputBuffers;
    BufferListStorage outputBuffers;
    std::vector<StreamLayout> inputLayouts;
    std::vector<StreamLayout> outputLayouts;
    std::vector<float> block;
    std::vector<float> mix;

    [[nodiscard]] IOProcEntry* entry(AudioDeviceIOProcID id);
    // Renders one cycle of the plan starting at frame: inputs, IO procedures,
    // and the output into the played timelines. Called with mutex held.
    void render(std::int64_t frame);

    [[nodiscard]] bool hasStartedProc() const {
        for (const auto& entry : procs) {
            if (entry.isStarted) {
                return true;
            }
        }
        return false;
    }
};

}  // namespace sim
