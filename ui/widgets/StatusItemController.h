// The program's one presence in the status bar: a square item whose button (the tray icon,
// left or right click) opens and closes the mixer popover, and the one-time question whether
// the program should launch at login, asked on a later main-queue turn than the one that
// built it. Every opening starts without the banners an earlier opening showed (they go when
// the popover closes; one raised while it was closed is shown) and with the login item's
// status as it is now. Holds the app state controller strongly as its model.
// Made by create() in a std::shared_ptr that the application delegate owns (the consent
// question holds it weakly); destroying it takes the icon out of the tray.
// Thread-safety: main thread only.
#pragma once

#include <memory>

#include "platform/appkit/qt/Popover.h"
#include "platform/appkit/qt/StatusItem.h"

namespace tonvale {

class AppStateController;

class StatusItemController final : public std::enable_shared_from_this<StatusItemController> {
    struct Passkey {};

public:
    static constexpr const char* kStatusIconName = "StatusIcon";
    static constexpr const char* kStatusIconSymbol = "speaker.wave.2.fill";
    static constexpr const char* kToolTip = "Tonvale";
    static constexpr double kStatusIconPoints = 18.0;
    static constexpr int kPopoverWidth = 440;
    static constexpr int kPopoverHeight = 620;
    static constexpr const char* kConsentMessage = "Launch Tonvale at Login?";
    static constexpr const char* kConsentInformation =
        "Tonvale can start automatically when you sign in so your app volume and routing preferences are ready. "
        "You can change this later in Tonvale Settings.";
    static constexpr const char* kConsentEnable = "Enable";
    static constexpr const char* kConsentNotNow = "Not Now";

    // Puts the icon in the tray and enqueues the consent question.
    [[nodiscard]] static std::shared_ptr<StatusItemController> create(std::shared_ptr<AppStateController> model);
    StatusItemController(std::shared_ptr<AppStateController> model, Passkey);
    ~StatusItemController();
    StatusItemController(const StatusItemController&) = delete;
    StatusItemController& operator=(const StatusItemController&) = delete;

    // The button's action: opens the popover below the sender, or closes it.
    void togglePopover(appkit::StatusBarButton& sender);

    // Asks once, unless consent was already given; an answer that arrives after consent was
    // given some other way while the question was open is ignored, and so is a question
    // ended by the application's termination (the controller has stopped by then).
    void presentLaunchAtLoginConsentIfNeeded();

    [[nodiscard]] appkit::StatusItem& statusItem() const { return *statusItem_; }
    // None until the first click.
    [[nodiscard]] appkit::Popover* popover() const { return popover_.get(); }

private:
    appkit::Popover& ensurePopover();

    const std::shared_ptr<AppStateController> model_;
    std::shared_ptr<appkit::StatusItem> statusItem_;
    std::unique_ptr<appkit::Popover> popover_;
};

}  // namespace tonvale
