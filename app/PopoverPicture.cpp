#include "app/PopoverPicture.h"

#include <QApplication>
#include <QImage>

#include <algorithm>
#include <memory>

#include "app/AppDelegate.h"
#include "platform/dispatch/Dispatch.h"
#include "state/AppStateController.h"
#include "ui/widgets/MixerPopoverWidget.h"

namespace tonvale {

namespace {

constexpr dispatch::Seconds kCheckInterval = 0.25;
constexpr dispatch::Seconds kEarliest = 1.0;
constexpr dispatch::Seconds kLatest = 10.0;

// Snapshots arrived and no route is between two states.
bool isSettled(const AppStateController& model) {
    if (model.devices().empty() || model.logicalApps().empty()) {
        return false;
    }
    const auto rows = model.rows();
    return std::none_of(rows.begin(), rows.end(), [](const AppRowState& row) {
        return row.routeStatus && (row.routeStatus->phase == RouteLifecyclePhase::starting ||
                                   row.routeStatus->phase == RouteLifecyclePhase::stopping);
    });
}

bool drawPopover(const std::shared_ptr<AppStateController>& model, const std::string& path) {
    MixerPopoverWidget popover(model);
    popover.setAttribute(Qt::WA_DontShowOnScreen);
    popover.show();
    QApplication::processEvents();
    // All of it: a picture is bound by no screen.
    popover.resize(popover.sizeHint());
    QApplication::processEvents();
    return popover.grab().toImage().save(QString::fromStdString(path), "PNG");
}

void check(const std::weak_ptr<AppDelegate>& weakDelegate, std::string path, dispatch::Seconds waited) {
    dispatch::DispatchQueue::main()->asyncAfter(kCheckInterval, [weakDelegate, path = std::move(path), waited] {
        const auto delegate = weakDelegate.lock();
        if (!delegate || !delegate->appStateController) {
            return;
        }
        const dispatch::Seconds now = waited + kCheckInterval;
        if (now < kLatest && (now < kEarliest || !isSettled(*delegate->appStateController))) {
            check(weakDelegate, path, now);
            return;
        }
        if (!drawPopover(delegate->appStateController, path)) {
            delegate->finishCommandLineMode("The popover picture could not be written to " + path, false);
            return;
        }
        delegate->finishCommandLineMode(path, true);
    });
}

}  // namespace

void takePopoverPicture(AppDelegate& delegate, std::string path) {
    check(delegate.weak_from_this(), std::move(path), 0.0);
}

}  // namespace tonvale
