// The lower part of the mixer popover as the interface shows it: the disclosure row, the
// settings area (launch at login and the login item's state, how long recent apps stay
// listed, the system-audio-access panel or the privacy line, copying diagnostics), the links
// row and the about panel's credits, computed from the app state controller and whether the
// area is expanded; and what each control asks of the controller or the platform.
// A value, rebuilt whenever the controller publishes; the settings widget draws it.
// Thread-safety: main thread only (reads and calls the controller).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/appkit/AttributedString.h"
#include "ui/Label.h"
#include "ui/ProductLinks.h"

namespace tonvale {

class AppStateController;

class SettingsArea {
public:
    static constexpr const char* kApplicationName = "Tonvale";
    static constexpr const char* kLaunchAtLoginTitle = "Launch at Login";
    static constexpr const char* kOpenLoginItemsTitle = "Open";
    static constexpr const char* kKeepRecentTitle = "Keep recent apps";
    static constexpr const char* kAccessInformation =
        "Audio is processed only in memory to adjust and route app sound. It is never recorded, stored, or "
        "transmitted.";
    static constexpr const char* kOpenSystemSettingsTitle = "Open System Settings";
    static constexpr const char* kRetryRoutesTitle = "Retry Routes";
    static constexpr const char* kCopyDiagnosticsTitle = "Copy Diagnostics";
    static constexpr const char* kHelpTitle = "Get help";
    static constexpr const char* kPrivacyTitle = "Privacy";
    static constexpr const char* kAboutTitle = "About";
    static constexpr const char* kChevronSymbol = "chevron.right";
    static constexpr int kKeepRecentPickerWidth = 120;

    struct KeepRecentChoice {
        std::string title;
        std::int64_t seconds = 0;
        bool operator==(const KeepRecentChoice&) const = default;
    };

    // What shows under the launch-at-login toggle, when anything does.
    struct LoginItemLine {
        Label message;
        bool hasOpenButton = false;
        bool operator==(const LoginItemLine&) const = default;
    };

    SettingsArea(const AppStateController& model, bool isExpanded);

    // The disclosure row.
    [[nodiscard]] bool isExpanded() const { return isExpanded_; }
    // The chevron's turn: 90 degrees (pointing down) while expanded, 0 (right) otherwise.
    [[nodiscard]] int chevronRotationDegrees() const { return isExpanded_ ? 90 : 0; }
    [[nodiscard]] std::string disclosureAccessibilityLabel() const;
    [[nodiscard]] static Label disclosureTitle();

    // The settings area, drawn only while expanded.
    // The stored preference, not the login item's live state.
    [[nodiscard]] bool isLaunchAtLoginOn() const { return isLaunchAtLoginOn_; }
    [[nodiscard]] const std::optional<LoginItemLine>& loginItemLine() const { return loginItemLine_; }
    [[nodiscard]] static const std::vector<KeepRecentChoice>& keepRecentChoices();
    // The choice matching the stored duration; none for any other stored value.
    [[nodiscard]] std::optional<std::size_t> selectedKeepRecentIndex() const { return selectedKeepRecentIndex_; }
    // The orange panel with its two remedies, instead of the privacy line.
    [[nodiscard]] bool isAccessPanelShown() const { return isAccessPanelShown_; }
    [[nodiscard]] static Label accessPanelTitle();
    [[nodiscard]] static Label privacyLine();

    // The links row.
    [[nodiscard]] static Label quitButton();
    // "Website: <host>", the host linked to the website, in the link colour, underlined.
    [[nodiscard]] static appkit::MutableAttributedString aboutCredits(const ProductLinks& links);

    // The controls' actions.
    static void setLaunchAtLogin(AppStateController& model, bool isOn);
    static void openLoginItems(AppStateController& model);
    static void chooseKeepRecent(AppStateController& model, std::int64_t seconds);
    static void openSystemAudioSettings(AppStateController& model);
    static void retryRoutes(AppStateController& model);
    static void copyDiagnostics(AppStateController& model);
    static void openHelp(AppStateController& model, const ProductLinks& links);
    static void openPrivacy(AppStateController& model, const ProductLinks& links);
    // Ends the application through its normal termination sequence.
    static void quit();

    bool operator==(const SettingsArea&) const = default;

private:
    bool isExpanded_ = false;
    bool isLaunchAtLoginOn_ = false;
    std::optional<LoginItemLine> loginItemLine_;
    std::optional<std::size_t> selectedKeepRecentIndex_;
    bool isAccessPanelShown_ = false;
};

}  // namespace tonvale
