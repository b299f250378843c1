// A popover: a frameless window that holds a content widget and is shown next to a
// status-bar button (below it when the tray is at the top of the screen, above it at
// the bottom; see PopoverPlacement.h). A transient popover is a popup: a click outside
// it, or Escape, closes it, and the click that closes it goes nowhere else, so a click
// on its own tray icon closes it rather than reopening it. It has no taskbar entry.
//
// The content is as wide as the content size; its height is the content's own preferred
// height, or the content size's where the content has none, but never more than the
// room on its side of the anchor: there the content gets less than it asked for and
// must make do with it. Owned by its user; main thread only.
#pragma once

#include <QRect>
#include <QSize>
#include <QWidget>

#include <functional>
#include <memory>

#include "platform/appkit/qt/PopoverPlacement.h"
#include "platform/appkit/qt/StatusBarButton.h"

namespace appkit {

enum class PopoverBehavior {
    applicationDefined = 0,
    transient = 1,
    semitransient = 2,
};

class Popover {
public:
    Popover();
    ~Popover();
    Popover(const Popover&) = delete;
    Popover& operator=(const Popover&) = delete;

    // Transient closes on a click outside; the other behaviours close only through
    // performClose. Application-defined until changed.
    void setBehavior(PopoverBehavior behavior);
    [[nodiscard]] PopoverBehavior behavior() const { return behavior_; }

    // Whether showing and closing animate. The desktop's compositor decides how windows
    // appear, so this is kept for the caller and changes nothing here.
    void setAnimates(bool animates) { animates_ = animates; }
    [[nodiscard]] bool animates() const { return animates_; }

    void setContentSize(QSize size);
    [[nodiscard]] QSize contentSize() const { return contentSize_; }

    // The popover takes the content over; it lives as long as the popover.
    void setContentWidget(std::unique_ptr<QWidget> content);
    [[nodiscard]] QWidget* contentWidget() const { return content_; }

    [[nodiscard]] bool isShown() const;

    // Shows the popover next to rect, given in view's own coordinates (view's bounds for
    // the whole button), on preferredEdge's side where it fits. Where the tray does not
    // tell the button's place, the pointer (which just clicked it) stands in for it.
    void showRelativeToRect(const QRect& rect, const StatusBarButton& view, RectEdge preferredEdge);
    void performClose();
    // Called each time the shown popover closes, however it was closed (performClose, a
    // click outside, Escape).
    void setDidClose(std::function<void()> didClose) { didClose_ = std::move(didClose); }

    // The popover's window (the desktop test and widget tests look at it).
    [[nodiscard]] QWidget& window();

private:
    class Window;

    void applyContentSize();
    void place();

    std::unique_ptr<Window> window_;
    QWidget* content_ = nullptr;
    QSize contentSize_;
    PopoverBehavior behavior_ = PopoverBehavior::applicationDefined;
    bool animates_ = false;
    QRect anchor_;
    RectEdge preferredEdge_ = RectEdge::minY;
    std::function<void()> didClose_;
};

}  // namespace appkit
