// Who a logical app is: its bundle identifier (the key of everything per app) and the
// name shown to the user. A plain value, produced by the logical-app resolver and carried
// in mixer rows; the stored document keeps the two fields inside each profile instead.
// Thread-safety: a value; copies may move freely between threads.
#pragma once

#include <string>

#include "model/Hashing.h"

namespace tonvale {

struct AppIdentity {
    std::string bundleID;
    std::string displayName;

    bool operator==(const AppIdentity&) const = default;
};

}  // namespace tonvale

template <>
struct std::hash<tonvale::AppIdentity> {
    std::size_t operator()(const tonvale::AppIdentity& identity) const noexcept {
        return tonvale::hashFields(identity.bundleID, identity.displayName);
    }
};
