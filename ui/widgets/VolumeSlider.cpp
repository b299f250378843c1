#include "ui/widgets/VolumeSlider.h"

#include <QWheelEvent>

namespace tonvale {

VolumeSlider::VolumeSlider(QWidget* parent) : QSlider(Qt::Horizontal, parent) {
    setRange(0, kSteps);
    setSingleStep(kSingleStep);
    setPageStep(kPageStep);
    // Not wheel focus: a wheel that passes over the slider must not take it.
    setFocusPolicy(Qt::StrongFocus);
}

void VolumeSlider::wheelEvent(QWheelEvent* event) {
    if (!hasFocus()) {
        event->ignore();
        return;
    }
    // One step per notch, not the desktop's several lines per notch; a slider moves the way
    // the wheel physically turns, whatever the desktop's scrolling direction.
    const QPoint turn = event->angleDelta();
    const int delta = turn.y() != 0 ? turn.y() : turn.x();
    pendingWheel_ += event->inverted() ? -delta : delta;
    const int notches = pendingWheel_ / kWheelNotch;
    pendingWheel_ -= notches * kWheelNotch;
    if (notches != 0) {
        setValue(value() + notches * singleStep());
    }
    event->accept();
}

}  // namespace tonvale
