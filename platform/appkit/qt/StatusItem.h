// One item in the status bar (the desktop's system tray): a square slot holding a
// button. The button is absent when the desktop has no system tray.
//
// Created by StatusBar::statusItemWithLength; its owner keeps it, and destroying it
// (or removing it from the status bar) takes its icon out of the tray.
// Main thread only.
#pragma once

#include <memory>

#include "platform/appkit/qt/StatusBarButton.h"

namespace appkit {

inline constexpr double NSVariableStatusItemLength = -1.0;
inline constexpr double NSSquareStatusItemLength = -2.0;

class StatusItem {
public:
    // With a button only when hasButton; its icon appears in the tray at once.
    StatusItem(double length, bool hasButton);
    ~StatusItem();
    StatusItem(const StatusItem&) = delete;
    StatusItem& operator=(const StatusItem&) = delete;

    // nullptr when the desktop has no system tray.
    [[nodiscard]] StatusBarButton* button() { return button_.get(); }
    // The length it was created with; a tray slot is square whatever it is.
    [[nodiscard]] double length() const { return length_; }
    [[nodiscard]] bool isRemoved() const { return isRemoved_; }

    // Takes the icon out of the tray for good (StatusBar::removeStatusItem does).
    void removeFromStatusBar();

private:
    double length_;
    std::unique_ptr<StatusBarButton> button_;
    bool isRemoved_ = false;
};

}  // namespace appkit
