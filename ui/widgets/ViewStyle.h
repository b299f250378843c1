// How the mixer's widgets draw what the presentation models name: the text styles and their
// fonts, the named colours, system symbols in a colour, plain symbol buttons, symbol labels
// and dividers. One place, so that every view draws a Label the same way.
// Main thread only (needs the QApplication).
#pragma once

#include <QColor>
#include <QFont>
#include <QIcon>
#include <QString>

#include <string>

#include "platform/appkit/Color.h"
#include "ui/Label.h"

class QFrame;
class QLabel;
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

// A horizontal line across the parent, starting leadingIndent points in; named "divider".
[[nodiscard]] QWidget* makeDivider(int leadingIndent = 0);

}  // namespace tonvale
