#include "ui/SettingsArea.h"

#include <algorithm>

#include "platform/appkit/Application.h"
#include "state/AppStateController.h"

namespace tonvale {

namespace {

using appkit::Color;

std::optional<SettingsArea::LoginItemLine> loginItemLineOf(const LoginItemStatus& status) {
    switch (status.kind()) {
        case LoginItemStatus::Kind::requiresApproval:
            return SettingsArea::LoginItemLine{
                {"Approval is required in System Settings.", {}, Color::secondaryLabelColor}, true};
        case LoginItemStatus::Kind::failed:
            return SettingsArea::LoginItemLine{{status.message(), {}, Color::systemRed}, false};
        case LoginItemStatus::Kind::enabled:
        case LoginItemStatus::Kind::disabled:
        case LoginItemStatus::Kind::unavailable:
            return std::nullopt;
    }
    return std::nullopt;
}

}  // namespace

SettingsArea::SettingsArea(const AppStateController& model, bool isExpanded)
    : isExpanded_(isExpanded),
      isLaunchAtLoginOn_(model.persistedState().preferences.launchAtLogin),
      loginItemLine_(loginItemLineOf(model.loginItemStatus())),
      isAccessPanelShown_(model.needsSystemAudioAccess()) {
    const std::int64_t stored = model.persistedState().preferences.recentAppVisibilitySeconds;
    const auto& choices = keepRecentChoices();
    const auto match = std::find_if(choices.begin(), choices.end(),
                                    [stored](const KeepRecentChoice& choice) { return choice.seconds == stored; });
    if (match != choices.end()) {
        selectedKeepRecentIndex_ = static_cast<std::size_t>(match - choices.begin());
    }
}

std::string SettingsArea::disclosureAccessibilityLabel() const {
    return isExpanded_ ? "Collapse Settings" : "Expand Settings";
}

Label SettingsArea::disclosureTitle() { return {"Settings", "gearshape"}; }

const std::vector<SettingsArea::KeepRecentChoice>& SettingsArea::keepRecentChoices() {
    static const std::vector<KeepRecentChoice> choices{{"30 seconds", 30}, {"1 minute", 60}, {"5 minutes", 300}};
    return choices;
}

Label SettingsArea::accessPanelTitle() {
    return {"System Audio Access is needed", "lock.trianglebadge.exclamationmark"};
}

Label SettingsArea::privacyLine() {
    return {"System audio access is requested only when an app needs routing or volume control.", "lock.shield",
            Color::secondaryLabelColor};
}

Label SettingsArea::quitButton() { return {"Quit", "power"}; }

appkit::MutableAttributedString SettingsArea::aboutCredits(const ProductLinks& links) {
    const std::string prefix = "Website: ";
    const std::string host = links.websiteHost();
    appkit::MutableAttributedString credits(prefix + host);
    const appkit::TextRange hostRange{prefix.size(), host.size()};
    credits.addLink(links.websiteURL, hostRange);
    credits.addForegroundColor(Color::linkColor, hostRange);
    credits.addUnderlineStyle(appkit::UnderlineStyle::single, hostRange);
    return credits;
}

void SettingsArea::setLaunchAtLogin(AppStateController& model, bool isOn) { model.setLaunchAtLogin(isOn); }

void SettingsArea::openLoginItems(AppStateController& model) {
    model.loginItemService().openSystemSettingsLoginItems();
}

void SettingsArea::chooseKeepRecent(AppStateController& model, std::int64_t seconds) {
    model.setRecentAppVisibilitySeconds(seconds);
}

void SettingsArea::openSystemAudioSettings(AppStateController& model) { model.openSystemAudioPrivacySettings(); }

void SettingsArea::retryRoutes(AppStateController& model) { model.retryRoutes(); }

void SettingsArea::copyDiagnostics(AppStateController& model) { model.copyMetadataDiagnostics(); }

void SettingsArea::openHelp(AppStateController& model, const ProductLinks& links) { model.openURL(links.helpURL); }

void SettingsArea::openPrivacy(AppStateController& model, const ProductLinks& links) {
    model.openURL(links.privacyURL);
}

void SettingsArea::quit() {
    if (appkit::Application* application = appkit::Application::shared()) {
        application->terminate(0);
    }
}

}  // namespace tonvale
