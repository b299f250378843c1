// Routes on the desktop's audio server, measured on the PipeWire server the environment
// names (bench/pipewire_route_bench.py starts a private one, with a player of its own):
// - how long a route takes to start, from the request to the active answer on the main
//   queue (the player "org.example.Bench" routed to Test Sink B, then stopped, untimed);
// - how many graph cycles a route adds: clicks played into the graph are heard on Test Sink
//   B's monitor, timed by the graph's clock, once played straight to B and once routed there
//   from Test Sink A.
#include <benchmark/benchmark.h>

#include <pipewire/pipewire.h>
#include <spa/node/io.h>
#include <spa/pod/builder.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "desktop/DesktopServers.h"
#include "desktop/NodeFormat.h"
#include "engine/RouteController.h"
#include "hal/AudioProcessCatalogue.h"
#include "platform/dispatch/Dispatch.h"

namespace {

constexpr const char* kDestination = "tonvale_test_sink_b";
constexpr const char* kClickerID = "org.tonvale.Clicker";
constexpr std::uint64_t kCyclesBetweenClicks = 24;

std::vector<AudioObjectID> playingProcesses(const std::string& bundleID) {
    std::vector<AudioObjectID> found;
    for (const auto& process : tonvale::enumerateProcesses().valueOr({})) {
        if (process.bundleID == bundleID && process.isRunningOutput) {
            found.push_back(process.objectID);
        }
    }
    return found;
}

// Runs the main queue until work on it calls MainRunLoop::stop().
template <typename Request>
void runUntilAnswered(Request&& request) {
    request([] { dispatch::MainRunLoop::stop(); });
    dispatch::MainRunLoop::run();
}

bool startRoute(tonvale::RouteController& route, const std::vector<AudioObjectID>& processes) {
    bool isActive = false;
    runUntilAnswered([&](auto answered) {
        route.start(processes, kDestination, 1.0F, [&isActive, answered](const tonvale::RouteStartResult& result) {
            isActive = result.isSuccess();
            answered();
        });
    });
    return isActive;
}

void stopRoute(tonvale::RouteController& route) {
    runUntilAnswered([&route](auto answered) { route.stop(answered); });
}

void BM_PipeWireRouteStart(benchmark::State& state) {
    const std::vector<AudioObjectID> player = playingProcesses("org.example.Bench");
    if (player.empty()) {
        state.SkipWithError("no player org.example.Bench");
        return;
    }
    const auto route = tonvale::RouteController::create();
    for (auto _ : state) {
        const auto began = std::chrono::steady_clock::now();
        const bool isActive = startRoute(*route, player);
        state.SetIterationTime(std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count());
        stopRoute(*route);
        if (!isActive) {
            state.SkipWithError("the route did not start");
            return;
        }
    }
}
BENCHMARK(BM_PipeWireRouteStart)->UseManualTime()->Iterations(20)->Unit(benchmark::kMillisecond);

// A clicker (a playback stream of its own, kClickerID) that clicks every 24 cycles, and a
// recorder of the destination's monitor; each click heard gives its delay in frames of the
// graph's clock. On a connection of its own.
class Clicks {
public:
    explicit Clicks(bool isStraightToDestination) {
        loop_ = pw_thread_loop_new("bench.clicks", nullptr);
        context_ = pw_context_new(pw_thread_loop_get_loop(loop_), nullptr, 0);
        pw_thread_loop_lock(loop_);
        pw_thread_loop_start(loop_);
        core_ = pw_context_connect(context_, nullptr, 0);
        pw_properties* clicker = pw_properties_new(PW_KEY_MEDIA_TYPE, "Audio", PW_KEY_MEDIA_CATEGORY, "Playback",
                                                   PW_KEY_APP_ID, kClickerID, nullptr);
        if (isStraightToDestination) {
            pw_properties_set(clicker, PW_KEY_TARGET_OBJECT, kDestination);
        }
        clicker_ = connect(PW_DIRECTION_OUTPUT, &Clicks::onClick, clicker, clickerHook_);
        recorder_ = connect(
            PW_DIRECTION_INPUT, &Clicks::onRecord,
            pw_properties_new(PW_KEY_MEDIA_TYPE, "Audio", PW_KEY_MEDIA_CATEGORY, "Capture", PW_KEY_APP_ID, kClickerID,
                              PW_KEY_STREAM_CAPTURE_SINK, "true", PW_KEY_TARGET_OBJECT, kDestination, nullptr),
            recorderHook_);
        pw_thread_loop_unlock(loop_);
    }
    ~Clicks() {
        pw_thread_loop_stop(loop_);
        pw_stream_destroy(clicker_);
        pw_stream_destroy(recorder_);
        pw_core_disconnect(core_);
        pw_context_destroy(context_);
        pw_thread_loop_destroy(loop_);
    }
    Clicks(const Clicks&) = delete;
    Clicks& operator=(const Clicks&) = delete;

    // The delays heard so far, and the graph's quantum.
    std::vector<std::int64_t> delays() {
        std::lock_guard lock(mutex_);
        return delays_;
    }
    [[nodiscard]] std::uint64_t quantum() const { return quantum_.load(); }

private:
    pw_stream* connect(pw_direction direction, void (*process)(void*), pw_properties* properties, spa_hook& hook) {
        pw_stream* stream = pw_stream_new(core_, kClickerID, properties);
        auto* events = direction == PW_DIRECTION_OUTPUT ? &clickerEvents_ : &recorderEvents_;
        events->version = PW_VERSION_STREAM_EVENTS;
        events->process = process;
        events->io_changed = direction == PW_DIRECTION_OUTPUT ? &Clicks::onClickerIO : &Clicks::onRecorderIO;
        pw_stream_add_listener(stream, &hook, events, this);
        std::uint8_t buffer[512];
        spa_pod_builder builder{};
        spa_pod_builder_init(&builder, buffer, sizeof(buffer));
        const spa_pod* format = desktop::offeredFormat(builder, desktop::NodeFormat{2, 48000});
        pw_stream_connect(stream, direction, PW_ID_ANY,
                          static_cast<pw_stream_flags>(PW_STREAM_FLAG_AUTOCONNECT | PW_STREAM_FLAG_MAP_BUFFERS |
                                                       PW_STREAM_FLAG_RT_PROCESS),
                          &format, 1);
        return stream;
    }

    static void onClickerIO(void* data, std::uint32_t id, void* area, std::uint32_t) {
        if (id == SPA_IO_Position) {
            static_cast<Clicks*>(data)->clickerPosition_.store(static_cast<spa_io_position*>(area));
        }
    }
    static void onRecorderIO(void* data, std::uint32_t id, void* area, std::uint32_t) {
        if (id == SPA_IO_Position) {
            static_cast<Clicks*>(data)->recorderPosition_.store(static_cast<spa_io_position*>(area));
        }
    }

    static void onClick(void* data) {
        auto* self = static_cast<Clicks*>(data);
        pw_buffer* buffer = pw_stream_dequeue_buffer(self->clicker_);
        const spa_io_position* position = self->clickerPosition_.load();
        if (buffer == nullptr || position == nullptr) {
            return;
        }
        spa_data& out = buffer->buffer->datas[0];
        const auto frames = static_cast<std::uint32_t>(std::min<std::uint64_t>(
            buffer->requested != 0 ? buffer->requested : position->clock.duration, out.maxsize / 8));
        auto* samples = static_cast<float*>(out.data);
        std::fill(samples, samples + 2 * frames, 0.0F);
        if (self->cycles_++ % kCyclesBetweenClicks == 0) {
            samples[0] = samples[1] = 0.9F;
            self->sentAt_.store(static_cast<std::int64_t>(position->clock.position));
        }
        self->quantum_.store(position->clock.duration);
        out.chunk->offset = 0;
        out.chunk->stride = 8;
        out.chunk->size = frames * 8;
        pw_stream_queue_buffer(self->clicker_, buffer);
    }

    static void onRecord(void* data) {
        auto* self = static_cast<Clicks*>(data);
        pw_buffer* buffer = pw_stream_dequeue_buffer(self->recorder_);
        const spa_io_position* position = self->recorderPosition_.load();
        if (buffer == nullptr) {
            return;
        }
        const spa_data& in = buffer->buffer->datas[0];
        const auto* samples = static_cast<const float*>(in.data) + in.chunk->offset / sizeof(float);
        for (std::uint32_t frame = 0; position != nullptr && frame < in.chunk->size / 8; ++frame) {
            if (samples[2 * frame] > 0.3F) {
                std::lock_guard lock(self->mutex_);
                self->delays_.push_back(static_cast<std::int64_t>(position->clock.position + frame) -
                                        self->sentAt_.load());
                break;
            }
        }
        pw_stream_queue_buffer(self->recorder_, buffer);
    }

    pw_thread_loop* loop_ = nullptr;
    pw_context* context_ = nullptr;
    pw_core* core_ = nullptr;
    pw_stream* clicker_ = nullptr;
    pw_stream* recorder_ = nullptr;
    pw_stream_events clickerEvents_{};
    pw_stream_events recorderEvents_{};
    spa_hook clickerHook_{};
    spa_hook recorderHook_{};
    std::atomic<spa_io_position*> clickerPosition_{nullptr};
    std::atomic<spa_io_position*> recorderPosition_{nullptr};
    std::uint64_t cycles_ = 0;
    std::atomic<std::int64_t> sentAt_{0};
    std::atomic<std::uint64_t> quantum_{0};
    std::mutex mutex_;
    std::vector<std::int64_t> delays_;
};

// The median delay of the clicks heard within seconds, once there are five.
std::optional<std::int64_t> medianDelay(Clicks& clicks, double seconds) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    std::vector<std::int64_t> delays;
    while ((delays = clicks.delays()).size() < 5 && std::chrono::steady_clock::now() < until) {
        dispatch::DispatchQueue::main()->asyncAfter(0.05, [] { dispatch::MainRunLoop::stop(); });
        dispatch::MainRunLoop::run();
    }
    if (delays.empty()) {
        return std::nullopt;
    }
    std::nth_element(delays.begin(), delays.begin() + delays.size() / 2, delays.end());
    return delays[delays.size() / 2];
}

void BM_PipeWireRouteAddedLatency(benchmark::State& state) {
    for (auto _ : state) {
        std::optional<std::int64_t> straight;
        std::optional<std::int64_t> routed;
        std::uint64_t quantum = 0;
        {
            Clicks clicks(true);
            straight = medianDelay(clicks, 10.0);
            quantum = clicks.quantum();
        }
        Clicks clicks(false);
        std::vector<AudioObjectID> clicker;
        const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while ((clicker = playingProcesses(kClickerID)).empty() && std::chrono::steady_clock::now() < until) {
            dispatch::DispatchQueue::main()->asyncAfter(0.05, [] { dispatch::MainRunLoop::stop(); });
            dispatch::MainRunLoop::run();
        }
        const auto route = tonvale::RouteController::create();
        if (clicker.empty() || !startRoute(*route, clicker)) {
            state.SkipWithError("the clicker could not be routed");
            return;
        }
        routed = medianDelay(clicks, 10.0);
        stopRoute(*route);
        if (!straight || !routed || quantum == 0) {
            state.SkipWithError("no clicks were heard");
            return;
        }
        state.counters["straight_frames"] = static_cast<double>(*straight);
        state.counters["routed_frames"] = static_cast<double>(*routed);
        state.counters["quantum"] = static_cast<double>(quantum);
        state.counters["added_cycles"] = static_cast<double>(*routed - *straight) / static_cast<double>(quantum);
    }
}
BENCHMARK(BM_PipeWireRouteAddedLatency)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    if (const auto error = desktop::DesktopServers::startShared()) {
        std::fprintf(stderr, "pipewire_route_bench: %s\n", error->c_str());
        return 1;
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
