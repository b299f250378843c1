#include "ui/widgets/SymbolLabel.h"

#include <QFontMetrics>
#include <QHBoxLayout>

namespace tonvale {

SymbolLabel::SymbolLabel(TextStyle style, QFont::Weight weight, QWidget* parent)
    : QWidget(parent), symbol_(new QLabel(this)), text_(new QLabel(this)) {
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(5);
    layout->addWidget(symbol_, 0, Qt::AlignTop);
    layout->addWidget(text_, 1);
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
