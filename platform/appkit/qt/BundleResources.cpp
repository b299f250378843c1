#include "platform/appkit/qt/BundleResources.h"

#include <utility>

#include "platform/foundation/Bundle.h"

namespace appkit {

namespace {

std::optional<std::filesystem::path>& chosenDirectory() {
    static std::optional<std::filesystem::path> directory;
    return directory;
}

}  // namespace

std::optional<std::filesystem::path> resourcesDirectory() {
    if (chosenDirectory()) {
        return chosenDirectory();
    }
    // The main bundle does not move while the program runs: read it once.
    static const std::optional<std::filesystem::path> bundleResources = []() -> std::optional<std::filesystem::path> {
        const auto bundle = foundation::Bundle::main();
        if (!bundle) {
            return std::nullopt;
        }
        return std::filesystem::path(bundle->bundlePath()) / "Contents" / "Resources";
    }();
    return bundleResources;
}

void setResourcesDirectory(std::optional<std::filesystem::path> directory) { chosenDirectory() = std::move(directory); }

}  // namespace appkit
