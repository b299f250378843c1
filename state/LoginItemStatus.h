// Whether the program starts when the user logs in, as the app state controller publishes
// it and the settings area shows it. `failed` carries the description of the last change
// that did not succeed; the controller produces it, never the login item service.
// Thread-safety: a value; copies may move freely between threads.
#pragma once

#include <string>
#include <utility>

namespace tonvale {

class LoginItemStatus {
public:
    enum class Kind {
        disabled,          // not registered as a login item
        enabled,           // registered and allowed to run at login
        requiresApproval,  // registered, but switched off in the desktop's startup settings
        unavailable,       // the login item cannot be found, or reports a state not known here
        failed,            // the last attempt to change the registration failed
    };

    [[nodiscard]] static LoginItemStatus disabled() { return LoginItemStatus(Kind::disabled); }
    [[nodiscard]] static LoginItemStatus enabled() { return LoginItemStatus(Kind::enabled); }
    [[nodiscard]] static LoginItemStatus requiresApproval() { return LoginItemStatus(Kind::requiresApproval); }
    [[nodiscard]] static LoginItemStatus unavailable() { return LoginItemStatus(Kind::unavailable); }
    [[nodiscard]] static LoginItemStatus failed(std::string message) {
        return LoginItemStatus(Kind::failed, std::move(message));
    }

    [[nodiscard]] Kind kind() const { return kind_; }
    // The failure's description; empty for every other kind.
    [[nodiscard]] const std::string& message() const { return message_; }

    // Same kind, and for `failed` the same message.
    bool operator==(const LoginItemStatus&) const = default;

private:
    explicit LoginItemStatus(Kind kind, std::string message = {}) : kind_(kind), message_(std::move(message)) {}

    Kind kind_;
    std::string message_;
};

}  // namespace tonvale
