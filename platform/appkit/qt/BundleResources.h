// Where the application's own resources are: the main bundle's Contents/Resources
// (symbols, images, pages), or a folder set for a program or test that runs outside
// the bundle.
// Thread-safety: main thread only.
#pragma once

#include <filesystem>
#include <optional>

namespace appkit {

// None when the program runs outside its bundle and no folder was set.
[[nodiscard]] std::optional<std::filesystem::path> resourcesDirectory();

// nullopt returns to the main bundle's folder.
void setResourcesDirectory(std::optional<std::filesystem::path> directory);

}  // namespace appkit
