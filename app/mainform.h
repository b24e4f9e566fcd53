#pragma once

#include <QWidget>

// The main window (MForm): the frame from which both runs start.
class TMForm : public QWidget {
    Q_OBJECT

public:
    explicit TMForm(QWidget* parent = nullptr);
};
