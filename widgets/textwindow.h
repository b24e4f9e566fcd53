#pragma once

#include <QWidget>

class QPlainTextEdit;

// The program's own window for a text file (a saved run report), where the system has no
// program to open it with: the whole text, read-only, scrolled with the keys as well as the
// mouse, its long lines wrapped. A tool window (widgets/toolwindow.h): it can be read while the
// box that opened it stays up, and Escape or Ctrl+W close it.
class TextWindow : public QWidget {
    Q_OBJECT

public:
    // Shows the UTF-8 text file at `path` (its byte-order mark and CR LF line ends as any editor
    // reads them) for the window of `requester`. A file that cannot be read is said in the
    // window itself.
    static TextWindow* showFile(QWidget* requester, const QString& path);

    QString path() const { return m_path; }
    QPlainTextEdit* text() const { return m_text; }

private:
    explicit TextWindow(const QString& path);

    QString m_path;
    QPlainTextEdit* m_text;
};
