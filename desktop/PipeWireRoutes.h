// The routes' objects on the desktop's audio server, offered as the audio layer's process
// taps, private aggregate devices and IO procedures, answered from the shared model as on
// the simulated server:
// - a tap is a private capture node (CaptureNode); while an aggregate device reads it with
//   a started IO procedure, the tapped processes' output streams are moved into it
//   (StreamTargets), so they are silent on their own output ("muted when tapped"), and
//   they are given back as soon as nothing reads it;
// - an aggregate device is a playback stream to its one sub-device, run in the same graph
//   cycle as its tap's capture (PlaybackNode); its input and output streams appear once
//   the server has settled both formats, and its IO runs while a procedure is started, the
//   destination is there, and no tapped stream was moved elsewhere by someone else.
//
// Owned by PipeWireServer, with the connection it works on (set before it starts). The
// operations may be called from any thread; graphChanged and lose come from the connection.
// Thread-safety: every operation runs with the connection's loop lock held.
#pragma once

#include "desktop/PipeWireConnection.h"
#include "desktop/StreamTargets.h"
#include "platform/coreaudio/CATapDescription.h"
#include "platform/coreaudio/CoreFoundation.h"

#include <map>
#include <memory>
#include <string>
#include <vector>

namespace desktop {

class CaptureNode;
class GraphModel;
class PlaybackNode;

class PipeWireRoutes {
public:
    explicit PipeWireRoutes(std::shared_ptr<GraphModel> model);
    ~PipeWireRoutes();
    PipeWireRoutes(const PipeWireRoutes&) = delete;
    PipeWireRoutes& operator=(const PipeWireRoutes&) = delete;

    void setConnection(PipeWireConnection* connection) { connection_ = connection; }

    [[nodiscard]] OSStatus createTap(const CATapDescription& description, AudioObjectID& outTapID);
    [[nodiscard]] OSStatus destroyTap(AudioObjectID tapID);
    [[nodiscard]] OSStatus createAggregate(CFDictionaryRef description, AudioObjectID& outDeviceID);
    [[nodiscard]] OSStatus destroyAggregate(AudioObjectID deviceID);
    [[nodiscard]] OSStatus createProcedure(AudioObjectID device, AudioDeviceIOProc procedure, void* clientData,
                                           AudioDeviceIOProcID& outID);
    [[nodiscard]] OSStatus destroyProcedure(AudioObjectID device, AudioDeviceIOProcID id);
    [[nodiscard]] OSStatus setStarted(AudioObjectID device, AudioDeviceIOProcID id, bool isStarted);

    // Every tap and aggregate goes; the streams taken are given back. Before the connection ends.
    void releaseAll();

    // From the connection, on its loop: the graph changed; the connection is being lost, and
    // every tap and aggregate with it.
    void graphChanged(const PipeWireConnection::Session& session);
    void lose(const PipeWireConnection::Session& session);

private:
    struct TapRoute {
        std::unique_ptr<CaptureNode> node;
        std::vector<AudioObjectID> processes;
        // A tapped stream was moved out of the capture by someone else.
        bool hasLostInput = false;
    };
    struct AggregateRoute {
        AudioObjectID tap = 0;
        std::string destination;
        std::unique_ptr<PlaybackNode> node;
        bool hasStreams = false;
        bool isAlive = true;
        bool isRunning = false;
    };

    // Runs work in a session, then brings everything in line with what it changed.
    template <typename Work>
    OSStatus operate(Work&& work);
    // Destroys the tap or aggregate device id in routes with remove.
    template <typename Routes>
    OSStatus destroy(const Routes& routes, AudioObjectID id,
                     void (PipeWireRoutes::*remove)(AudioObjectID, const PipeWireConnection::Session&));
    // A node's format or state changed.
    void nodeChanged();
    // Brings streams, liveness, IO and the taken streams in line with the nodes and graph.
    void refresh(const PipeWireConnection::Session& session);
    void refreshOnce(const PipeWireConnection::Session& session);
    // Removes the aggregate, its nodes first; its tap reads no more.
    void removeAggregate(AudioObjectID id, const PipeWireConnection::Session& session);
    void removeTap(AudioObjectID id, const PipeWireConnection::Session& session);

    const std::shared_ptr<GraphModel> model_;
    PipeWireConnection* connection_ = nullptr;
    std::map<AudioObjectID, TapRoute> taps_;
    std::map<AudioObjectID, AggregateRoute> aggregates_;
    StreamTargets targets_;
    // An operation or refresh is under way; a node that changes meanwhile is seen at its end.
    bool isBusy_ = false;
    bool isRefreshDue_ = false;
    // The stale stream targets of the current connection were removed.
    bool isCleaned_ = false;
};

}  // namespace desktop
