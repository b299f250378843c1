#include "ui/MixerAppRow.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "state/AppStateController.h"

namespace tonvale {

namespace {

using appkit::Color;

std::vector<MixerAppRow::OutputChoice> makeOutputChoices(const OutputPreference& selected,
                                                         const std::vector<AudioDeviceInfo>& outputDevices) {
    std::vector<MixerAppRow::OutputChoice> choices{
        {MixerAppRow::kSystemDefaultTitle, {}, OutputPreference::systemDefault()}};
    if (const OutputPreference::Device* device = selected.selectedDevice()) {
        const bool isPresent = std::any_of(outputDevices.begin(), outputDevices.end(),
                                           [device](const AudioDeviceInfo& info) { return info.uid == device->uid; });
        if (!isPresent) {
            choices.push_back(
                {device->lastKnownName + MixerAppRow::kUnavailableSuffix, MixerAppRow::kUnavailableSuffix, selected});
        }
    }
    for (const AudioDeviceInfo& device : outputDevices) {
        std::string connection = MixerAppRow::kTransportSeparator + device.transportTypeName();
        choices.push_back(
            {device.name + connection, std::move(connection), OutputPreference::device(device.uid, device.name)});
    }
    return choices;
}

}  // namespace

MixerAppRow::MixerAppRow(AppRowState row, const std::vector<AudioDeviceInfo>& outputDevices)
    : row_(std::move(row)), outputChoices_(makeOutputChoices(row_.configuration.output, outputDevices)) {}

Label MixerAppRow::activity() const {
    if (row_.isRunningOutput) {
        return {"Playing", {}, Color::systemGreen};
    }
    return {row_.isRecent ? "Recent" : "Not playing", {}, Color::secondaryLabelColor};
}

Label MixerAppRow::pinButton() const {
    if (row_.isFavorite) {
        return {{}, "pin.fill", Color::controlAccentColor, "Unpin app"};
    }
    return {{}, "pin", Color::secondaryLabelColor, "Pin app"};
}

Label MixerAppRow::muteButton() const {
    if (row_.configuration.muted) {
        return {{}, "speaker.slash.fill", Color::systemRed, "Unmute"};
    }
    return {{}, "speaker.wave.2", Color::secondaryLabelColor, "Mute"};
}

std::string MixerAppRow::volumeAccessibilityLabel() const { return displayName() + kVolumeAccessibilitySuffix; }

std::string MixerAppRow::percentage() const {
    // std::llround rounds halves away from zero.
    const long long percent = std::llround(row_.configuration.volume * 100.0F);
    char text[32];
    std::snprintf(text, sizeof text, "%lld%%", percent);
    return text;
}

std::optional<std::size_t> MixerAppRow::selectedOutputIndex() const {
    const OutputPreference& selected = row_.configuration.output;
    auto found = std::find_if(outputChoices_.begin(), outputChoices_.end(),
                              [&selected](const OutputChoice& choice) { return choice.preference == selected; });
    // A device renamed since it was chosen is still the one chosen.
    if (found == outputChoices_.end() && selected.selectedDevice() != nullptr) {
        found = std::find_if(outputChoices_.begin(), outputChoices_.end(), [&selected](const OutputChoice& choice) {
            const OutputPreference::Device* device = choice.preference.selectedDevice();
            return device != nullptr && device->uid == selected.selectedDevice()->uid;
        });
    }
    if (found == outputChoices_.end()) {
        return std::nullopt;
    }
    return static_cast<std::size_t>(found - outputChoices_.begin());
}

Label MixerAppRow::routeStatus() const { return routeStatusLabel(row_.routeStatus); }

std::optional<std::string> MixerAppRow::failureLine() const {
    const std::optional<RouteStatus>& status = row_.routeStatus;
    if (!status || status->phase != RouteLifecyclePhase::failedRecoverable || !status->message) {
        return std::nullopt;
    }
    return kFailurePrefix + *status->message;
}

void MixerAppRow::togglePin(AppStateController& model) const { model.setFavorite(!row_.isFavorite, row_.identity); }

void MixerAppRow::toggleMute(AppStateController& model) const {
    AppAudioConfiguration configuration = model.configurationFor(bundleID());
    configuration.muted = !configuration.muted;
    model.setConfiguration(configuration, row_.identity, true);
}

void MixerAppRow::moveVolume(AppStateController& model, double value) const {
    AppAudioConfiguration configuration = model.configurationFor(bundleID());
    configuration.volume = std::clamp(static_cast<float>(value), 0.0F, 1.0F);
    model.setConfiguration(configuration, row_.identity, false);
}

void MixerAppRow::endVolumeDrag(AppStateController& model) const { model.flushPendingPersistence(); }

void MixerAppRow::chooseOutput(AppStateController& model, const OutputPreference& preference) const {
    AppAudioConfiguration configuration = model.configurationFor(bundleID());
    configuration.output = preference;
    model.setConfiguration(configuration, row_.identity, true);
}

Label routeStatusLabel(const std::optional<RouteStatus>& status) {
    if (!status) {
        return {"System Default", {}, Color::secondaryLabelColor};
    }
    switch (status->phase) {
        case RouteLifecyclePhase::bypassed:
            return {"Native path", {}, Color::secondaryLabelColor};
        case RouteLifecyclePhase::waitingForProcess:
            return {"Waiting for audio", {}, Color::secondaryLabelColor};
        case RouteLifecyclePhase::starting:
            return {"Starting\u2026", {}, Color::secondaryLabelColor};
        case RouteLifecyclePhase::active:
            return {"Active", {}, Color::systemGreen};
        case RouteLifecyclePhase::fallbackDefault:
        case RouteLifecyclePhase::waitingForPreferredDevice:
            return {"Using System Default", {}, Color::systemOrange};
        case RouteLifecyclePhase::failedRecoverable:
            return {"Unavailable", {}, Color::systemRed};
        case RouteLifecyclePhase::stopping:
            return {"Stopping\u2026", {}, Color::secondaryLabelColor};
    }
    return {};
}

}  // namespace tonvale
