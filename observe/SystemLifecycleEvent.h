// What the lifecycle monitor reports: the machine is about to sleep, it has woken, or the
// audio server has restarted. A plain value delivered on the owner's queue.
// Thread-safety: a value.
#pragma once

namespace tonvale {

enum class SystemLifecycleEvent { willSleep, didWake, audioServiceRestarted };

}  // namespace tonvale
