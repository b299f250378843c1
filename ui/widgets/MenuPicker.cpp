#include "ui/widgets/MenuPicker.h"

#include <QAbstractItemView>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QStyleOptionComboBox>
#include <QStylePainter>
#include <QToolTip>
#include <QWheelEvent>

#include "ui/widgets/ViewStyle.h"

namespace tonvale {

namespace {

// Where an entry keeps the length of its kept end.
constexpr int kKeptEndRole = Qt::UserRole + 1;

}  // namespace

MenuPicker::MenuPicker(QWidget* parent) : QComboBox(parent) {
    // Not wheel focus: a wheel that passes over the picker must not take it.
    setFocusPolicy(Qt::StrongFocus);
    view()->installEventFilter(this);
    // The list's own window: it closes in more ways than through hidePopup.
    view()->window()->installEventFilter(this);
}

void MenuPicker::addEntry(const std::string& title, const std::string& keptEnd) {
    const QString text = qText(title);
    addItem(text);
    const int index = count() - 1;
    setItemData(index, text, Qt::ToolTipRole);
    setItemData(index, static_cast<int>(qText(keptEnd).size()), kKeptEndRole);
}

bool MenuPicker::isListOpen() const { return view()->isVisible(); }

bool MenuPicker::event(QEvent* event) {
    // The closed box's tool tip is the chosen entry's whole text while it is cut.
    if (event->type() == QEvent::ToolTip && shownText() != currentText()) {
        QToolTip::showText(static_cast<QHelpEvent*>(event)->globalPos(), currentText(), this);
        return true;
    }
    return QComboBox::event(event);
}

void MenuPicker::wheelEvent(QWheelEvent* event) {
    if (!hasFocus()) {
        event->ignore();
        return;
    }
    QComboBox::wheelEvent(event);
}

void MenuPicker::paintEvent(QPaintEvent* /*event*/) {
    QStylePainter painter(this);
    painter.setPen(palette().color(QPalette::Text));
    QStyleOptionComboBox option;
    initStyleOption(&option);
    painter.drawComplexControl(QStyle::CC_ComboBox, option);
    option.currentText = shownText();
    painter.drawControl(QStyle::CE_ComboBoxLabel, option);
}

bool MenuPicker::eventFilter(QObject* watched, QEvent* event) {
    if (watched == view()->window() && event->type() == QEvent::Hide && listClosed_) {
        listClosed_();
    }
    // Escape in the open list closes the list and goes no further, so the window the
    // picker is in stays open.
    const bool isKey = event->type() == QEvent::KeyPress || event->type() == QEvent::ShortcutOverride;
    if (watched == view() && isKey && static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape) {
        if (event->type() == QEvent::KeyPress) {
            hidePopup();
        }
        event->accept();
        return true;
    }
    return QComboBox::eventFilter(watched, event);
}

QString MenuPicker::shownText() const {
    QStyleOptionComboBox option;
    initStyleOption(&option);
    const QRect field = style()->subControlRect(QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxEditField, this);
    const int keptEnd = itemData(currentIndex(), kKeptEndRole).toInt();
    // The style draws the label one pixel in from either side of the field.
    return elidedText(currentText(), keptEnd, fontMetrics(), field.width() - 2);
}

}  // namespace tonvale
