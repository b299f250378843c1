// The "default" metadata's target.object entries this program writes: a tapped stream is
// moved into one capture node by naming the node, and given back as it was (its earlier
// entry, or none when that named a capture), so the session manager links it to its own
// output again at once. An entry someone else changed since is theirs: it is left alone,
// and the capture has lost that stream. Entries that name capture nodes which no longer
// exist (left by a copy of this program that was killed) are removed.
//
// Owned by PipeWireRoutes; used on the connection's loop with its lock held.
// Thread-safety: as said above.
#pragma once

#include "desktop/PipeWireConnection.h"

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace desktop {

class StreamTargets {
public:
    // Moves the stream node into the capture node of that name.
    void take(const PipeWireConnection::Session& session, std::uint32_t stream, const std::string& capture);
    // Gives the stream back, unless it was moved on since.
    void giveBack(const PipeWireConnection::Session& session, std::uint32_t stream);
    // Taken into some capture; a stream is in one capture at a time.
    [[nodiscard]] bool isTaken(std::uint32_t stream) const { return taken_.contains(stream); }
    // The streams taken into the capture of that name.
    [[nodiscard]] std::vector<std::uint32_t> takenInto(const std::string& capture) const;
    // The captures of the taken streams that someone else has moved out since; those
    // streams, and the ones that are gone, are no longer taken.
    [[nodiscard]] std::vector<std::string> forgetMovedAway(const PipeWireGraph& graph);
    // Forgets every stream without writing (the server went away, with its metadata).
    void forgetAll() { taken_.clear(); }

    // Removes the entries that name capture nodes which do not exist.
    static void removeStale(const PipeWireConnection::Session& session);

private:
    struct Taken {
        std::string capture;
        std::optional<std::string> previous;
        // The server has shown the entry this program wrote.
        bool isConfirmed = false;
    };
    std::map<std::uint32_t, Taken> taken_;
};

}  // namespace desktop
