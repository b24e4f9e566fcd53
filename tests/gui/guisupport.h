#pragma once

#include <QByteArray>
#include <QPoint>
#include <QTemporaryDir>
#include <Qt>

class HelpWindow;
class QWidget;

// The program's own windows for the help and for a saved file, as where the system has no
// viewer and no browser: PATH emptied and no BROWSER for the length of a test, and the help
// of the build's bin folder.
class NoSystemViewer {
public:
    NoSystemViewer();
    ~NoSystemViewer();
    NoSystemViewer(const NoSystemViewer&) = delete;
    NoSystemViewer& operator=(const NoSystemViewer&) = delete;

private:
    QTemporaryDir m_emptyPath;
    QByteArray m_path;
    QByteArray m_browser;
};

// The program's help window that is up, or nullptr.
HelpWindow* shownHelpWindow();

// A click and a key as the window system delivers them, to the window of `widget`: a window a
// modal dialog blocks never gets them. (QTest's functions for widgets hand the event to the
// widget itself, past the modality check.)
void systemClick(QWidget* widget, const QPoint& point);
void systemKey(QWidget* widget, Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier);
