// Draws the settings of the mixer popover (SettingsArea): the disclosure row and the settings
// area while it is expanded, and turns their controls into the actions on the app state
// controller. Whether the area is expanded belongs to this widget alone and starts collapsed.
// The links row below it is LinksRowWidget.
// Main thread only; owned by the popover widget.
#pragma once

#include <QWidget>

#include <functional>
#include <optional>

#include "ui/SettingsArea.h"

class QCheckBox;
class QLabel;
class QPushButton;

namespace tonvale {

class AppStateController;
class MenuPicker;
class SymbolLabel;

class SettingsAreaWidget final : public QWidget {
public:
    explicit SettingsAreaWidget(AppStateController& model, QWidget* parent = nullptr);

    // Shows the controller's state as it is now.
    void redraw();

    [[nodiscard]] QPushButton& disclosureButton() const { return *disclosure_; }
    [[nodiscard]] QWidget& loginItemLine() const { return *loginItemLine_; }
    [[nodiscard]] QPushButton& openLoginItemsButton() const { return *openLoginItems_; }

private:
    void toggleExpanded();
    QPushButton* addButton(const char* title, std::function<void()> action);

    AppStateController& model_;
    bool isExpanded_ = false;
    std::optional<SettingsArea> shown_;
    QPushButton* disclosure_;
    QLabel* chevron_;
    QWidget* area_;
    QCheckBox* launchAtLogin_;
    QWidget* loginItemLine_;
    QLabel* loginItemMessage_;
    QPushButton* openLoginItems_;
    MenuPicker* keepRecent_;
    QWidget* accessPanel_;
    SymbolLabel* privacyLine_;
};

}  // namespace tonvale
