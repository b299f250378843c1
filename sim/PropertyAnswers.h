// The simulation's own property answer, beside those every server gives alike
// (audioserver::answerProperty): the composition an aggregate the user made reports.
// Internal to sim/.
//
// Called with World::mutex held.
// Thread-safety: any thread that holds World::mutex.
#pragma once

#include "platform/coreaudio/CoreFoundation.h"
#include "sim/World.h"

namespace sim {

// The composition of an aggregate the user made, as the platform reports it; owned by
// the caller.
[[nodiscard]] CFDictionaryRef userComposition(const ScenarioAggregate& layout, World& world);

}  // namespace sim
