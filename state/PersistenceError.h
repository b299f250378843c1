// Why the settings document could not be loaded or saved: a schema version this program
// does not read, a file too large to be settings, the document's decoding or encoding error
// unchanged, or the file system's error with its path. The app state controller shows localizedDescription() to the user.
// Thread-safety: a value; copies may move freely between threads.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <variant>

#include "platform/foundation/FileError.h"
#include "state/CodingResult.h"

namespace tonvale {

struct PersistenceError {
    // A document of another format version, for example one written by a newer program.
    struct UnsupportedSchema {
        std::int64_t version;

        bool operator==(const UnsupportedSchema&) const = default;
    };

    // A stored file larger than settings can be; refused before it is read.
    struct TooLarge {
        std::size_t maximumBytes;

        bool operator==(const TooLarge&) const = default;
    };

    std::variant<UnsupportedSchema, TooLarge, DecodingError, EncodingError, foundation::FileError> cause;

    [[nodiscard]] static PersistenceError unsupportedSchema(std::int64_t version) {
        return {UnsupportedSchema{version}};
    }

    // The version found, for an unsupported schema; nullopt for every other cause.
    [[nodiscard]] std::optional<std::int64_t> unsupportedSchemaVersion() const;
    // For an unsupported schema exactly "Tonvale settings use unsupported schema version 2."
    // (with the version found); otherwise the cause's own message.
    [[nodiscard]] std::string localizedDescription() const;

    bool operator==(const PersistenceError&) const = default;
};

}  // namespace tonvale
