// A row's volume slider: 1000 steps across 0...1, moved 1% by an arrow key or a wheel notch
// and 10% by Page Up or Page Down. It takes the mouse wheel only once it has focus (clicked
// or tabbed to), so a wheel over the list scrolls the list.
// Main thread only; owned by its row.
#pragma once

#include <QSlider>

namespace tonvale {

class VolumeSlider final : public QSlider {
public:
    static constexpr int kSteps = 1000;
    static constexpr int kSingleStep = kSteps / 100;
    static constexpr int kPageStep = kSteps / 10;
    // A wheel's notch, in the eighths of a degree it reports.
    static constexpr int kWheelNotch = 120;

    explicit VolumeSlider(QWidget* parent = nullptr);

protected:
    void wheelEvent(QWheelEvent* event) override;

private:
    // Turns of a fine wheel (a touchpad) that add up to less than a notch so far.
    int pendingWheel_ = 0;
};

}  // namespace tonvale
