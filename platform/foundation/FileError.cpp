#include "platform/foundation/FileError.h"

#include <system_error>

namespace foundation {
namespace {

std::string_view verb(FileError::Operation operation) {
    switch (operation) {
        case FileError::Operation::read:
            return "read";
        case FileError::Operation::write:
            return "write";
        case FileError::Operation::createFolder:
            return "create folder";
        case FileError::Operation::useFolder:
            return "use folder";
        case FileError::Operation::remove:
            return "remove";
        case FileError::Operation::list:
            return "list folder";
    }
    return "use";
}

}  // namespace

FileError FileError::fromCode(Operation operation, std::string path, int code) {
    return FileError{operation, std::move(path), code, std::generic_category().message(code)};
}

std::string FileError::localizedDescription() const {
    return "Could not " + std::string(verb(operation)) + " " + path + ": " + reason;
}

}  // namespace foundation
