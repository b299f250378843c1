#include "state/LoginItemService.h"

#include <cassert>
#include <utility>

namespace tonvale {

using servicemanagement::SMAppServiceStatus;

LoginItemService::LoginItemService(std::shared_ptr<servicemanagement::SMAppService> service)
    : service_(std::move(service)) {
    assert(service_ != nullptr && "a login item service needs the platform's service");
}

LoginItemStatus LoginItemService::status() const {
    switch (service_->status()) {
        case SMAppServiceStatus::notRegistered:
            return LoginItemStatus::disabled();
        case SMAppServiceStatus::enabled:
            return LoginItemStatus::enabled();
        case SMAppServiceStatus::requiresApproval:
            return LoginItemStatus::requiresApproval();
        case SMAppServiceStatus::notFound:
            return LoginItemStatus::unavailable();
    }
    // Raw states a later platform may add are treated like an item that cannot be found.
    return LoginItemStatus::unavailable();
}

std::optional<LoginItemError> LoginItemService::setEnabled(bool enabled) {
    const SMAppServiceStatus status = service_->status();
    std::optional<foundation::FileError> error;
    if (enabled && status == SMAppServiceStatus::notRegistered) {
        error = service_->registerAndReturnError();
    }
    if (!enabled && (status == SMAppServiceStatus::enabled || status == SMAppServiceStatus::requiresApproval)) {
        error = service_->unregisterAndReturnError();
    }
    if (error) {
        return LoginItemError{error->localizedDescription()};
    }
    return std::nullopt;
}

void LoginItemService::openSystemSettingsLoginItems() {
    servicemanagement::SMAppService::openSystemSettingsLoginItems();
}

}  // namespace tonvale
