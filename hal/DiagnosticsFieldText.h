// How a name, identifier or message appears in a line of diagnostics text (the one-shot
// diagnostics mode, the copied diagnostics report): as it is, except that a backslash and
// the control characters that would break a script's view of one line per record are
// escaped ("\\", "\n", "\r", "\t", other C0 controls and DEL as "\xHH"; the C1 controls,
// NEL among them, and the line and paragraph separators as "\uHHHH").
// Thread-safety: a pure function; callable from any thread.
#pragma once

#include <string>
#include <string_view>

namespace tonvale {

[[nodiscard]] std::string diagnosticsFieldText(std::string_view text);

}  // namespace tonvale
