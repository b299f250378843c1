// "--input-selection-test": exercises the write path of the system default input by
// selecting the input that is already the default and checking that it stays selected,
// so the user's configuration never changes. Runs synchronously on the main thread inside
// the initializer.
// Thread-safety: main thread only.
#pragma once

#include "app/ConsoleOutput.h"

namespace tonvale {

// Prints the "passed" line and answers true, or one failure line on standard error and
// answers false.
[[nodiscard]] bool runInputSelectionTest(ConsoleOutput& console);

}  // namespace tonvale
