// A label of the mixer: a system symbol followed by a text, both in the label's colour, in
// one text style (the symbol sized to the text). Either part may be absent. Help text shows
// on hover.
// Main thread only; owned by its parent widget.
#pragma once

#include <QLabel>
#include <QWidget>

#include "ui/Label.h"
#include "ui/widgets/ViewStyle.h"

namespace tonvale {

class SymbolLabel final : public QWidget {
public:
    explicit SymbolLabel(TextStyle style, QFont::Weight weight = QFont::Normal, QWidget* parent = nullptr);

    void setLabel(const Label& label);
    void setWordWrap(bool wraps);

private:
    QLabel* symbol_;
    QLabel* text_;
    Label label_;
    bool hasLabel_ = false;
};

}  // namespace tonvale
