// One stream of a route on the desktop's audio server (a capture node or a playback
// stream): made with the route's properties, offering interleaved Float32, and telling its
// owner when the server settles its format or the stream fails or ends.
//
// Owned by a CaptureNode or PlaybackNode: made, read and destroyed on the connection's loop
// with its lock held. The processing function runs on the realtime thread; channels() and
// isStreaming() may be read there.
// Thread-safety: as said above.
#pragma once

#include "desktop/NodeFormat.h"

#include <pipewire/stream.h>

#include <atomic>
#include <functional>
#include <optional>

namespace desktop {

class RouteStream {
public:
    using Process = void (*)(void* data) noexcept;

    // Takes properties. process (with data) runs once per graph cycle on the realtime thread,
    // if given; changed runs on the loop when the format or state changes.
    RouteStream(pw_core* core, pw_properties* properties, pw_direction direction, pw_stream_flags flags,
                NodeFormat format, std::function<void()> changed, Process process = nullptr, void* data = nullptr);
    ~RouteStream();
    RouteStream(const RouteStream&) = delete;
    RouteStream& operator=(const RouteStream&) = delete;

    [[nodiscard]] pw_stream* stream() const { return stream_; }
    [[nodiscard]] const std::optional<NodeFormat>& format() const { return format_; }
    // The stream could not be made, ended, or was removed (its destination went away).
    [[nodiscard]] bool hasFailed() const { return hasFailed_; }
    // Realtime-safe: the settled channels (0 before), and whether the server runs it.
    [[nodiscard]] std::uint32_t channels() const noexcept { return channels_.load(std::memory_order_relaxed); }
    [[nodiscard]] bool isStreaming() const noexcept { return isStreaming_.load(std::memory_order_acquire); }

private:
    static void onProcess(void* data) noexcept;
    static void onParamChanged(void* data, std::uint32_t id, const spa_pod* parameter);
    static void onStateChanged(void* data, pw_stream_state old, pw_stream_state state, const char* error);

    const std::function<void()> changed_;
    const Process process_;
    void* const data_;
    pw_stream_events events_{};
    pw_stream* stream_ = nullptr;
    spa_hook listener_{};
    std::optional<NodeFormat> format_;
    bool hasFailed_ = false;
    std::atomic<std::uint32_t> channels_{0};
    std::atomic<bool> isStreaming_{false};
};

}  // namespace desktop
