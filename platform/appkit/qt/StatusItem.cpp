#include "platform/appkit/qt/StatusItem.h"

namespace appkit {

StatusItem::StatusItem(double length, bool hasButton) : length_(length) {
    if (!hasButton) {
        return;
    }
    button_ = std::make_unique<StatusBarButton>();
    button_->setVisible(true);
}

StatusItem::~StatusItem() { removeFromStatusBar(); }

void StatusItem::removeFromStatusBar() {
    isRemoved_ = true;
    if (button_) {
        button_->setVisible(false);
    }
}

}  // namespace appkit
