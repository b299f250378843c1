// Builds the world a scenario describes: its devices with their streams and played
// timelines, the aggregates the user made, the processes with their application bundles,
// and the default devices. Internal to sim/.
//
// Called once by SimulatedServer while it is created, before anything else can reach the world.
// Thread-safety: the creating thread only, before the world is shared.
#pragma once

#include "sim/Scenario.h"

#include <filesystem>
#include <optional>

namespace audioserver {
class BundleFolder;
}

namespace sim {

struct World;

// Each physical output device keeps readBackSeconds of its playback for read-back and,
// with a recording folder, records all of it there. Application bundles are laid out in bundles.
void buildWorld(World& world, const Scenario& scenario, double readBackSeconds,
                const std::optional<std::filesystem::path>& recordingFolder, audioserver::BundleFolder& bundles);

}  // namespace sim
