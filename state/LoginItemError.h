// Why the login item could not be changed: the platform's own description, which includes
// the path involved and the system's reason. The controller shows it as the `failed`
// status and in its banner.
// Thread-safety: a value; copies may move freely between threads.
#pragma once

#include <string>

namespace tonvale {

struct LoginItemError {
    std::string localizedDescription;

    bool operator==(const LoginItemError&) const = default;
};

}  // namespace tonvale
