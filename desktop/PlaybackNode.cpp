#include "desktop/PlaybackNode.h"

#include "desktop/CaptureNode.h"
#include "desktop/GraphModel.h"

#include <pipewire/pipewire.h>

#include <algorithm>
#include <cstring>

namespace desktop {

namespace {

constexpr std::uint32_t kBytesPerSample = sizeof(float);

// The session manager restores nothing of its own on this stream: its volume is the route's
// gain, and its target is the route's destination alone.
pw_properties* playbackProperties(const std::string& uuid, const CaptureNode& capture, const std::string& destination) {
    const std::string name = "tonvale.playback." + uuid;
    return pw_properties_new(PW_KEY_MEDIA_TYPE, "Audio", PW_KEY_MEDIA_CATEGORY, "Playback", PW_KEY_NODE_NAME,
                             name.c_str(), PW_KEY_NODE_GROUP, capture.group().c_str(), "node.link-group",
                             capture.group().c_str(), PW_KEY_TARGET_OBJECT, destination.c_str(),
                             PW_KEY_NODE_DONT_RECONNECT, "true", "state.restore-props", "false", "state.restore-target",
                             "false", kRouteNodeKey, uuid.c_str(), nullptr);
}

// Opaque procedure identifiers, never called, unique in the process.
AudioDeviceIOProcID newProcedureID() {
    static std::atomic<std::uintptr_t> next{0x7100};
    return reinterpret_cast<AudioDeviceIOProcID>(next.fetch_add(0x10));
}

}  // namespace

PlaybackNode::PlaybackNode(pw_core* core, AudioObjectID device, const std::string& uuid, const CaptureNode& capture,
                           const std::string& destination, NodeFormat format, std::function<void()> changed)
    : device_(device),
      stream_(core, playbackProperties(uuid, capture, destination), PW_DIRECTION_OUTPUT,
              static_cast<pw_stream_flags>(PW_STREAM_FLAG_AUTOCONNECT | PW_STREAM_FLAG_MAP_BUFFERS |
                                           PW_STREAM_FLAG_RT_PROCESS | PW_STREAM_FLAG_TRIGGER),
              format, std::move(changed)) {}

PlaybackNode::Procedure* PlaybackNode::slotOf(AudioDeviceIOProcID id) {
    const auto found = std::find_if(procedures_.begin(), procedures_.end(),
                                    [id](const Procedure& procedure) { return procedure.id == id; });
    return found == procedures_.end() ? nullptr : &*found;
}

OSStatus PlaybackNode::addProcedure(AudioDeviceIOProc procedure, void* clientData, AudioDeviceIOProcID& outID) {
    Procedure* slot = slotOf(nullptr);
    if (slot == nullptr) {
        return kAudioHardwareIllegalOperationError;
    }
    slot->id = newProcedureID();
    slot->function.store(procedure, std::memory_order_relaxed);
    slot->clientData.store(clientData, std::memory_order_relaxed);
    outID = slot->id;
    return kAudioHardwareNoError;
}

OSStatus PlaybackNode::removeProcedure(AudioDeviceIOProcID id, pw_data_loop* dataLoop) {
    Procedure* slot = id == nullptr ? nullptr : slotOf(id);
    if (slot == nullptr) {
        return kAudioHardwareIllegalOperationError;
    }
    (void)setStarted(id, false, dataLoop);
    slot->function.store(nullptr, std::memory_order_relaxed);
    slot->clientData.store(nullptr, std::memory_order_relaxed);
    slot->id = nullptr;
    return kAudioHardwareNoError;
}

OSStatus PlaybackNode::setStarted(AudioDeviceIOProcID id, bool isStarted, pw_data_loop* dataLoop) {
    Procedure* slot = id == nullptr ? nullptr : slotOf(id);
    if (slot == nullptr) {
        return kAudioHardwareIllegalOperationError;
    }
    const bool wasStarted = slot->isStarted.exchange(isStarted, std::memory_order_acq_rel);
    if (wasStarted && !isStarted) {
        finishCycle(dataLoop);
    }
    return kAudioHardwareNoError;
}

bool PlaybackNode::hasStartedProcedure() const {
    return std::any_of(procedures_.begin(), procedures_.end(),
                       [](const Procedure& procedure) { return procedure.isStarted.load(std::memory_order_relaxed); });
}

void PlaybackNode::cycle(const spa_buffer* input, std::uint32_t inputChannels, std::uint64_t nanoseconds) noexcept {
    if (!stream_.isStreaming()) {
        return;
    }
    pw_stream* stream = stream_.stream();
    pw_buffer* buffer = pw_stream_dequeue_buffer(stream);
    const std::uint32_t channels = stream_.channels();
    if (buffer != nullptr && buffer->buffer->n_datas > 0 && buffer->buffer->datas[0].data != nullptr && channels != 0) {
        std::uint64_t frames = buffer->requested;
        input_.mNumberBuffers = 0;
        if (input != nullptr && input->n_datas > 0 && input->datas[0].data != nullptr && inputChannels != 0) {
            const spa_data& from = input->datas[0];
            const std::uint32_t offset = std::min(from.chunk->offset, from.maxsize);
            const std::uint32_t size = std::min(from.chunk->size, from.maxsize - offset);
            input_.mNumberBuffers = 1;
            input_.mBuffers[0] = {inputChannels, size, static_cast<char*>(from.data) + offset};
            frames = size / (inputChannels * kBytesPerSample);
        }
        spa_data& to = buffer->buffer->datas[0];
        const std::uint32_t stride = channels * kBytesPerSample;
        const auto played = static_cast<std::uint32_t>(std::min<std::uint64_t>(frames, to.maxsize / stride));
        output_.mNumberBuffers = 1;
        output_.mBuffers[0] = {channels, played * stride, to.data};
        AudioTimeStamp now{};
        now.mHostTime = nanoseconds;
        now.mFlags = kAudioTimeStampHostTimeValid;
        bool isWritten = false;
        for (Procedure& procedure : procedures_) {
            if (procedure.isStarted.load(std::memory_order_acquire)) {
                procedure.function.load(std::memory_order_relaxed)(
                    device_, &now, &input_, &now, &output_, &now, procedure.clientData.load(std::memory_order_relaxed));
                isWritten = true;
            }
        }
        if (!isWritten) {
            std::memset(to.data, 0, static_cast<std::size_t>(played) * stride);
        }
        to.chunk->offset = 0;
        to.chunk->stride = static_cast<std::int32_t>(stride);
        to.chunk->size = played * stride;
        pw_stream_queue_buffer(stream, buffer);
    } else if (buffer != nullptr) {
        pw_stream_queue_buffer(stream, buffer);
    }
    pw_stream_trigger_process(stream);
}

}  // namespace desktop
