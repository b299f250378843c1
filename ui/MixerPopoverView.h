// The mixer popover as the interface shows it: the header with its "Routing" badge, the
// system output and the input picker with its Bluetooth warning, the application rows (or
// the placeholder when there are none) and the message banner, all computed from the app
// state controller at one moment; and what the popover's own controls ask of it. The rows'
// and the settings area's controls are in MixerAppRow and SettingsArea.
// A value, rebuilt whenever the controller publishes; the popover widget draws it.
// Thread-safety: main thread only (reads and calls the controller).
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/coreaudio/CoreAudio.h"
#include "ui/Label.h"
#include "ui/MixerAppRow.h"
#include "ui/ProductLinks.h"

namespace tonvale {

class AppStateController;

class MixerPopoverView {
public:
    static constexpr int kWidth = 440;
    static constexpr const char* kTitle = "Tonvale";
    static constexpr const char* kSubtitle = "Per-app volume and output";
    static constexpr const char* kHeaderSymbol = "speaker.wave.2.fill";
    static constexpr const char* kSupportAccessibilityHint = "Opens Ko-fi in your default browser";
    static constexpr const char* kInputPickerLabel = "Default input";
    static constexpr const char* kNoInputDevices = "No input devices";
    static constexpr const char* kNoAppsTitle = "No apps are playing audio.";
    static constexpr const char* kNoAppsSymbol = "speaker.slash";
    static constexpr const char* kNoAppsDescription = "Start audio in an app to control its volume or output.";
    static constexpr const char* kCloseBannerSymbol = "xmark";

    struct InputChoice {
        std::string title;
        AudioObjectID deviceID = kAudioObjectUnknown;
        bool operator==(const InputChoice&) const = default;
    };

    explicit MixerPopoverView(const AppStateController& model);

    [[nodiscard]] bool isRoutingBadgeShown() const { return isRoutingBadgeShown_; }
    [[nodiscard]] static Label routingBadge();
    [[nodiscard]] static Label supportButton();

    [[nodiscard]] static Label outputTitle();
    [[nodiscard]] const std::string& outputName() const { return outputName_; }

    [[nodiscard]] static Label inputTitle();
    // Empty: "No input devices" instead of the picker.
    [[nodiscard]] const std::vector<InputChoice>& inputChoices() const { return inputChoices_; }
    [[nodiscard]] AudioObjectID selectedInput() const { return selectedInput_; }
    // Shown while the default input is a Bluetooth or Bluetooth LE device among the inputs.
    [[nodiscard]] std::optional<Label> bluetoothWarning() const;

    // In the controller's order; empty: the placeholder instead of the list.
    [[nodiscard]] const std::vector<MixerAppRow>& rows() const { return rows_; }

    // The error, or else the notice; at most one.
    [[nodiscard]] const std::optional<Label>& banner() const { return banner_; }

    // The controls' actions.
    static void selectInput(AppStateController& model, AudioObjectID deviceID);
    // Closes the banner: clears the error and the notice.
    static void closeBanner(AppStateController& model);
    static void openSupportPage(AppStateController& model, const ProductLinks& links);

private:
    bool isRoutingBadgeShown_ = false;
    std::string outputName_;
    std::vector<InputChoice> inputChoices_;
    AudioObjectID selectedInput_ = kAudioObjectUnknown;
    bool isBluetoothInput_ = false;
    std::vector<MixerAppRow> rows_;
    std::optional<Label> banner_;
};

}  // namespace tonvale
