// A one-line text of the mixer (a name, a status, a device) that gives way when its place is
// too narrow: it is cut with "…" at the end and then shows its whole text as its tool tip.
// It asks for the whole text's width and can shrink to the ellipsis alone.
// Main thread only; owned by its parent widget.
#pragma once

#include <QLabel>
#include <QString>

#include "ui/Label.h"
#include "ui/widgets/ViewStyle.h"

namespace tonvale {

class ElidedLabel final : public QLabel {
public:
    explicit ElidedLabel(TextStyle style, QFont::Weight weight = QFont::Normal, QWidget* parent = nullptr);

    // The label's title in its colour; its help text is the tool tip while the title is whole.
    void setLabel(const Label& label);
    void setFullText(const QString& text);
    // The whole text, however much of it shows.
    [[nodiscard]] const QString& fullText() const { return fullText_; }

    [[nodiscard]] QSize sizeHint() const override;
    [[nodiscard]] QSize minimumSizeHint() const override;

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void elide();

    QString fullText_;
    QString helpText_;
};

}  // namespace tonvale
