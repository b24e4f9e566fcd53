#pragma once

#include <QMessageBox>

class QTextEdit;

// The program's message box (widgets/messageboxes.h). Its details are for reading at length:
// while they show, the box can be made larger, its text wraps long lines and scrolls with the
// keys (Page Down, Ctrl+End) as well as with the mouse, and the box stays within the screen.
// Enter always accepts: no other button ever becomes the default one. Every box is wide
// enough for its title to read whole in the title bar.
class DetailsBox : public QMessageBox {
    Q_OBJECT

public:
    DetailsBox(Icon icon, const QString& text, QWidget* owner);

    // A button that opens the text file at `path` with the system's program for it, or in the
    // program's own text window where there is none; the box stays up.
    QPushButton* addOpenButton(const QString& caption, const QString& path);

    // The details' text, once the box has some.
    QTextEdit* detailsText() const;
    bool detailsShown() const;

protected:
    bool event(QEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void setUpButtons();
    void detailsToggled();
    // The box no narrower than its title needs.
    void widenForTitle();
    // Within the screen's free area, moved there and made smaller as far as needed.
    void keepOnScreen();

    bool m_growing = false; // the details show: the user sizes the box
    bool m_buttonsSetUp = false;
};
