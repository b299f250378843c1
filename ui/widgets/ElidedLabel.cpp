#include "ui/widgets/ElidedLabel.h"

#include <QFontMetrics>

namespace tonvale {

namespace {

const QString kEllipsis = QStringLiteral("\u2026");

}  // namespace

ElidedLabel::ElidedLabel(TextStyle style, QFont::Weight weight, QWidget* parent) : QLabel(parent) {
    setFont(fontFor(style, weight));
    setTextFormat(Qt::PlainText);
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
}

void ElidedLabel::setLabel(const Label& label) {
    setTextColor(*this, label.color);
    helpText_ = qText(label.helpText);
    setFullText(qText(label.title));
}

void ElidedLabel::setFullText(const QString& text) {
    if (text == fullText_) {
        return;
    }
    fullText_ = text;
    updateGeometry();
    elide();
}

QSize ElidedLabel::sizeHint() const {
    const QMargins margins = contentsMargins();
    return {fontMetrics().horizontalAdvance(fullText_) + margins.left() + margins.right(),
            fontMetrics().height() + margins.top() + margins.bottom()};
}

QSize ElidedLabel::minimumSizeHint() const { return {fontMetrics().horizontalAdvance(kEllipsis), sizeHint().height()}; }

void ElidedLabel::resizeEvent(QResizeEvent* event) {
    QLabel::resizeEvent(event);
    elide();
}

void ElidedLabel::elide() {
    const QString shown = elidedText(fullText_, 0, fontMetrics(), contentsRect().width());
    QLabel::setText(shown);
    setToolTip(shown == fullText_ ? helpText_ : fullText_);
}

}  // namespace tonvale
