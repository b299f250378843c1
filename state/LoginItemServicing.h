// Launch at login as the app state controller sees it: the current status, a switch that
// makes the registration match the user's choice, and the way to the desktop's own list
// of login items. The program puts LoginItemService behind it; the idle benchmark an inert
// implementation. Held by reference by the controller.
// Thread-safety: called on the main queue only.
#pragma once

#include <optional>

#include "state/LoginItemError.h"
#include "state/LoginItemStatus.h"

namespace tonvale {

class LoginItemServicing {
public:
    virtual ~LoginItemServicing() = default;

    // Never `failed` and never fails.
    [[nodiscard]] virtual LoginItemStatus status() const = 0;
    // Registers or unregisters as needed; the caller reads `status` afterwards.
    [[nodiscard]] virtual std::optional<LoginItemError> setEnabled(bool enabled) = 0;
    // Returns at once and never fails.
    virtual void openSystemSettingsLoginItems() = 0;
};

}  // namespace tonvale
