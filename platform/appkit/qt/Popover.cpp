#include "platform/appkit/qt/Popover.h"

#include <QCursor>
#include <QFrame>
#include <QGuiApplication>
#include <QHideEvent>
#include <QScreen>
#include <QVBoxLayout>

namespace appkit {

// The popover's frameless window; it places and sizes itself again whenever its
// content asks for another size while shown, so content that grows or shrinks keeps
// the popover next to its anchor and within the screen.
class Popover::Window final : public QFrame {
public:
    explicit Window(Popover& popover) : popover_(popover) {
        setFrameShape(QFrame::StyledPanel);
        auto* layout = new QVBoxLayout(this);
        layout->setContentsMargins(0, 0, 0, 0);
        layout->setSpacing(0);
        // The popover sets the window's size (place), not the content's wish alone.
        layout->setSizeConstraint(QLayout::SetNoConstraint);
    }

    // The size the window would have if the screen left room for all of its content.
    [[nodiscard]] QSize naturalSize() const {
        const QLayout& content = *layout();
        const QSize size = content.totalSizeHint();
        return {size.width(), content.hasHeightForWidth() ? content.totalHeightForWidth(size.width()) : size.height()};
    }

protected:
    bool event(QEvent* event) override {
        const bool isHandled = QFrame::event(event);
        if (event->type() == QEvent::LayoutRequest && isVisible()) {
            popover_.place();
        }
        return isHandled;
    }

    void hideEvent(QHideEvent* event) override {
        QFrame::hideEvent(event);
        if (popover_.didClose_) {
            popover_.didClose_();
        }
    }

private:
    Popover& popover_;
};

Popover::Popover() : window_(std::make_unique<Window>(*this)) { setBehavior(behavior_); }

Popover::~Popover() = default;

void Popover::setBehavior(PopoverBehavior behavior) {
    behavior_ = behavior;
    const bool wasShown = isShown();
    if (behavior == PopoverBehavior::transient) {
        window_->setWindowFlags(Qt::Popup | Qt::FramelessWindowHint);
    } else {
        window_->setWindowFlags(Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint);
    }
    // The click that closes a transient popover must not reach the tray icon under it.
    window_->setAttribute(Qt::WA_NoMouseReplay, behavior == PopoverBehavior::transient);
    if (wasShown) {
        window_->show();
    }
}

void Popover::setContentSize(QSize size) {
    contentSize_ = size;
    applyContentSize();
}

void Popover::setContentWidget(std::unique_ptr<QWidget> content) {
    delete content_;
    content_ = content.release();
    if (content_ != nullptr) {
        window_->layout()->addWidget(content_);
    }
    applyContentSize();
}

void Popover::applyContentSize() {
    if (content_ == nullptr || contentSize_.isEmpty()) {
        return;
    }
    content_->setFixedWidth(contentSize_.width());
    if (!content_->sizeHint().isValid()) {
        content_->setFixedHeight(contentSize_.height());
    }
}

bool Popover::isShown() const { return window_->isVisible(); }

void Popover::showRelativeToRect(const QRect& rect, const StatusBarButton& view, RectEdge preferredEdge) {
    const QRect frame = view.frameOnScreen();
    if (frame.isEmpty()) {
        anchor_ = QRect(QCursor::pos(), QSize(1, 1));
    } else {
        anchor_ = rect.isEmpty() ? frame : rect.translated(frame.topLeft());
    }
    preferredEdge_ = preferredEdge;
    place();
    window_->show();
    window_->raise();
    window_->activateWindow();
}

void Popover::performClose() { window_->close(); }

QWidget& Popover::window() { return *window_; }

void Popover::place() {
    const QScreen* screen = QGuiApplication::screenAt(anchor_.center());
    if (screen == nullptr) {
        screen = QGuiApplication::primaryScreen();
    }
    if (screen == nullptr) {
        return;
    }
    window_->setGeometry(popoverFrame(anchor_, window_->naturalSize(), screen->availableGeometry(), preferredEdge_));
}

}  // namespace appkit
