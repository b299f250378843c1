#include "tests/desktop/SinkMonitor.h"

#include <pipewire/pipewire.h>
#include <spa/pod/builder.h>

#include <algorithm>
#include <cmath>
#include <deque>
#include <mutex>
#include <utility>

#include "desktop/NodeFormat.h"
#include "tests/desktop/PipeWireDaemon.h"

namespace tonvale::testing {

namespace {

constexpr double kToneAmplitude = 4100.0 / 32768.0;
constexpr std::size_t kEnvelopeFrames = 128;
constexpr std::size_t kLevelFrames = 4800;
constexpr std::size_t kEnvelopeLength = 2000;

}  // namespace

struct SinkMonitor::Stream {
    pw_thread_loop* loop = nullptr;
    pw_context* context = nullptr;
    pw_core* core = nullptr;
    pw_stream* stream = nullptr;
    spa_hook listener{};
    std::mutex mutex;
    std::deque<float> squares;  // the last samples' squares (left channel)
    double peak = 0.0;
    std::vector<double> envelope;

    static void onProcess(void* data) {
        auto* self = static_cast<Stream*>(data);
        pw_buffer* buffer = pw_stream_dequeue_buffer(self->stream);
        if (buffer == nullptr) {
            return;
        }
        const spa_data& block = buffer->buffer->datas[0];
        const auto* samples = static_cast<const float*>(block.data) + block.chunk->offset / sizeof(float);
        const std::size_t frames = block.chunk->size / (2 * sizeof(float));
        std::lock_guard lock(self->mutex);
        for (std::size_t first = 0; first < frames; first += kEnvelopeFrames) {
            double loudest = 0.0;
            for (std::size_t frame = first; frame < std::min(frames, first + kEnvelopeFrames); ++frame) {
                loudest = std::max(loudest, std::fabs(static_cast<double>(samples[2 * frame])));
                self->squares.push_back(samples[2 * frame] * samples[2 * frame]);
            }
            self->peak = std::max(self->peak, loudest / kToneAmplitude);
            self->envelope.push_back(loudest / kToneAmplitude);
        }
        while (self->squares.size() > kLevelFrames) {
            self->squares.pop_front();
        }
        if (self->envelope.size() > kEnvelopeLength) {
            self->envelope.erase(self->envelope.begin(), self->envelope.end() - kEnvelopeLength);
        }
        pw_stream_queue_buffer(self->stream, buffer);
    }
};

SinkMonitor::SinkMonitor(const std::string& sinkName) : stream_(std::make_unique<Stream>()) {
    pw_init(nullptr, nullptr);
    Stream& s = *stream_;
    s.loop = pw_thread_loop_new("tests.monitor", nullptr);
    s.context = pw_context_new(pw_thread_loop_get_loop(s.loop), nullptr, 0);
    pw_thread_loop_lock(s.loop);
    pw_thread_loop_start(s.loop);
    s.core = pw_context_connect(s.context, nullptr, 0);
    s.stream = pw_stream_new(
        s.core, "tests.monitor",
        pw_properties_new(PW_KEY_MEDIA_TYPE, "Audio", PW_KEY_MEDIA_CATEGORY, "Capture", PW_KEY_STREAM_CAPTURE_SINK,
                          "true", PW_KEY_TARGET_OBJECT, sinkName.c_str(), PW_KEY_NODE_DONT_RECONNECT, "true", nullptr));
    static const pw_stream_events events = [] {
        pw_stream_events stream{};
        stream.version = PW_VERSION_STREAM_EVENTS;
        stream.process = &Stream::onProcess;
        return stream;
    }();
    pw_stream_add_listener(s.stream, &s.listener, &events, &s);
    std::uint8_t buffer[512];
    spa_pod_builder builder{};
    spa_pod_builder_init(&builder, buffer, sizeof(buffer));
    const spa_pod* format = desktop::offeredFormat(builder, desktop::NodeFormat{2, 48000});
    pw_stream_connect(s.stream, PW_DIRECTION_INPUT, PW_ID_ANY,
                      static_cast<pw_stream_flags>(PW_STREAM_FLAG_AUTOCONNECT | PW_STREAM_FLAG_MAP_BUFFERS), &format,
                      1);
    pw_thread_loop_unlock(s.loop);
}

SinkMonitor::~SinkMonitor() {
    Stream& s = *stream_;
    pw_thread_loop_stop(s.loop);
    spa_hook_remove(&s.listener);
    pw_stream_destroy(s.stream);
    pw_core_disconnect(s.core);
    pw_context_destroy(s.context);
    pw_thread_loop_destroy(s.loop);
}

double SinkMonitor::gain() const {
    std::lock_guard lock(stream_->mutex);
    double sum = 0.0;
    for (const float square : stream_->squares) {
        sum += square;
    }
    const double rms = stream_->squares.empty() ? 0.0 : std::sqrt(sum / static_cast<double>(stream_->squares.size()));
    return rms / (kToneAmplitude / std::sqrt(2.0));
}

double SinkMonitor::takePeak() {
    std::lock_guard lock(stream_->mutex);
    return std::exchange(stream_->peak, 0.0);
}

std::vector<double> SinkMonitor::takeEnvelope() {
    std::lock_guard lock(stream_->mutex);
    return std::exchange(stream_->envelope, {});
}

bool hearsGain(const SinkMonitor& monitor, double gain, double seconds) {
    return waitFor(
        [&monitor, gain] {
            const double heard = monitor.gain();
            return gain == 0.0 ? heard < 0.01 : std::fabs(20.0 * std::log10(heard / gain)) <= 0.5;
        },
        seconds);
}

}  // namespace tonvale::testing
