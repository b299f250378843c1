// How texts are quoted in the document's JSON form and in the messages about it.
// Internal to state/.
// Thread-safety: pure functions; safe from any thread.
#pragma once

#include <string>
#include <string_view>

namespace tonvale {

// A JSON string literal; bytes that are not valid UTF-8 become U+FFFD rather than failing.
[[nodiscard]] std::string quotedJSONString(std::string_view text);

// A text quoted for a message: at most a few dozen bytes (cut at a character boundary,
// marked with "..."), control characters shown as '?', so junk never floods a message.
[[nodiscard]] std::string quotedForMessage(std::string_view text);

}  // namespace tonvale
