#include "desktop/CaptureNode.h"

#include "desktop/GraphModel.h"
#include "desktop/PlaybackNode.h"

#include <pipewire/pipewire.h>
#include <spa/pod/builder.h>

namespace desktop {

namespace {

constexpr std::size_t kFormatBytes = 1024;

int nothing(spa_loop*, bool, std::uint32_t, const void*, std::size_t, void*) { return 0; }

}  // namespace

void finishCycle(pw_data_loop* dataLoop) {
    if (dataLoop != nullptr) {
        // The realtime loop runs this between cycles: once it answers, a cycle that read the
        // old state has ended.
        pw_data_loop_invoke(dataLoop, &nothing, SPA_ID_INVALID, nullptr, 0, true, nullptr);
    }
}

CaptureNode::CaptureNode(pw_core* core, const std::string& uuid, const std::string& applicationName, NodeFormat format,
                         std::function<void()> changed)
    : name_(kCaptureNamePrefix + uuid), group_("tonvale.route." + uuid), changed_(std::move(changed)) {
    const std::string description = "Tonvale capture: " + applicationName;
    pw_properties* properties = pw_properties_new(
        PW_KEY_MEDIA_TYPE, "Audio", PW_KEY_MEDIA_CLASS, "Audio/Sink", PW_KEY_NODE_NAME, name_.c_str(),
        PW_KEY_NODE_DESCRIPTION, description.c_str(), PW_KEY_NODE_GROUP, group_.c_str(), "node.link-group",
        group_.c_str(), PW_KEY_NODE_VIRTUAL, "true", kRouteNodeKey, uuid.c_str(), nullptr);
    stream_ = pw_stream_new(core, name_.c_str(), properties);
    if (stream_ == nullptr) {
        hasFailed_ = true;
        return;
    }
    static const pw_stream_events events = [] {
        pw_stream_events stream{};
        stream.version = PW_VERSION_STREAM_EVENTS;
        stream.process = &CaptureNode::onProcess;
        stream.param_changed = &CaptureNode::onParamChanged;
        stream.state_changed = &CaptureNode::onStateChanged;
        return stream;
    }();
    pw_stream_add_listener(stream_, &listener_, &events, this);
    std::uint8_t buffer[kFormatBytes];
    spa_pod_builder builder = SPA_POD_BUILDER_INIT(buffer, sizeof(buffer));
    const spa_pod* offered = offeredFormat(builder, format);
    const auto flags = static_cast<pw_stream_flags>(PW_STREAM_FLAG_MAP_BUFFERS | PW_STREAM_FLAG_RT_PROCESS);
    hasFailed_ = pw_stream_connect(stream_, PW_DIRECTION_INPUT, PW_ID_ANY, flags, &offered, 1) < 0;
}

CaptureNode::~CaptureNode() {
    if (stream_ != nullptr) {
        spa_hook_remove(&listener_);
        pw_stream_destroy(stream_);
    }
}

void CaptureNode::setReader(PlaybackNode* reader, pw_data_loop* dataLoop) {
    const PlaybackNode* replaced = reader_.exchange(reader, std::memory_order_acq_rel);
    if (replaced != nullptr && replaced != reader) {
        finishCycle(dataLoop);
    }
}

void CaptureNode::onProcess(void* data) noexcept {
    auto* self = static_cast<CaptureNode*>(data);
    pw_buffer* input = pw_stream_dequeue_buffer(self->stream_);
    PlaybackNode* reader = self->reader_.load(std::memory_order_acquire);
    if (reader != nullptr) {
        pw_time time{};
        pw_stream_get_time_n(self->stream_, &time, sizeof(time));
        reader->cycle(input != nullptr ? input->buffer : nullptr, self->channels_.load(std::memory_order_relaxed),
                      static_cast<std::uint64_t>(time.now));
    }
    if (input != nullptr) {
        pw_stream_queue_buffer(self->stream_, input);
    }
}

void CaptureNode::onParamChanged(void* data, std::uint32_t id, const spa_pod* parameter) {
    auto* self = static_cast<CaptureNode*>(data);
    if (id != SPA_PARAM_Format) {
        return;
    }
    self->format_ = settledFormat(parameter);
    self->channels_.store(self->format_ ? self->format_->channels : 0, std::memory_order_relaxed);
    self->changed_();
}

void CaptureNode::onStateChanged(void* data, pw_stream_state, pw_stream_state state, const char*) {
    auto* self = static_cast<CaptureNode*>(data);
    const bool hasFailed = state == PW_STREAM_STATE_ERROR || state == PW_STREAM_STATE_UNCONNECTED;
    if (hasFailed != self->hasFailed_) {
        self->hasFailed_ = hasFailed;
        self->changed_();
    }
}

}  // namespace desktop
