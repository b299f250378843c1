#include "platform/appkit/qt/StatusBar.h"

#include <QSystemTrayIcon>

namespace appkit {

StatusBar& StatusBar::systemStatusBar() {
    static StatusBar statusBar;
    return statusBar;
}

std::shared_ptr<StatusItem> StatusBar::statusItemWithLength(double length) {
    return std::make_shared<StatusItem>(length, hasSystemTray());
}

void StatusBar::removeStatusItem(StatusItem& item) { item.removeFromStatusBar(); }

bool StatusBar::hasSystemTray() const {
    if (trayPresenceForTesting_) {
        return *trayPresenceForTesting_;
    }
    return QSystemTrayIcon::isSystemTrayAvailable();
}

}  // namespace appkit
