// Where an app's audio should go: the system's default output, or one device named by
// its Core Audio UID together with the name it last had (shown while it is absent).
// A plain value held inside an app's configuration.
// Thread-safety: a value; copies may move freely between threads.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <variant>

#include "model/Hashing.h"

namespace tonvale {

struct OutputPreference {
    // The discriminator of the stored form; its raw values are the texts written there.
    enum class Kind { systemDefault, device };

    struct SystemDefault {
        bool operator==(const SystemDefault&) const = default;
    };
    struct Device {
        std::string uid;
        std::string lastKnownName;

        bool operator==(const Device&) const = default;
    };

    // Default-constructed, a preference follows the system default.
    std::variant<SystemDefault, Device> target;

    [[nodiscard]] static OutputPreference systemDefault() { return {}; }
    [[nodiscard]] static OutputPreference device(std::string uid, std::string lastKnownName) {
        return {Device{std::move(uid), std::move(lastKnownName)}};
    }

    [[nodiscard]] Kind kind() const noexcept;
    // The chosen device, or null when the preference follows the system default.
    [[nodiscard]] const Device* selectedDevice() const noexcept { return std::get_if<Device>(&target); }

    [[nodiscard]] static std::string_view rawValue(Kind kind) noexcept;
    // Any text other than the two raw values names no kind.
    [[nodiscard]] static std::optional<Kind> kindFromRawValue(std::string_view rawValue) noexcept;

    bool operator==(const OutputPreference&) const = default;
};

}  // namespace tonvale

template <>
struct std::hash<tonvale::OutputPreference> {
    std::size_t operator()(const tonvale::OutputPreference& preference) const noexcept {
        const tonvale::OutputPreference::Device* device = preference.selectedDevice();
        if (device == nullptr) {
            return tonvale::hashFields(preference.kind());
        }
        return tonvale::hashFields(preference.kind(), device->uid, device->lastKnownName);
    }
};
