// What the user set for one app: linear volume, mute, output choice and an optional
// processing profile. A plain value stored in the app's profile and handed to routing;
// `neutral` is what an app without a profile uses, and `isCustomized` decides whether an
// app needs a route and a row of its own.
// Thread-safety: a value; copies may move freely between threads.
#pragma once

#include <optional>
#include <string_view>

#include "model/Hashing.h"
#include "model/OutputPreference.h"
#include "platform/foundation/UUID.h"

namespace tonvale {

struct AppAudioConfiguration {
    // Volumes from here up count as full volume, so a slider that stops a hair short of
    // the top does not build a route.
    static constexpr float kFullVolumeThreshold = 0.9999F;

    float volume = 1.0F;
    bool muted = false;
    OutputPreference output;
    // Set by no operation of this version; carried through load and save and counted as
    // a customisation so that a later version's choice is not silently bypassed.
    std::optional<foundation::UUID> processingProfileID;

    [[nodiscard]] static AppAudioConfiguration neutral() { return {}; }

    // True when the app's audio must leave the normal path: muted, below full volume, sent
    // to a chosen device or given a processing profile. A volume that is not a number
    // counts as customised, as it reads as silence once the document is normalised.
    [[nodiscard]] bool isCustomized() const noexcept;

    bool operator==(const AppAudioConfiguration&) const = default;
};

}  // namespace tonvale

template <>
struct std::hash<tonvale::AppAudioConfiguration> {
    std::size_t operator()(const tonvale::AppAudioConfiguration& configuration) const noexcept {
        std::size_t seed = tonvale::hashFields(configuration.volume, configuration.muted, configuration.output);
        tonvale::hashCombine(seed, std::hash<bool>{}(configuration.processingProfileID.has_value()));
        if (configuration.processingProfileID.has_value()) {
            const auto& bytes = configuration.processingProfileID->bytes;
            tonvale::hashCombine(seed, std::hash<std::string_view>{}(std::string_view(
                                           reinterpret_cast<const char*>(bytes.data()), bytes.size())));
        }
        return seed;
    }
};
