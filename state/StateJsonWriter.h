// The writing rules of the document's JSON form: compact text, every object's keys in
// ascending order of their text (UTF-8 bytes, that is code-point order, compared before
// escaping), optional keys left out, volumes in their shortest round-tripping decimal
// form. Internal to state/; StateJson.h is the interface.
// Thread-safety: pure functions; safe from any thread.
#pragma once

#include <string>

#include "model/AppIdentity.h"
#include "model/PersistedStateV1.h"
#include "state/CodingResult.h"

namespace tonvale {

// Fails only for a volume that is not a finite number.
[[nodiscard]] EncodeResult writeStateJSON(const PersistedStateV1& state);
[[nodiscard]] std::string writeIdentityJSON(const AppIdentity& identity);

}  // namespace tonvale
