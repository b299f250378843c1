// How the mixer's widgets draw what the presentation models name: the text styles and their
// fonts, the named colours, system symbols in a colour, plain symbol buttons, symbol labels,
// shortened texts, padded push buttons and dividers. One place, so that every view draws a
// Label the same way.
// Main thread only (needs the QApplication).
#pragma once

#include <QColor>
#include <QFont>
#include <QIcon>
#include <QString>

#include <string>

#include "platform/appkit/Color.h"
#include "ui/Label.h"

class QFontMetrics;
class QFrame;
class QLabel;
class QPushButton;
class QToolButton;
class QWidget;

namespace tonvale {

// The text styles the popover uses, from largest to smallest.
enum class TextStyle { title3, headline, body, callout, caption, caption2 };

[[nodiscard]] QFont fontFor(TextStyle style, QFont::Weight weight = QFont::Normal);
[[nodiscard]] QColor colorFor(appkit::Color color);
[[nodiscard]] QString qText(const std::string& text);

// The system symbol drawn in the colour; an empty icon for an unknown name. Icons are made
// once per symbol and colour.
[[nodiscard]] QIcon symbolIcon(const std::string& symbolName, appkit::Color color);

// A plain (borderless) button showing the label's symbol in its colour, with its help text.
void showSymbolButton(QToolButton& button, const Label& label);

// A text in the label's colour (the symbol is drawn by SymbolLabel).
void showText(QLabel& text, const Label& label);
// Draws the widget's text in the colour.
void setTextColor(QWidget& widget, appkit::Color color);

// The text as it fits in width: whole, or cut with "…" before its last keptEnd
// characters, which stay (a device's connection, " (Unavailable)").
[[nodiscard]] QString elidedText(const QString& text, qsizetype keptEnd, const QFontMetrics& metrics, int width);

// A push button whose title, in the font, keeps a margin on both sides however long it is.
[[nodiscard]] QPushButton* makePushButton(const QString& title, const QFont& font);

// A horizontal line across the parent, starting leadingIndent points in; named "divider".
[[nodiscard]] QWidget* makeDivider(int leadingIndent = 0);

}  // namespace tonvale
