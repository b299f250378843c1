// Draws an application's icon, 30 by 30 points: the icon its bundle declares, scaled to fit
// with its proportions, or the placeholder symbol when the workspace does not know the
// application or its bundle declares no readable icon. lookUp() asks the workspace again.
// Main thread only; owned by its row.
#pragma once

#include <QLabel>

#include "ui/AppIcon.h"

namespace tonvale {

class AppIconWidget final : public QLabel {
public:
    explicit AppIconWidget(QWidget* parent = nullptr);

    void lookUp(const AppIcon& icon);
};

}  // namespace tonvale
