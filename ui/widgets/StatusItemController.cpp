#include "ui/widgets/StatusItemController.h"

#include "platform/appkit/Application.h"
#include "platform/appkit/qt/Alert.h"
#include "platform/appkit/qt/StatusBar.h"
#include "platform/dispatch/DispatchQueue.h"
#include "state/AppStateController.h"
#include "ui/widgets/MixerPopoverWidget.h"

namespace tonvale {

std::shared_ptr<StatusItemController> StatusItemController::create(std::shared_ptr<AppStateController> model) {
    auto controller = std::make_shared<StatusItemController>(std::move(model), Passkey{});
    dispatch::DispatchQueue::main()->async([weak = controller->weak_from_this()] {
        if (const auto self = weak.lock()) {
            self->presentLaunchAtLoginConsentIfNeeded();
        }
    });
    return controller;
}

StatusItemController::StatusItemController(std::shared_ptr<AppStateController> model, Passkey)
    : model_(std::move(model)),
      statusItem_(appkit::StatusBar::systemStatusBar().statusItemWithLength(appkit::NSSquareStatusItemLength)) {
    appkit::StatusBarButton* button = statusItem_->button();
    if (button == nullptr) {
        return;
    }
    auto image = appkit::Image::imageNamed(kStatusIconName);
    if (!image) {
        image = appkit::Image::imageWithSystemSymbolName(kStatusIconSymbol, kToolTip);
    }
    if (image) {
        image->setTemplate(true);
        image->setSize(QSizeF(kStatusIconPoints, kStatusIconPoints));
        image->setAccessibilityDescription(kToolTip);
    }
    button->setImage(image);
    button->setAction([this](appkit::StatusBarButton& sender) { togglePopover(sender); });
    button->sendActionOn(appkit::NSEventMaskLeftMouseUp | appkit::NSEventMaskRightMouseUp);
    button->setToolTip(kToolTip);
}

StatusItemController::~StatusItemController() {
    popover_.reset();
    appkit::StatusBar::systemStatusBar().removeStatusItem(*statusItem_);
}

appkit::Popover& StatusItemController::ensurePopover() {
    if (!popover_) {
        popover_ = std::make_unique<appkit::Popover>();
        popover_->setBehavior(appkit::PopoverBehavior::transient);
        popover_->setAnimates(true);
        popover_->setContentSize(QSize(kPopoverWidth, kPopoverHeight));
        popover_->setContentWidget(std::make_unique<MixerPopoverWidget>(model_));
        // The messages shown while it was open go with it; one raised while it was closed
        // (a settings file that could not be read at start, a save that failed in the
        // background) waits for the next opening instead of being dropped unseen.
        popover_->setDidClose([this] {
            model_->setLastError(std::nullopt);
            model_->setNoticeMessage(std::nullopt);
        });
    }
    return *popover_;
}

void StatusItemController::togglePopover(appkit::StatusBarButton& sender) {
    appkit::Popover& popover = ensurePopover();
    if (popover.isShown()) {
        popover.performClose();
        return;
    }
    model_->setLoginItemStatus(model_->loginItemService().status());
    popover.showRelativeToRect(sender.bounds(), sender, appkit::RectEdge::minY);
}

void StatusItemController::presentLaunchAtLoginConsentIfNeeded() {
    if (model_->persistedState().preferences.hasCompletedLaunchAtLoginConsent) {
        return;
    }
    appkit::Alert alert;
    alert.setAlertStyle(appkit::AlertStyle::informational);
    alert.setMessageText(kConsentMessage);
    alert.setInformativeText(kConsentInformation);
    alert.addButtonWithTitle(kConsentEnable);
    alert.addButtonWithTitle(kConsentNotNow);
    if (appkit::Application* application = appkit::Application::shared()) {
        application->activateIgnoringOtherApps(true);
    }
    const appkit::ModalResponse response = alert.runModal();
    if (model_->persistedState().preferences.hasCompletedLaunchAtLoginConsent) {
        return;
    }
    // Ended by the application's termination: the controller has already stopped and
    // saved, so the question stays open for the next launch.
    if (response == appkit::NSModalResponseAbort) {
        return;
    }
    model_->setLaunchAtLogin(response == appkit::NSAlertFirstButtonReturn);
}

}  // namespace tonvale
