#include "desktop/RouteStream.h"

#include <pipewire/pipewire.h>
#include <spa/pod/builder.h>

namespace desktop {

namespace {

constexpr std::size_t kFormatBytes = 1024;

}  // namespace

RouteStream::RouteStream(pw_core* core, pw_properties* properties, pw_direction direction, pw_stream_flags flags,
                         NodeFormat format, std::function<void()> changed, Process process, void* data)
    : changed_(std::move(changed)), process_(process), data_(data) {
    const char* name = pw_properties_get(properties, PW_KEY_NODE_NAME);
    stream_ = pw_stream_new(core, name != nullptr ? name : "Tonvale", properties);
    if (stream_ == nullptr) {
        hasFailed_ = true;
        return;
    }
    events_.version = PW_VERSION_STREAM_EVENTS;
    events_.param_changed = &RouteStream::onParamChanged;
    events_.state_changed = &RouteStream::onStateChanged;
    if (process_ != nullptr) {
        events_.process = &RouteStream::onProcess;
    }
    pw_stream_add_listener(stream_, &listener_, &events_, this);
    std::uint8_t buffer[kFormatBytes];
    spa_pod_builder builder{};
    spa_pod_builder_init(&builder, buffer, sizeof(buffer));
    const spa_pod* offered = offeredFormat(builder, format);
    hasFailed_ = pw_stream_connect(stream_, direction, PW_ID_ANY, flags, &offered, 1) < 0;
}

RouteStream::~RouteStream() {
    if (stream_ != nullptr) {
        spa_hook_remove(&listener_);
        pw_stream_destroy(stream_);
    }
}

void RouteStream::onProcess(void* data) noexcept {
    const auto* self = static_cast<RouteStream*>(data);
    self->process_(self->data_);
}

void RouteStream::onParamChanged(void* data, std::uint32_t id, const spa_pod* parameter) {
    auto* self = static_cast<RouteStream*>(data);
    if (id != SPA_PARAM_Format) {
        return;
    }
    self->format_ = settledFormat(parameter);
    self->channels_.store(self->format_ ? self->format_->channels : 0, std::memory_order_relaxed);
    self->changed_();
}

void RouteStream::onStateChanged(void* data, pw_stream_state, pw_stream_state state, const char*) {
    auto* self = static_cast<RouteStream*>(data);
    self->isStreaming_.store(state == PW_STREAM_STATE_STREAMING, std::memory_order_release);
    const bool hasFailed = state == PW_STREAM_STATE_ERROR || state == PW_STREAM_STATE_UNCONNECTED;
    if (hasFailed != self->hasFailed_) {
        self->hasFailed_ = hasFailed;
        self->changed_();
    }
}

}  // namespace desktop
