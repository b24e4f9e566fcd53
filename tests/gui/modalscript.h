#pragma once

#include <QObject>
#include <QPointer>
#include <QStringList>
#include <QTimer>
#include <QWidget>
#include <deque>
#include <functional>

// Answers the modal windows a test brings up, one prepared answer each, in order: the window's
// real dialogs are found as the user would meet them. A modal window nobody prepared an answer
// for is closed and recorded, so that a test fails instead of waiting forever.
class ModalScript : public QObject {
public:
    using Answer = std::function<void(QWidget* modal)>;

    ModalScript();

    ModalScript& then(Answer answer);
    // Answers for the usual windows.
    static Answer chooseFile(const QString& path);
    static Answer cancel();
    Answer acknowledge(); // a message box: its text is recorded, then OK

    QStringList messages;   // texts of the message boxes acknowledged, in order (the whole
                            // text of one shown cut)
    QStringList details;    // what each box acknowledged held behind its details button
    QList<int> icons;       // the QMessageBox::Icon of each box acknowledged
    QStringList unexpected; // modal windows met with no answer left
    bool done() const { return m_answers.empty(); }

private:
    void poll();

    QTimer m_timer;
    std::deque<Answer> m_answers;
    QPointer<QWidget> m_current;
};
