// "--diagnostics-once": prints one snapshot of what the system sees (its version, the
// operating system, the default devices, every device, audio process and logical app)
// and changes nothing. Runs synchronously on the main thread inside the initializer,
// before any queue, listener or window exists.
// Thread-safety: main thread only.
#pragma once

#include "app/ConsoleOutput.h"

namespace tonvale {

// Prints every line and answers true, or prints the one failure line on standard error
// and answers false; lines printed before a failure stay printed.
[[nodiscard]] bool runDiagnosticsOnce(ConsoleOutput& console);

}  // namespace tonvale
