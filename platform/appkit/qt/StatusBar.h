// The system status bar: on this desktop, the system tray of the panel. It hands out
// status items, whose buttons are the tray's icons, and checks that a tray exists
// before relying on it: without one, items have no button.
//
// One per process (systemStatusBar). Main thread only; needs the QApplication.
#pragma once

#include <memory>
#include <optional>

#include "platform/appkit/qt/StatusItem.h"

namespace appkit {

class StatusBar {
public:
    [[nodiscard]] static StatusBar& systemStatusBar();

    // A new item, shown in the tray at once; the caller owns it.
    [[nodiscard]] std::shared_ptr<StatusItem> statusItemWithLength(double length);
    // Takes the item's icon out of the tray.
    void removeStatusItem(StatusItem& item);

    // Whether the desktop offers a system tray right now.
    [[nodiscard]] bool hasSystemTray() const;

    // Lets tests on a platform without a tray (offscreen) have items with buttons all
    // the same; nullopt asks the desktop again.
    void setSystemTrayPresenceForTesting(std::optional<bool> isPresent) { trayPresenceForTesting_ = isPresent; }

private:
    StatusBar() = default;

    std::optional<bool> trayPresenceForTesting_;
};

}  // namespace appkit
