#include "desktop/PipeWireGraph.h"

namespace desktop {

std::string propertyOf(const Properties& properties, std::string_view key) {
    const auto found = properties.find(key);
    return found == properties.end() ? std::string() : found->second;
}

}  // namespace desktop
