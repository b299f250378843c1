#include "platform/appkit/qt/Alert.h"

#include <QGuiApplication>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>

#include <algorithm>

namespace appkit {

namespace {

QMessageBox::Icon iconOf(AlertStyle style) {
    switch (style) {
        case AlertStyle::warning:
            return QMessageBox::Warning;
        case AlertStyle::informational:
            return QMessageBox::Information;
        case AlertStyle::critical:
            return QMessageBox::Critical;
    }
    return QMessageBox::NoIcon;
}

// Roles order the buttons as the desktop expects and pick the one Escape presses.
QMessageBox::ButtonRole roleOf(std::size_t index) {
    switch (index) {
        case 0:
            return QMessageBox::AcceptRole;
        case 1:
            return QMessageBox::RejectRole;
        default:
            return QMessageBox::ActionRole;
    }
}

}  // namespace

ModalResponse Alert::runModal() {
    QMessageBox box;
    box.setIcon(iconOf(style_));
    box.setWindowTitle(QGuiApplication::applicationDisplayName());
    box.setTextFormat(Qt::PlainText);
    box.setText(QString::fromStdString(messageText_));
    box.setInformativeText(QString::fromStdString(informativeText_));
    // The message box reads its informative text as markup when it looks like some.
    for (QLabel* label : box.findChildren<QLabel*>()) {
        if (label->text() == box.informativeText()) {
            label->setTextFormat(Qt::PlainText);
        }
    }
    box.setWindowFlag(Qt::WindowStaysOnTopHint);

    const std::vector<std::string> titles = buttonTitles_.empty() ? std::vector<std::string>{"OK"} : buttonTitles_;
    std::vector<QPushButton*> buttons;
    for (std::size_t index = 0; index < titles.size(); ++index) {
        buttons.push_back(box.addButton(QString::fromStdString(titles[index]), roleOf(index)));
    }
    box.setDefaultButton(buttons.front());
    box.setEscapeButton(buttons.size() > 1 ? buttons[1] : buttons.front());

    box.show();
    box.raise();
    box.activateWindow();
    box.exec();

    const auto clicked = std::find(buttons.begin(), buttons.end(), box.clickedButton());
    if (clicked == buttons.end()) {
        return NSModalResponseAbort;
    }
    return NSAlertFirstButtonReturn + static_cast<ModalResponse>(clicked - buttons.begin());
}

}  // namespace appkit
