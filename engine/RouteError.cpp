#include "engine/RouteError.h"

namespace tonvale {

std::string RouteError::description() const {
    if (const auto* hal = halError()) {
        return hal->description();
    }
    return std::get<AudioRouteRendererError>(error_).localizedDescription;
}

}  // namespace tonvale
