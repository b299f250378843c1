#include "hal/AudioHALError.h"

#include <utility>

#include "hal/FourCharCode.h"

namespace tonvale {

AudioHALError::AudioHALError(Kind kind, std::string text, std::int32_t status)
    : kind_(kind), text_(std::move(text)), status_(status) {}

AudioHALError AudioHALError::osStatus(std::string operation, std::int32_t status) {
    return AudioHALError(Kind::osStatus, std::move(operation), status);
}

AudioHALError AudioHALError::missingValue(std::string operation) {
    return AudioHALError(Kind::missingValue, std::move(operation), 0);
}

AudioHALError AudioHALError::invalidSelection(std::string message) {
    return AudioHALError(Kind::invalidSelection, std::move(message), 0);
}

std::string AudioHALError::description() const {
    switch (kind_) {
        case Kind::osStatus:
            return text_ + " failed: " + fourCharCodeText(static_cast<std::uint32_t>(status_)) + " (" +
                   std::to_string(status_) + ")";
        case Kind::missingValue:
            return text_ + " returned no value";
        case Kind::invalidSelection:
            return text_;
    }
    return text_;
}

}  // namespace tonvale
