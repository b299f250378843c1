// A modal alert: a message, an informative text and buttons in the order they were
// added, shown as the desktop's message box in front of other applications' windows.
// runModal answers 1000 for the first button, 1001 for the second and so on. Escape
// or closing the window answers the second button where there are two or more (the
// first where there is one); an alert ended by the application's termination answers
// NSModalResponseAbort. Texts are shown as plain text, never as markup.
//
// Main thread only; runModal runs a nested event loop in which the main queue keeps
// running.
#pragma once

#include <string>
#include <vector>

namespace appkit {

using ModalResponse = long;
inline constexpr ModalResponse NSAlertFirstButtonReturn = 1000;
inline constexpr ModalResponse NSAlertSecondButtonReturn = 1001;
inline constexpr ModalResponse NSAlertThirdButtonReturn = 1002;
inline constexpr ModalResponse NSModalResponseAbort = -1001;

enum class AlertStyle {
    warning = 0,
    informational = 1,
    critical = 2,
};

class Alert {
public:
    void setAlertStyle(AlertStyle style) { style_ = style; }
    [[nodiscard]] AlertStyle alertStyle() const { return style_; }
    void setMessageText(std::string text) { messageText_ = std::move(text); }
    [[nodiscard]] const std::string& messageText() const { return messageText_; }
    void setInformativeText(std::string text) { informativeText_ = std::move(text); }
    [[nodiscard]] const std::string& informativeText() const { return informativeText_; }

    // An alert given no button shows one "OK" button.
    void addButtonWithTitle(std::string title) { buttonTitles_.push_back(std::move(title)); }
    [[nodiscard]] const std::vector<std::string>& buttonTitles() const { return buttonTitles_; }

    [[nodiscard]] ModalResponse runModal();

private:
    AlertStyle style_ = AlertStyle::warning;
    std::string messageText_;
    std::string informativeText_;
    std::vector<std::string> buttonTitles_;
};

}  // namespace appkit
