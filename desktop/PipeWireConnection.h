// The connection to the desktop's audio server (PipeWire): its registry, the nodes,
// clients, links and devices it announces, and the "default" metadata, kept as a
// PipeWireGraph. A lost connection (the server restarting) is reported, then retried
// with a growing delay and no busy loop; a new connection reports a fresh graph. Work on
// the server's objects (the routes' streams, metadata entries) runs in a Session.
//
// Lives on its own thread ("tonvale.pipewire", PipeWire's thread loop): every server
// event and both callbacks run there. Nothing wakes that thread while nothing changes.
// Thread-safety: start, setConfiguredDefaultSource and the destructor may be called from
// any thread other than the loop's own; withSession from any thread.
#pragma once

#include "desktop/PipeWireGraph.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>

struct pw_core;
struct pw_data_loop;
struct pw_metadata;

namespace desktop {

class PipeWireConnection {
public:
    // What work on the server's objects is given while the loop's lock is held: the
    // connection (none while the server is away), the "default" metadata (when there is
    // one), the realtime loop that runs the streams' processing, and the graph as last seen.
    struct Session {
        pw_core* core = nullptr;
        pw_metadata* metadata = nullptr;
        pw_data_loop* dataLoop = nullptr;
        const PipeWireGraph& graph;
    };
    struct Callbacks {
        // The graph after a change, once the server's first full view has arrived.
        std::function<void(const Session&)> changed;
        // The connection to the server is lost: called before its objects are released.
        std::function<void(const Session&)> lost;
    };

    explicit PipeWireConnection(Callbacks callbacks);
    ~PipeWireConnection();
    PipeWireConnection(const PipeWireConnection&) = delete;
    PipeWireConnection& operator=(const PipeWireConnection&) = delete;

    // Connects and waits, at most timeoutSeconds, for the server's first full view.
    // Answers why it could not, or nothing on success.
    [[nodiscard]] std::optional<std::string> start(double timeoutSeconds);
    // Makes the source with that node name the user's configured default and waits until
    // the server has taken the write. False when the server is not reachable.
    [[nodiscard]] bool setConfiguredDefaultSource(const std::string& nodeName);
    // Runs work with the loop's lock held (on the loop's own thread as well).
    void withSession(const std::function<void(const Session&)>& work);

    struct Loop;

private:
    std::unique_ptr<Loop> loop_;
};

}  // namespace desktop
