#include "state/PersistenceStore.h"

#include <cerrno>
#include <ctime>
#include <string>
#include <vector>

#include "state/StateJson.h"

namespace tonvale {
namespace {

using foundation::FileContents;
using foundation::FileError;
using foundation::FileResult;

// Followed by the path of the copy kept aside and a full stop.
constexpr std::string_view kChangedDocumentNotice =
    "The settings file changed while Tonvale ran; what was found there is kept as ";
constexpr std::string_view kUnreadableDocumentNotice = "Settings Tonvale cannot read are kept as ";

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

// A stored file too large to be settings reads as that, not as a failing file system.
PersistenceError readError(const FileError& error) {
    if (error.code == EFBIG) {
        return PersistenceError{PersistenceError::TooLarge{PersistenceStore::kMaximumDocumentBytes}};
    }
    return PersistenceError{error};
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
    documentFile_.reset();
    FileResult<foundation::FolderLock> access = defaults_.exclusiveAccess(false);
    if (!access) {
        return PersistenceError{access.error()};
    }
    FileResult<std::optional<FileContents>> stored = defaults_.dataForKey(kStateKey, kMaximumDocumentBytes);
    if (!stored) {
        return readError(stored.error());
    }
    std::optional<FileContents> contents = std::move(stored).value();
    const bool isLegacyCopy = !contents.has_value();
    if (isLegacyCopy) {
        FileResult<std::optional<FileContents>> legacy = defaults_.dataForKey(kLegacyStateKey, kMaximumDocumentBytes);
        if (!legacy) {
            return readError(legacy.error());
        }
        contents = std::move(legacy).value();
        if (!contents) {
            return PersistedStateV1::newDocument();
        }
    }
    PersistenceResult<PersistedStateV1> readable = readableDocument(contents->bytes);
    if (!readable) {
        return readable;
    }
    PersistedStateV1 state = std::move(readable).value();
    state.normalize();
    if (!isLegacyCopy) {
        documentFile_ = contents->identity;
        return state;
    }
    PersistenceResult<SaveOutcome> copied = saveHoldingAccess(state);
    if (!copied) {
        return copied.error();
    }
    return state;
}

PersistenceResult<SaveOutcome> PersistenceStore::save(const PersistedStateV1& state) {
    FileResult<foundation::FolderLock> access = defaults_.exclusiveAccess(true);
    if (!access) {
        return PersistenceError{access.error()};
    }
    return saveHoldingAccess(state);
}

PersistenceResult<SaveOutcome> PersistenceStore::saveHoldingAccess(const PersistedStateV1& state) {
    PersistedStateV1 copy = state;
    copy.schemaVersion = PersistedStateV1::kCurrentSchemaVersion;
    copy.normalize();
    EncodeResult encoded = encodeJSON(copy);
    if (!encoded) {
        return PersistenceError{encoded.error()};
    }
    FileResult<std::optional<foundation::FileIdentity>> found = defaults_.identityForKey(kStateKey);
    if (!found) {
        return PersistenceError{found.error()};
    }
    SaveOutcome outcome;
    if (found.value() && found.value() != documentFile_) {
        // Someone else's file: bytes that cannot even be read are neither taken nor
        // replaced, and the error says why.
        FileResult<std::optional<FileContents>> stored = defaults_.dataForKey(kStateKey, kMaximumDocumentBytes);
        if (!stored && stored.error().code != EFBIG) {
            return PersistenceError{stored.error()};
        }
        // Empty bytes, or a file gone meanwhile, hold no settings worth keeping.
        const bool isEmpty = stored && (!stored.value() || stored.value()->bytes.empty());
        std::optional<PersistedStateV1> document;
        if (stored && !isEmpty) {
            if (PersistenceResult<PersistedStateV1> readable = readableDocument(stored.value()->bytes)) {
                document = std::move(readable).value();
            }
        }
        if (document && !documentFile_ && copy == PersistedStateV1::newDocument()) {
            // The caller holds nothing of its own: nothing was loaded, nothing changed.
            documentFile_ = stored.value()->identity;
            document->normalize();
            outcome.foundDocument = std::move(document);
            outcome.notice = "Settings found at " + defaults_.pathForKey(kStateKey).string() + " were loaded.";
            return outcome;
        }
        if (!isEmpty) {
            PersistenceResult<std::optional<std::string>> kept =
                keepStoredFileAside(document ? kChangedCopyKeyPrefix : kUnreadableCopyKeyPrefix);
            if (!kept) {
                return kept.error();
            }
            if (kept.value()) {
                outcome.notice = std::string(document ? kChangedDocumentNotice : kUnreadableDocumentNotice) +
                                 defaults_.pathForKey(*kept.value()).string() + ".";
            }
        }
    }
    FileResult<foundation::FileIdentity> written = defaults_.setDataForKey(encoded.value(), kStateKey);
    if (!written) {
        return PersistenceError{written.error()};
    }
    documentFile_ = written.value();
    return outcome;
}

PersistenceResult<std::optional<std::string>> PersistenceStore::keepStoredFileAside(std::string_view prefix) {
    FileResult<std::vector<std::string>> keys = defaults_.keys();
    if (!keys) {
        return PersistenceError{keys.error()};
    }
    for (const std::string& key : keys.value()) {
        if (!key.starts_with(kUnreadableCopyKeyPrefix) && !key.starts_with(kChangedCopyKeyPrefix)) {
            continue;
        }
        // A copy that cannot be read proves nothing; another copy is made then.
        const FileResult<bool> isSame = defaults_.hasSameData(kStateKey, key);
        if (isSame && isSame.value()) {
            return std::optional<std::string>();
        }
    }
    // Copies kept aside in the same second get "-2", "-3", ... after the time. While the
    // access is held only other programs add keys, so these attempts are plenty.
    const std::string stem = std::string(prefix) + utcTimestamp(now_());
    for (std::size_t attempt = 1; attempt <= keys.value().size() + 1; ++attempt) {
        const std::string candidate = attempt == 1 ? stem : stem + "-" + std::to_string(attempt);
        FileResult<bool> copied = defaults_.copyDataIfAbsent(kStateKey, candidate);
        if (!copied) {
            return PersistenceError{copied.error()};
        }
        if (copied.value()) {
            return std::optional<std::string>(candidate);
        }
    }
    return PersistenceError{
        FileError::fromCode(FileError::Operation::write, defaults_.pathForKey(stem).string(), EEXIST)};
}

}  // namespace tonvale
