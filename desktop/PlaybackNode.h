// A private aggregate device's IO on the desktop's audio server: a playback stream to the
// destination in the capture node's group, and the IO procedures, called once per graph
// cycle on the realtime thread with the capture's input and this stream's output. The
// stream is triggered by the capture's cycle, so both run in the same cycle and the route
// adds no cycle of latency; it is never moved to another output (when its destination goes,
// the session manager removes it).
//
// Owned by PipeWireRoutes: made, changed and destroyed on the connection's loop with its
// lock held. cycle() runs on the realtime thread: it allocates nothing, locks nothing and
// logs nothing, and touches only the stream, the procedure table and its buffer lists.
// Thread-safety: as said above.
#pragma once

#include "desktop/RouteStream.h"
#include "platform/coreaudio/CoreAudioTypes.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <string>

struct pw_data_loop;

namespace desktop {

class CaptureNode;

class PlaybackNode {
public:
    // A playback stream of the device that plays to the node named destination, in capture's
    // group, offering format; changed is called (on the loop) when its format or state changes.
    PlaybackNode(pw_core* core, AudioObjectID device, const std::string& uuid, const CaptureNode& capture,
                 const std::string& destination, NodeFormat format, std::function<void()> changed);
    PlaybackNode(const PlaybackNode&) = delete;
    PlaybackNode& operator=(const PlaybackNode&) = delete;

    [[nodiscard]] const std::optional<NodeFormat>& format() const { return stream_.format(); }
    // The stream ended or was removed (its destination went away).
    [[nodiscard]] bool hasFailed() const { return stream_.hasFailed(); }

    // AudioDeviceCreateIOProcID, AudioDeviceDestroyIOProcID, AudioDeviceStart and
    // AudioDeviceStop for this device. Once destroy or stop returns, the procedure is not
    // called again.
    [[nodiscard]] OSStatus addProcedure(AudioDeviceIOProc procedure, void* clientData, AudioDeviceIOProcID& outID);
    [[nodiscard]] OSStatus removeProcedure(AudioDeviceIOProcID id, pw_data_loop* dataLoop);
    [[nodiscard]] OSStatus setStarted(AudioDeviceIOProcID id, bool isStarted, pw_data_loop* dataLoop);
    [[nodiscard]] bool hasStartedProcedure() const;

    // One graph cycle, on the realtime thread: the capture's input (none when it had none)
    // with its channels, and the cycle's time; fills and queues this stream's output.
    void cycle(const spa_buffer* input, std::uint32_t inputChannels, std::uint64_t nanoseconds) noexcept;

private:
    // A slot of the procedure table. The realtime thread reads a slot only while it is
    // started; the control side fills it before starting it and empties it after stopping.
    struct Procedure {
        std::atomic<AudioDeviceIOProc> function{nullptr};
        std::atomic<void*> clientData{nullptr};
        std::atomic<bool> isStarted{false};
        AudioDeviceIOProcID id = nullptr;
    };
    static constexpr std::size_t kProcedureSlots = 4;

    [[nodiscard]] Procedure* slotOf(AudioDeviceIOProcID id);

    const AudioObjectID device_;
    std::array<Procedure, kProcedureSlots> procedures_;
    AudioBufferList input_{};
    AudioBufferList output_{};
    RouteStream stream_;
};

}  // namespace desktop
