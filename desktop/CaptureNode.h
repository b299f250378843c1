// A process tap on the desktop's audio server: a private capture node, an Audio/Sink that
// only this program reads, which the tapped processes' streams are moved into while the
// tap is read (StreamTargets). Described as "Tonvale capture: <application>", so that a
// person who sees it in another mixer knows what it is. Each graph cycle's input goes to
// the playback node that reads the tap, if any, on the server connection's realtime thread.
//
// Owned by PipeWireRoutes: made, read and destroyed on the connection's loop with its lock
// held. The processing runs on the realtime thread and touches only the stream and reader.
// Thread-safety: as said above.
#pragma once

#include "desktop/RouteStream.h"

#include <atomic>
#include <functional>
#include <string>

struct pw_data_loop;

namespace desktop {

class PlaybackNode;

// The name prefix of every capture node this program makes; the "default" metadata's
// stream targets name them by node name.
inline constexpr const char* kCaptureNamePrefix = "tonvale.capture.";

class CaptureNode {
public:
    // A capture node for the tap with that UUID, for an application of that name, offering
    // format; changed is called (on the loop) when its format or state changes.
    CaptureNode(pw_core* core, const std::string& uuid, const std::string& applicationName, NodeFormat format,
                std::function<void()> changed);
    CaptureNode(const CaptureNode&) = delete;
    CaptureNode& operator=(const CaptureNode&) = delete;

    [[nodiscard]] const std::string& name() const { return name_; }
    // The node group a playback node joins to run in the same graph cycle.
    [[nodiscard]] const std::string& group() const { return group_; }
    [[nodiscard]] const std::optional<NodeFormat>& format() const { return stream_.format(); }
    [[nodiscard]] bool hasFailed() const { return stream_.hasFailed(); }

    // From the next cycle on, each cycle's input goes to reader (nullptr: to none). Once it
    // returns, a reader that was replaced is not called again.
    void setReader(PlaybackNode* reader, pw_data_loop* dataLoop);

private:
    static void onProcess(void* data) noexcept;

    const std::string name_;
    const std::string group_;
    std::atomic<PlaybackNode*> reader_{nullptr};
    RouteStream stream_;
};

// Waits until the realtime loop has finished the cycle it is in, if any.
void finishCycle(pw_data_loop* dataLoop);

}  // namespace desktop
