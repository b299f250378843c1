#include "state/PersistenceError.h"

namespace tonvale {
namespace {

struct DescriptionOf {
    std::string operator()(const PersistenceError::UnsupportedSchema& error) const {
        return "Tonvale settings use unsupported schema version " + std::to_string(error.version) + ".";
    }
    std::string operator()(const PersistenceError::TooLarge& error) const {
        return "The stored settings could not be read: the file is larger than " +
               std::to_string(error.maximumBytes / (1024 * 1024)) + " MB";
    }
    std::string operator()(const DecodingError& error) const { return error.message; }
    std::string operator()(const EncodingError& error) const { return error.message; }
    std::string operator()(const foundation::FileError& error) const { return error.localizedDescription(); }
};

}  // namespace

std::optional<std::int64_t> PersistenceError::unsupportedSchemaVersion() const {
    if (const auto* unsupported = std::get_if<UnsupportedSchema>(&cause)) {
        return unsupported->version;
    }
    return std::nullopt;
}

std::string PersistenceError::localizedDescription() const { return std::visit(DescriptionOf{}, cause); }

}  // namespace tonvale
