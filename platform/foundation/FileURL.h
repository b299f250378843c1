// The file URL of a local path, as the workspace's opener and the application's bundle
// give it: "file://" and the path with every byte outside the unreserved set percent-encoded.
// Thread-safety: a pure function; safe from any thread.
#pragma once

#include <filesystem>
#include <string>

namespace foundation {

// A folder's URL ends with a slash ("file:///A/My%20App.app/"); a file's does not.
[[nodiscard]] std::string fileURLWithPath(const std::filesystem::path& path, bool isDirectory);

}  // namespace foundation
