// The button of a status item: the desktop's tray icon. It shows the item's image (a
// template image in the palette's text colour, redrawn when the palette changes between
// light and dark) and tool tip, and sends its action on the mouse clicks chosen with
// sendActionOn; it has no context menu.
//
// Owned by its status item. Main thread only.
#pragma once

#include <QRect>
#include <QSystemTrayIcon>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "platform/appkit/qt/Image.h"

namespace appkit {

// Which mouse clicks send a button's action.
using EventMask = std::uint64_t;
inline constexpr EventMask NSEventMaskLeftMouseUp = EventMask{1} << 2;
inline constexpr EventMask NSEventMaskRightMouseUp = EventMask{1} << 4;
inline constexpr EventMask NSEventMaskOtherMouseUp = EventMask{1} << 26;

class StatusBarButton {
public:
    StatusBarButton();
    ~StatusBarButton();
    StatusBarButton(const StatusBarButton&) = delete;
    StatusBarButton& operator=(const StatusBarButton&) = delete;

    void setImage(std::optional<Image> image);
    [[nodiscard]] const std::optional<Image>& image() const { return image_; }

    void setToolTip(const std::string& toolTip);
    [[nodiscard]] std::string toolTip() const;

    // The button's target and action: called with the button as the sender.
    void setAction(std::function<void(StatusBarButton& sender)> action) { action_ = std::move(action); }
    // Left clicks only until changed.
    void sendActionOn(EventMask mask) { mask_ = mask; }

    // Where the button is on screen, in global coordinates; empty where the tray does
    // not tell (a tray of another process that draws the icon itself).
    [[nodiscard]] QRect frameOnScreen() const;
    // The button's own rectangle: frameOnScreen's size at the origin.
    [[nodiscard]] QRect bounds() const;

    // The desktop's icon behind the button. Tests emit its activated signal to click.
    [[nodiscard]] QSystemTrayIcon& trayIcon() { return *trayIcon_; }

    // Shows or hides the icon in the tray (the status item does, when it is added or removed).
    void setVisible(bool isVisible);

private:
    class PaletteWatcher;

    void activate(QSystemTrayIcon::ActivationReason reason);
    void refreshIcon();

    std::unique_ptr<QSystemTrayIcon> trayIcon_;
    std::unique_ptr<PaletteWatcher> paletteWatcher_;
    std::optional<Image> image_;
    std::function<void(StatusBarButton&)> action_;
    EventMask mask_ = NSEventMaskLeftMouseUp;
};

}  // namespace appkit
