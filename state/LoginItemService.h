// Launch at login through the platform's login item of the main application
// (servicemanagement::SMAppService::mainAppService()), its four raw states translated into
// LoginItemStatus. It registers only an item that is not registered and unregisters only
// one that is enabled or awaiting approval, so an item the user switched off is never
// switched back on behind their back. Created at start-up and owned with the controller.
// Thread-safety: called on the main queue; holds no mutable state.
#pragma once

#include <memory>

#include "platform/servicemanagement/SMAppService.h"
#include "state/LoginItemServicing.h"

namespace tonvale {

class LoginItemService final : public LoginItemServicing {
public:
    explicit LoginItemService(std::shared_ptr<servicemanagement::SMAppService> service);

    [[nodiscard]] LoginItemStatus status() const override;
    [[nodiscard]] std::optional<LoginItemError> setEnabled(bool enabled) override;
    void openSystemSettingsLoginItems() override;

private:
    std::shared_ptr<servicemanagement::SMAppService> service_;
};

}  // namespace tonvale
