// One application's row of the mixer as the interface shows it: the name, whether it plays,
// the pin and mute buttons, the volume and its percentage, the output choices and the route's
// status with its failure line, all computed from one AppRowState and the controller's output
// devices; and what each control asks of the app state controller. Every configuration
// action reads the controller's current configuration first and changes only its own field.
// A value, rebuilt whenever the controller publishes; the row widget draws it.
// Thread-safety: main thread only (the actions call the controller).
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "hal/AudioDeviceInfo.h"
#include "state/AppRowState.h"
#include "ui/Label.h"

namespace tonvale {

class AppStateController;

class MixerAppRow {
public:
    static constexpr const char* kSystemDefaultTitle = "System Default";
    static constexpr const char* kUnavailableSuffix = " (Unavailable)";
    static constexpr const char* kTransportSeparator = " \u00B7 ";
    static constexpr const char* kFailurePrefix = "Route unavailable; normal playback was restored. ";
    static constexpr const char* kVolumeAccessibilitySuffix = " volume";
    static constexpr const char* kOutputPickerLabel = "Output";

    // One entry of the output picker and the preference it stands for. The title ends with
    // keptEnd (the device's connection, or " (Unavailable)"), which stays visible when the
    // title has to be shortened.
    struct OutputChoice {
        std::string title;
        std::string keptEnd;
        OutputPreference preference;
        bool operator==(const OutputChoice&) const = default;
    };

    MixerAppRow(AppRowState row, const std::vector<AudioDeviceInfo>& outputDevices);

    [[nodiscard]] const AppRowState& row() const { return row_; }
    [[nodiscard]] const std::string& bundleID() const { return row_.identity.bundleID; }
    [[nodiscard]] const std::string& displayName() const { return row_.identity.displayName; }

    // "Playing", "Recent" or "Not playing".
    [[nodiscard]] Label activity() const;
    [[nodiscard]] Label pinButton() const;
    [[nodiscard]] Label muteButton() const;

    // The slider's value, 0...1.
    [[nodiscard]] double volume() const { return static_cast<double>(row_.configuration.volume); }
    [[nodiscard]] std::string volumeAccessibilityLabel() const;
    // The nearest whole percent, halves away from zero: "50%".
    [[nodiscard]] std::string percentage() const;

    // "System Default", the stored device while it is absent, then every output device.
    [[nodiscard]] const std::vector<OutputChoice>& outputChoices() const { return outputChoices_; }
    [[nodiscard]] const OutputPreference& selectedOutput() const { return row_.configuration.output; }
    // The index in outputChoices of the selected output (a device by its UID, whatever it is
    // called now); none when no entry matches.
    [[nodiscard]] std::optional<std::size_t> selectedOutputIndex() const;

    [[nodiscard]] Label routeStatus() const;
    // Only for a failed route with a message.
    [[nodiscard]] std::optional<std::string> failureLine() const;

    // The controls' actions.
    void togglePin(AppStateController& model) const;
    void toggleMute(AppStateController& model) const;
    // A slider movement: stored clamped to 0...1, saved later.
    void moveVolume(AppStateController& model, double value) const;
    // The end of a drag: the pending save happens now.
    void endVolumeDrag(AppStateController& model) const;
    void chooseOutput(AppStateController& model, const OutputPreference& preference) const;

    bool operator==(const MixerAppRow&) const = default;

private:
    AppRowState row_;
    std::vector<OutputChoice> outputChoices_;
};

// What a route status reads as, and in which colour; "System Default" without one.
[[nodiscard]] Label routeStatusLabel(const std::optional<RouteStatus>& status);

}  // namespace tonvale
