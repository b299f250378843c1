// Draws one application's row of the mixer (MixerAppRow) and turns its controls into the
// row's actions on the app state controller. The popover keeps one per bundle identifier and
// shows each new snapshot in it, so a row is never rebuilt: a slider being dragged keeps its
// position under the pointer, whatever the controller publishes meanwhile.
// Main thread only; owned by the popover's list.
#pragma once

#include <QWidget>

#include <functional>
#include <optional>
#include <vector>

#include "ui/MixerAppRow.h"

class QLabel;
class QToolButton;

namespace tonvale {

class AppIconWidget;
class AppStateController;
class ElidedLabel;
class MenuPicker;
class VolumeSlider;

class MixerAppRowWidget final : public QWidget {
public:
    MixerAppRowWidget(AppStateController& model, QWidget* parent = nullptr);

    // Shows the snapshot; a change of nothing draws nothing.
    void show(const MixerAppRow& row);
    // Asks the workspace for the application's icon again.
    void lookUpIcon();
    // The line under the row, drawn for every row but the last.
    void setDividerShown(bool isShown);

    // While the slider is dragged or the output list is open.
    [[nodiscard]] bool isHeld() const;
    // Called when the slider is let go and when the output list closes.
    void setLetGoAction(std::function<void()> action);
    // The controls in reading order, as Tab reaches them.
    [[nodiscard]] std::vector<QWidget*> controls() const;

    [[nodiscard]] ElidedLabel& name() const { return *name_; }
    [[nodiscard]] QLabel& activity() const { return *activity_; }
    [[nodiscard]] QToolButton& pinButton() const { return *pin_; }
    [[nodiscard]] QToolButton& muteButton() const { return *mute_; }
    [[nodiscard]] VolumeSlider& slider() const { return *slider_; }
    [[nodiscard]] MenuPicker& outputPicker() const { return *output_; }
    [[nodiscard]] QLabel& percentage() const { return *percentage_; }
    [[nodiscard]] ElidedLabel& routeStatus() const { return *status_; }

private:
    void volumeMoved(int value);
    void outputChosen(int index);

    AppStateController& model_;
    std::optional<MixerAppRow> row_;
    std::function<void()> letGo_;
    AppIconWidget* icon_;
    ElidedLabel* name_;
    QLabel* activity_;
    QToolButton* pin_;
    QToolButton* mute_;
    VolumeSlider* slider_;
    QLabel* percentage_;
    MenuPicker* output_;
    ElidedLabel* status_;
    QLabel* failure_;
    QWidget* divider_;
};

}  // namespace tonvale
