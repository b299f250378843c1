// The JSON form of the persisted document and of an app identity. Encoding is compact with
// every object's keys in ascending order of their text (UTF-8 bytes, that is code-point
// order, compared before escaping, so "a\"" comes before "a#"), optional keys omitted and
// volumes in their shortest round-tripping decimal form (the writing rules: StateJsonWriter). Decoding is
// strict about the document's structure and tolerant about preferences (the reading rules:
// StateJsonReader); it reports every failure as a DecodingError and never throws. The key
// names live in StateJsonKeys.h. Used by the persistence store on the main queue.
// Thread-safety: pure functions; safe from any thread.
#pragma once

#include <cstddef>
#include <string_view>

#include "model/AppIdentity.h"
#include "model/PersistedStateV1.h"
#include "state/CodingResult.h"

namespace tonvale {

// Arrays and objects nested deeper than this are refused before parsing; the document
// itself needs five levels, so only junk reaches the limit.
inline constexpr std::size_t kMaximumJSONNestingDepth = 64;

// Writes the document as it is; the store normalises it first, which makes every text valid
// UTF-8. Fails only for a volume that is not a finite number. Text that still is not valid
// UTF-8 is written with U+FFFD in place of the bad bytes, so one bad name never stops the
// rest of the settings being saved.
[[nodiscard]] EncodeResult encodeJSON(const PersistedStateV1& state);
[[nodiscard]] EncodeResult encodeJSON(const AppIdentity& identity);

// Reads a document without normalising it; the preference for recent-app visibility is
// clamped to its bounds while reading. `schemaVersion` is read but not checked.
[[nodiscard]] DecodeResult<PersistedStateV1> decodePersistedState(std::string_view json);
[[nodiscard]] DecodeResult<AppIdentity> decodeAppIdentity(std::string_view json);

}  // namespace tonvale
