#include "ui/widgets/ViewStyle.h"

#include <QApplication>
#include <QFontMetrics>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QToolButton>

#include <algorithm>
#include <map>
#include <utility>

#include "platform/appkit/qt/Image.h"
#include "platform/appkit/qt/SystemColors.h"

namespace tonvale {

namespace {

// Room on each side of a push button's title.
constexpr int kButtonTitleMargin = 12;

// Sizes relative to the desktop's body text, in the proportions of a menu-bar popover's
// type ramp (body 13 points: title 3 is 15, callout 12, caption 10, caption 2 a little less).
double scaleOf(TextStyle style) {
    switch (style) {
        case TextStyle::title3:
            return 15.0 / 13.0;
        case TextStyle::headline:
        case TextStyle::body:
            return 1.0;
        case TextStyle::callout:
            return 12.0 / 13.0;
        case TextStyle::caption:
            return 10.5 / 13.0;
        case TextStyle::caption2:
            return 10.0 / 13.0;
    }
    return 1.0;
}

}  // namespace

QFont fontFor(TextStyle style, QFont::Weight weight) {
    QFont font = QApplication::font();
    font.setPointSizeF(font.pointSizeF() * scaleOf(style));
    font.setWeight(style == TextStyle::headline ? QFont::DemiBold : weight);
    return font;
}

QColor colorFor(appkit::Color color) { return appkit::systemColor(color); }

QString qText(const std::string& text) { return QString::fromStdString(text); }

QIcon symbolIcon(const std::string& symbolName, appkit::Color color) {
    static std::map<std::pair<std::string, appkit::Color>, QIcon> icons;
    const auto key = std::make_pair(symbolName, color);
    if (const auto found = icons.find(key); found != icons.end()) {
        return found->second;
    }
    const auto image = appkit::Image::imageWithSystemSymbolName(symbolName);
    QIcon icon = image ? image->icon(colorFor(color)) : QIcon();
    icons.emplace(key, icon);
    return icon;
}

void showSymbolButton(QToolButton& button, const Label& label) {
    button.setAutoRaise(true);
    button.setIcon(symbolIcon(label.symbolName, label.color));
    button.setToolTip(qText(label.helpText));
    button.setAccessibleName(qText(label.helpText));
}

void showText(QLabel& text, const Label& label) {
    text.setText(qText(label.title));
    setTextColor(text, label.color);
    text.setToolTip(qText(label.helpText));
}

void setTextColor(QWidget& widget, appkit::Color color) {
    QPalette palette = widget.palette();
    palette.setColor(QPalette::WindowText, colorFor(color));
    widget.setPalette(palette);
}

QString elidedText(const QString& text, qsizetype keptEnd, const QFontMetrics& metrics, int width) {
    if (metrics.horizontalAdvance(text) <= width) {
        return text;
    }
    const qsizetype kept = std::clamp<qsizetype>(keptEnd, 0, text.size());
    const QString end = text.right(kept);
    const int headWidth = std::max(0, width - metrics.horizontalAdvance(end));
    return metrics.elidedText(text.left(text.size() - kept), Qt::ElideRight, headWidth) + end;
}

QPushButton* makePushButton(const QString& title, const QFont& font) {
    auto* button = new QPushButton(title);
    button->setFont(font);
    const int titleWidth = QFontMetrics(font).horizontalAdvance(title);
    button->setMinimumWidth(std::max(button->sizeHint().width(), titleWidth + 2 * kButtonTitleMargin));
    return button;
}

QWidget* makeDivider(int leadingIndent) {
    auto* divider = new QWidget;
    divider->setObjectName(QStringLiteral("divider"));
    auto* layout = new QHBoxLayout(divider);
    layout->setContentsMargins(leadingIndent, 0, 0, 0);
    auto* line = new QFrame;
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Plain);
    line->setFixedHeight(1);
    QPalette palette = line->palette();
    palette.setColor(QPalette::WindowText, colorFor(appkit::Color::secondaryLabelColor).lighter(150));
    line->setPalette(palette);
    layout->addWidget(line);
    return divider;
}

}  // namespace tonvale
