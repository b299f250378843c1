#include "state/StateJson.h"

#include <nlohmann/json.hpp>

#include <string>

#include "state/StateJsonReader.h"
#include "state/StateJsonWriter.h"

namespace tonvale {
namespace {

using Json = nlohmann::json;

constexpr std::string_view kDocumentReadFailure = "The stored settings could not be read: ";
constexpr std::string_view kIdentityReadFailure = "The app identity could not be read: ";
constexpr std::size_t kMaximumParserDetailLength = 200;

// The parser's own explanation, without its internal prefix and limited to printable
// ASCII, since it may quote raw bytes of the input.
std::string parserDetail(std::string_view what) {
    const std::size_t prefixEnd = what.find("] ");
    if (prefixEnd != std::string_view::npos) {
        what.remove_prefix(prefixEnd + 2);
    }
    std::string detail;
    for (const char c : what.substr(0, kMaximumParserDetailLength)) {
        const auto byte = static_cast<unsigned char>(c);
        detail += (byte >= 0x20U && byte < 0x7FU) ? c : '?';
    }
    return detail;
}

// Refuses input whose arrays and objects nest beyond the limit, before the parser builds
// anything from it.
bool exceedsNestingLimit(std::string_view text) {
    std::size_t depth = 0;
    bool isInString = false;
    bool isEscaped = false;
    for (const char c : text) {
        if (isInString) {
            if (isEscaped) {
                isEscaped = false;
            } else if (c == '\\') {
                isEscaped = true;
            } else if (c == '"') {
                isInString = false;
            }
            continue;
        }
        if (c == '"') {
            isInString = true;
        } else if (c == '[' || c == '{') {
            if (++depth > kMaximumJSONNestingDepth) {
                return true;
            }
        } else if ((c == ']' || c == '}') && depth > 0) {
            --depth;
        }
    }
    return false;
}

DecodeResult<Json> parseJSON(std::string_view text, std::string_view failurePrefix) {
    if (exceedsNestingLimit(text)) {
        return DecodingError{DecodingError::Kind::tooDeeplyNested,
                             std::string(failurePrefix) + "the data nests arrays or objects more than " +
                                 std::to_string(kMaximumJSONNestingDepth) + " levels deep."};
    }
    try {
        return Json::parse(text.begin(), text.end());
    } catch (const Json::exception& error) {
        return DecodingError{
            DecodingError::Kind::invalidJSON,
            std::string(failurePrefix) + "the data is not valid JSON (" + parserDetail(error.what()) + ")."};
    }
}

}  // namespace

EncodeResult encodeJSON(const PersistedStateV1& state) { return writeStateJSON(state); }

EncodeResult encodeJSON(const AppIdentity& identity) { return writeIdentityJSON(identity); }

DecodeResult<PersistedStateV1> decodePersistedState(std::string_view json) {
    DecodeResult<Json> parsed = parseJSON(json, kDocumentReadFailure);
    if (!parsed) {
        return parsed.error();
    }
    return readStateJSON(parsed.value(), kDocumentReadFailure);
}

DecodeResult<AppIdentity> decodeAppIdentity(std::string_view json) {
    DecodeResult<Json> parsed = parseJSON(json, kIdentityReadFailure);
    if (!parsed) {
        return parsed.error();
    }
    return readIdentityJSON(parsed.value(), kIdentityReadFailure);
}

}  // namespace tonvale
