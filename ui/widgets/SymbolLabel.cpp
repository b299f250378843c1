#include "ui/widgets/SymbolLabel.h"

#include <QFontMetrics>
#include <QHBoxLayout>

namespace tonvale {

SymbolLabel::SymbolLabel(TextStyle style, QFont::Weight weight, QWidget* parent)
    : QWidget(parent), symbol_(new QLabel(this)), text_(new QLabel(this)) {
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(5);
    // The symbol, as tall as a line, sits beside the first line of the text, and the two
    // keep together in the middle of whatever height the label is given.
    layout->setAlignment(Qt::AlignVCenter);
    layout->addWidget(symbol_, 0, Qt::AlignTop);
    layout->addWidget(text_, 1, Qt::AlignTop);
    text_->setFont(fontFor(style, weight));
    text_->setTextFormat(Qt::PlainText);
}

void SymbolLabel::setLabel(const Label& label) {
    if (hasLabel_ && label == label_) {
        return;
    }
    hasLabel_ = true;
    label_ = label;
    const int size = QFontMetrics(text_->font()).height();
    symbol_->setVisible(!label.symbolName.empty());
    symbol_->setPixmap(symbolIcon(label.symbolName, label.color).pixmap(size, size));
    text_->setVisible(!label.title.empty());
    showText(*text_, label);
    setToolTip(qText(label.helpText));
}

void SymbolLabel::setWordWrap(bool wraps) { text_->setWordWrap(wraps); }

}  // namespace tonvale
