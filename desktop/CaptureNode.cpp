#include "desktop/CaptureNode.h"

#include "desktop/GraphModel.h"
#include "desktop/PlaybackNode.h"

#include <pipewire/pipewire.h>

namespace desktop {

namespace {

int nothing(spa_loop*, bool, std::uint32_t, const void*, std::size_t, void*) { return 0; }

pw_properties* captureProperties(const std::string& name, const std::string& group, const std::string& uuid,
                                 const std::string& applicationName) {
    const std::string description = "Tonvale capture: " + applicationName;
    return pw_properties_new(PW_KEY_MEDIA_TYPE, "Audio", PW_KEY_MEDIA_CLASS, "Audio/Sink", PW_KEY_NODE_NAME,
                             name.c_str(), PW_KEY_NODE_DESCRIPTION, description.c_str(), PW_KEY_NODE_GROUP,
                             group.c_str(), "node.link-group", group.c_str(), PW_KEY_NODE_VIRTUAL, "true",
                             kRouteNodeKey, uuid.c_str(), nullptr);
}

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
    : name_(kCaptureNamePrefix + uuid),
      group_("tonvale.route." + uuid),
      stream_(core, captureProperties(name_, group_, uuid, applicationName), PW_DIRECTION_INPUT,
              static_cast<pw_stream_flags>(PW_STREAM_FLAG_MAP_BUFFERS | PW_STREAM_FLAG_RT_PROCESS), format,
              std::move(changed), &CaptureNode::onProcess, this) {}

void CaptureNode::setReader(PlaybackNode* reader, pw_data_loop* dataLoop) {
    const PlaybackNode* replaced = reader_.exchange(reader, std::memory_order_acq_rel);
    if (replaced != nullptr && replaced != reader) {
        finishCycle(dataLoop);
    }
}

void CaptureNode::onProcess(void* data) noexcept {
    auto* self = static_cast<CaptureNode*>(data);
    pw_stream* stream = self->stream_.stream();
    pw_buffer* input = pw_stream_dequeue_buffer(stream);
    PlaybackNode* reader = self->reader_.load(std::memory_order_acquire);
    if (reader != nullptr) {
        pw_time time{};
        pw_stream_get_time_n(stream, &time, sizeof(time));
        reader->cycle(input != nullptr ? input->buffer : nullptr, self->stream_.channels(),
                      static_cast<std::uint64_t>(time.now));
    }
    if (input != nullptr) {
        pw_stream_queue_buffer(stream, input);
    }
}

}  // namespace desktop
