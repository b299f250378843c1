// Draws the mixer's links row (SettingsArea): "Get help", "Privacy", "About" and "Quit",
// and turns them into their actions on the workspace and the application. It stays at the
// bottom of the popover whatever else has to scroll, so Quit is always within reach.
// Main thread only; owned by the popover widget.
#pragma once

#include <QWidget>

#include "ui/ProductLinks.h"

namespace tonvale {

class AppStateController;

class LinksRowWidget final : public QWidget {
public:
    LinksRowWidget(AppStateController& model, ProductLinks links, QWidget* parent = nullptr);

private:
    AppStateController& model_;
    const ProductLinks links_;
};

}  // namespace tonvale
