#pragma once

#include <QWidget>

class QListWidget;
class QTextBrowser;

// The program's own help window: the HTML topics of the help folder, an index on the left and
// the topic on the right, links followed inside. It serves where the system has neither a
// viewer for the compiled help nor a browser. It is a tool window (widgets/toolwindow.h): it
// can be read while the dialog that asked for it stays open, and Escape or Ctrl+W close it.
class HelpWindow : public QWidget {
    Q_OBJECT

public:
    // Shows `topic` ("ventana-principal.html") of the help in `folder`, in the one help window
    // of the program (made on first use, raised afterwards), for the window of `parent`.
    static HelpWindow* showTopic(QWidget* parent, const QString& folder, const QString& topic);

    void setTopic(const QString& topic);
    QString topic() const;

private:
    HelpWindow(const QString& folder, QWidget* parent);
    void showTopicInIndex();

    QString m_folder;
    QListWidget* m_index;
    QTextBrowser* m_browser;
};
