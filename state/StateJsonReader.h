// The reading rules of the document's JSON form, applied to parsed JSON: strict about the
// document's structure (required keys, their types, known output kinds, valid UUIDs),
// tolerant about preferences (absent ones take their defaults, the visibility seconds are
// clamped) and blind to unknown keys. The first failure is reported with where it happened.
// Internal to state/; StateJson.h is the interface.
// Thread-safety: pure functions; safe from any thread.
#pragma once

#include <nlohmann/json.hpp>

#include <string_view>

#include "model/AppIdentity.h"
#include "model/PersistedStateV1.h"
#include "state/CodingResult.h"

namespace tonvale {

// Each failure's message starts with failurePrefix.
[[nodiscard]] DecodeResult<PersistedStateV1> readStateJSON(const nlohmann::json& root, std::string_view failurePrefix);
[[nodiscard]] DecodeResult<AppIdentity> readIdentityJSON(const nlohmann::json& root, std::string_view failurePrefix);

}  // namespace tonvale
