// Draws the lower part of the mixer popover (SettingsArea): the disclosure row, the settings
// area while it is expanded, a divider and the links row, and turns their controls into the
// actions on the app state controller, the workspace and the application. Whether the area
// is expanded belongs to this widget alone and starts collapsed.
// Main thread only; owned by the popover widget.
#pragma once

#include <QWidget>

#include <functional>
#include <optional>

#include "ui/ProductLinks.h"
#include "ui/SettingsArea.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QPushButton;

namespace tonvale {

class AppStateController;
class SymbolLabel;

class SettingsAreaWidget final : public QWidget {
public:
    SettingsAreaWidget(AppStateController& model, ProductLinks links, QWidget* parent = nullptr);

    // Shows the controller's state as it is now.
    void redraw();

    [[nodiscard]] QPushButton& disclosureButton() const { return *disclosure_; }
    [[nodiscard]] QWidget& loginItemLine() const { return *loginItemLine_; }
    [[nodiscard]] QPushButton& openLoginItemsButton() const { return *openLoginItems_; }
    // The button with that title; nullptr when there is none.
    [[nodiscard]] QPushButton* button(const char* title) const;

private:
    void toggleExpanded();
    QPushButton* addButton(const char* title, std::function<void()> action);

    AppStateController& model_;
    const ProductLinks links_;
    bool isExpanded_ = false;
    std::optional<SettingsArea> shown_;
    QPushButton* disclosure_;
    QLabel* chevron_;
    QWidget* area_;
    QCheckBox* launchAtLogin_;
    QWidget* loginItemLine_;
    QLabel* loginItemMessage_;
    QPushButton* openLoginItems_;
    QComboBox* keepRecent_;
    QWidget* accessPanel_;
    SymbolLabel* privacyLine_;
};

}  // namespace tonvale
