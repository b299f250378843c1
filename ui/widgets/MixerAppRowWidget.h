// Draws one application's row of the mixer (MixerAppRow) and turns its controls into the
// row's actions on the app state controller. The popover keeps one per bundle identifier and
// shows each new snapshot in it, so a row is never rebuilt: a slider being dragged keeps its
// position under the pointer, whatever the controller publishes meanwhile.
// Main thread only; owned by the popover's list.
#pragma once

#include <QWidget>

#include <optional>

#include "ui/MixerAppRow.h"

class QComboBox;
class QLabel;
class QSlider;
class QToolButton;

namespace tonvale {

class AppIconWidget;
class AppStateController;

class MixerAppRowWidget final : public QWidget {
public:
    // The slider's steps across 0...1.
    static constexpr int kSliderSteps = 1000;

    MixerAppRowWidget(AppStateController& model, QWidget* parent = nullptr);

    // Shows the snapshot; a change of nothing draws nothing.
    void show(const MixerAppRow& row);
    // Asks the workspace for the application's icon again.
    void lookUpIcon();
    // The line under the row, drawn for every row but the last.
    void setDividerShown(bool isShown);

    [[nodiscard]] QToolButton& pinButton() const { return *pin_; }
    [[nodiscard]] QToolButton& muteButton() const { return *mute_; }
    [[nodiscard]] QSlider& slider() const { return *slider_; }
    [[nodiscard]] QComboBox& outputPicker() const { return *output_; }
    [[nodiscard]] QLabel& percentage() const { return *percentage_; }
    [[nodiscard]] QLabel& routeStatus() const { return *status_; }

private:
    void volumeMoved(int value);
    void outputChosen(int index);

    AppStateController& model_;
    std::optional<MixerAppRow> row_;
    AppIconWidget* icon_;
    QLabel* name_;
    QLabel* activity_;
    QToolButton* pin_;
    QToolButton* mute_;
    QSlider* slider_;
    QLabel* percentage_;
    QComboBox* output_;
    QLabel* status_;
    QLabel* failure_;
    QWidget* divider_;
};

}  // namespace tonvale
