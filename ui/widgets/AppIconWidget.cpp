#include "ui/widgets/AppIconWidget.h"

#include <QPixmap>

#include "platform/appkit/qt/ApplicationIcon.h"
#include "ui/widgets/ViewStyle.h"

namespace tonvale {

AppIconWidget::AppIconWidget(QWidget* parent) : QLabel(parent) { setFixedSize(AppIcon::kSize, AppIcon::kSize); }

void AppIconWidget::lookUp(const AppIcon& icon) {
    const auto url = icon.applicationURL();
    const auto image = url ? appkit::iconForFile(*url) : std::nullopt;
    if (!image) {
        const Label placeholder = AppIcon::placeholder();
        setPixmap(symbolIcon(placeholder.symbolName, placeholder.color).pixmap(AppIcon::kSize, AppIcon::kSize));
        return;
    }
    const qreal ratio = devicePixelRatioF();
    const int pixels = static_cast<int>(AppIcon::kSize * ratio);
    QPixmap pixmap = QPixmap::fromImage(image->render(QSize(pixels, pixels), colorFor(appkit::Color::labelColor)));
    pixmap.setDevicePixelRatio(ratio);
    setPixmap(pixmap);
}

}  // namespace tonvale
