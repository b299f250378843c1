// Read-back of what the physical output devices played: observing a device makes it render
// its playback even while no IO procedure runs on it, and `played` returns what it played
// between two times. Internal to sim/; SimulatedServer offers it under the same names.
//
// Owned by SimulatedServer.
// Thread-safety: every operation may be called from any thread.
#pragma once

#include "platform/dispatch/Dispatch.h"
#include "sim/PlayedAudio.h"

#include <memory>
#include <string>

namespace sim {

class IOProcedures;
struct World;

class ReadBack {
public:
    ReadBack(std::shared_ptr<World> world, std::shared_ptr<IOProcedures> io, dispatch::Seconds startTime);

    [[nodiscard]] bool startObserving(const std::string& uid);
    [[nodiscard]] bool stopObserving(const std::string& uid);
    [[nodiscard]] PlayedAudio played(const std::string& uid, dispatch::Seconds from, dispatch::Seconds to) const;
    // Writes out every device's recording, when the server goes.
    void finishRecordings();

private:
    const std::shared_ptr<World> world_;
    const std::shared_ptr<IOProcedures> io_;
    const dispatch::Seconds startTime_;
};

}  // namespace sim
