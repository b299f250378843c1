#include "state/PersistenceStore.h"

#include <cerrno>
#include <ctime>
#include <string>

#include "state/StateJson.h"

namespace tonvale {
namespace {

using foundation::FileError;
using foundation::FileResult;

// Copies kept aside in the same second get "-2", "-3", ... after the time; this many are
// far more than a person could produce.
constexpr int kMaximumCopiesPerSecond = 100;

// A document this program reads: it decodes and is of the current schema version.
PersistenceResult<PersistedStateV1> readableDocument(std::string_view data) {
    DecodeResult<PersistedStateV1> decoded = decodePersistedState(data);
    if (!decoded) {
        return PersistenceError{decoded.error()};
    }
    if (decoded.value().schemaVersion != PersistedStateV1::kCurrentSchemaVersion) {
        return PersistenceError::unsupportedSchema(decoded.value().schemaVersion);
    }
    return std::move(decoded).value();
}

// "20250301T104512Z": sortable, and free of characters some file systems refuse.
std::string utcTimestamp(std::chrono::system_clock::time_point time) {
    const std::time_t seconds = std::chrono::system_clock::to_time_t(time);
    std::tm utc{};
    ::gmtime_r(&seconds, &utc);
    char text[32] = {};
    std::strftime(text, sizeof text, "%Y%m%dT%H%M%SZ", &utc);
    return text;
}

}  // namespace

PersistenceStore::PersistenceStore(foundation::UserDefaults defaults, Clock now)
    : defaults_(std::move(defaults)), now_(std::move(now)) {}

PersistenceResult<PersistedStateV1> PersistenceStore::load() {
    FileResult<std::optional<std::string>> stored = defaults_.dataForKey(kStateKey);
    if (!stored) {
        return PersistenceError{stored.error()};
    }
    std::optional<std::string> data = std::move(stored).value();
    const bool isLegacyCopy = !data.has_value();
    if (isLegacyCopy) {
        FileResult<std::optional<std::string>> legacy = defaults_.dataForKey(kLegacyStateKey);
        if (!legacy) {
            return PersistenceError{legacy.error()};
        }
        data = std::move(legacy).value();
        if (!data) {
            return PersistedStateV1::newDocument();
        }
    }
    PersistenceResult<PersistedStateV1> readable = readableDocument(*data);
    if (!readable) {
        return readable;
    }
    PersistedStateV1 state = std::move(readable).value();
    state.normalize();
    if (isLegacyCopy) {
        if (std::optional<PersistenceError> error = save(state)) {
            return *error;
        }
    }
    return state;
}

std::optional<PersistenceError> PersistenceStore::save(const PersistedStateV1& state) {
    PersistedStateV1 copy = state;
    copy.schemaVersion = PersistedStateV1::kCurrentSchemaVersion;
    copy.normalize();
    EncodeResult encoded = encodeJSON(copy);
    if (!encoded) {
        return PersistenceError{encoded.error()};
    }
    if (std::optional<PersistenceError> error = keepUnreadableDocumentAside()) {
        return error;
    }
    if (std::optional<FileError> error = defaults_.setDataForKey(encoded.value(), kStateKey)) {
        return PersistenceError{*error};
    }
    return std::nullopt;
}

std::optional<PersistenceError> PersistenceStore::keepUnreadableDocumentAside() {
    // Bytes that cannot even be read are not replaced either: the error says why.
    FileResult<std::optional<std::string>> stored = defaults_.dataForKey(kStateKey);
    if (!stored) {
        return PersistenceError{stored.error()};
    }
    // Empty bytes hold no settings worth keeping.
    if (!stored.value() || stored.value()->empty() || readableDocument(*stored.value())) {
        return std::nullopt;
    }
    const std::string& bytes = *stored.value();
    FileResult<std::vector<std::string>> keys = defaults_.keys();
    if (!keys) {
        return PersistenceError{keys.error()};
    }
    for (const std::string& key : keys.value()) {
        if (!key.starts_with(kUnreadableCopyKeyPrefix)) {
            continue;
        }
        // A copy that cannot be read proves nothing; another copy is made then.
        const FileResult<std::optional<std::string>> kept = defaults_.dataForKey(key);
        if (kept && kept.value() == bytes) {
            return std::nullopt;
        }
    }
    const std::string key = std::string(kUnreadableCopyKeyPrefix) + utcTimestamp(now_());
    for (int attempt = 1; attempt <= kMaximumCopiesPerSecond; ++attempt) {
        const std::string candidate = attempt == 1 ? key : key + "-" + std::to_string(attempt);
        FileResult<bool> added = defaults_.setDataIfAbsent(bytes, candidate);
        if (!added) {
            return PersistenceError{added.error()};
        }
        if (added.value()) {
            return std::nullopt;
        }
    }
    return PersistenceError{
        FileError::fromCode(FileError::Operation::write, defaults_.pathForKey(key).string(), EEXIST)};
}

}  // namespace tonvale
