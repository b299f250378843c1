#include "platform/appkit/qt/StatusBarButton.h"

#include <QCoreApplication>
#include <QEvent>
#include <QPixmap>

#include "platform/appkit/qt/SystemColors.h"

namespace appkit {

namespace {

// Pixels of the placeholder a button without an image shows, so it stays clickable.
constexpr int kPlaceholderSize = 22;

}  // namespace

// Redraws the button's template image when the desktop switches between light and dark.
class StatusBarButton::PaletteWatcher final : public QObject {
public:
    explicit PaletteWatcher(StatusBarButton& button) : button_(button) {
        QCoreApplication::instance()->installEventFilter(this);
    }

    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::ApplicationPaletteChange && watched == QCoreApplication::instance()) {
            button_.refreshIcon();
        }
        return false;
    }

private:
    StatusBarButton& button_;
};

StatusBarButton::StatusBarButton()
    : trayIcon_(std::make_unique<QSystemTrayIcon>()), paletteWatcher_(std::make_unique<PaletteWatcher>(*this)) {
    QObject::connect(trayIcon_.get(), &QSystemTrayIcon::activated,
                     [this](QSystemTrayIcon::ActivationReason reason) { activate(reason); });
    refreshIcon();
}

StatusBarButton::~StatusBarButton() = default;

void StatusBarButton::setImage(std::optional<Image> image) {
    image_ = std::move(image);
    refreshIcon();
}

void StatusBarButton::setToolTip(const std::string& toolTip) { trayIcon_->setToolTip(QString::fromStdString(toolTip)); }

std::string StatusBarButton::toolTip() const { return trayIcon_->toolTip().toStdString(); }

QRect StatusBarButton::frameOnScreen() const { return trayIcon_->geometry(); }

QRect StatusBarButton::bounds() const { return QRect(QPoint(0, 0), frameOnScreen().size()); }

void StatusBarButton::setVisible(bool isVisible) { trayIcon_->setVisible(isVisible); }

void StatusBarButton::activate(QSystemTrayIcon::ActivationReason reason) {
    EventMask click = 0;
    switch (reason) {
        case QSystemTrayIcon::Trigger:
        case QSystemTrayIcon::DoubleClick:  // the second click of a double click
            click = NSEventMaskLeftMouseUp;
            break;
        case QSystemTrayIcon::Context:
            click = NSEventMaskRightMouseUp;
            break;
        case QSystemTrayIcon::MiddleClick:
            click = NSEventMaskOtherMouseUp;
            break;
        case QSystemTrayIcon::Unknown:
            break;
    }
    if ((mask_ & click) != 0 && action_) {
        action_(*this);
    }
}

void StatusBarButton::refreshIcon() {
    if (image_) {
        trayIcon_->setIcon(image_->icon(systemColor(Color::labelColor)));
        return;
    }
    QPixmap placeholder(kPlaceholderSize, kPlaceholderSize);
    placeholder.fill(Qt::transparent);
    trayIcon_->setIcon(QIcon(placeholder));
}

}  // namespace appkit
