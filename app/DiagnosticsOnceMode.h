// "--diagnostics-once": prints one snapshot of what the system sees (its version, the
// operating system, the default devices, every device, audio process and logical app)
// and changes nothing. Runs synchronously on the main thread inside the initializer,
// before any queue, listener or window exists.
// Thread-safety: main thread only.
#pragma once

#include <string>
#include <string_view>

#include "app/ConsoleOutput.h"

namespace tonvale {

// Prints every line and answers true, or prints the one failure line on standard error
// and answers false; lines printed before a failure stay printed.
[[nodiscard]] bool runDiagnosticsOnce(ConsoleOutput& console);

// A name or identifier as printed in a line: as it is, except that a backslash and the
// control characters that would break a script's view of one line per record are escaped
// ("\\", "\n", "\r", "\t", other controls as "\xHH").
[[nodiscard]] std::string diagnosticsFieldText(std::string_view text);

}  // namespace tonvale
