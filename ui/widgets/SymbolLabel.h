// A label of the mixer: a system symbol followed by a text, both in the label's colour, in
// one text style (the symbol sized to the text). Either part may be absent. Help text shows
// on hover; the text can be made selectable, so messages can be copied.
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
    [[nodiscard]] const Label& label() const { return label_; }
    void setTextSelectable(bool isSelectable);
    void setWordWrap(bool wraps);

    [[nodiscard]] QLabel& symbol() { return *symbol_; }
    [[nodiscard]] QLabel& text() { return *text_; }

private:
    QLabel* symbol_;
    QLabel* text_;
    Label label_;
    bool hasLabel_ = false;
};

}  // namespace tonvale
