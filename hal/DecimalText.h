// The text of numbers in printed lines: the command-line modes and the diagnostics report.
//
// A floating-point value prints in its shortest round-tripping decimal form,
// with ".0" on whole numbers (0.5 -> "0.5", 2 -> "2.0", 300 -> "300.0"), and in
// exponent form outside [1e-4, 2^53) ("1e+16", "1e-05").
// Thread-safety: a pure function; callable from any thread.
#pragma once

#include <string>

namespace tonvale {

[[nodiscard]] std::string shortestDecimalText(double value);

}  // namespace tonvale
