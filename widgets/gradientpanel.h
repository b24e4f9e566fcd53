#pragma once

#include <QColor>
#include <QWidget>

// A panel painted with a vertical gradient through three colours (start, middle, end), on
// which transparent labels and buttons stand.
class GradientPanel : public QWidget {
public:
    GradientPanel(const QColor& start, const QColor& middle, const QColor& end,
                  QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QColor m_start;
    QColor m_middle;
    QColor m_end;
};
