#pragma once

#include <QLabel>

// A label whose text always shows whole within the label's own area: wrapped at word
// boundaries, or anywhere in a word longer than a line, and drawn smaller when it needs more
// lines than the area holds (down to a smallest size, below which it is cut). Its tooltip
// holds the whole text.
class FittingLabel : public QLabel {
public:
    using QLabel::QLabel;

    // The text, and the same as tooltip.
    void setFittedText(const QString& text);

    // The font the text is drawn in: the label's own, or a smaller one it fits in.
    QFont shownFont() const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    qreal textHeight(const QFont& font) const;
};
