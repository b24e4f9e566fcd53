#include "tests/gui/modalscript.h"

#include <QApplication>
#include <QDialog>
#include <QFileDialog>
#include <QMessageBox>
#include <QProgressDialog>
#include <QPushButton>

ModalScript::ModalScript()
{
    connect(&m_timer, &QTimer::timeout, this, &ModalScript::poll);
    m_timer.start(5);
}

ModalScript& ModalScript::then(Answer answer)
{
    m_answers.push_back(std::move(answer));
    return *this;
}

ModalScript::Answer ModalScript::chooseFile(const QString& path)
{
    return [path](QWidget* modal) {
        auto* dialog = qobject_cast<QFileDialog*>(modal);
        if (!dialog) {
            qobject_cast<QDialog*>(modal)->reject();
            return;
        }
        dialog->selectFile(path);
        static_cast<QDialog*>(dialog)->accept(); // QFileDialog keeps accept() protected
    };
}

ModalScript::Answer ModalScript::cancel()
{
    return [](QWidget* modal) {
        if (auto* dialog = qobject_cast<QDialog*>(modal))
            dialog->reject();
        else
            modal->close();
    };
}

ModalScript::Answer ModalScript::acknowledge()
{
    return [this](QWidget* modal) {
        auto* box = qobject_cast<QMessageBox*>(modal);
        if (!box) {
            unexpected << modal->metaObject()->className();
            cancel()(modal);
            return;
        }
        const bool cut = box->text().endsWith(QStringLiteral("\n…"));
        messages << (cut ? box->detailedText() : box->text());
        details << box->detailedText();
        icons << box->icon();
        box->button(QMessageBox::Ok)->click();
    };
}

void ModalScript::poll()
{
    if (m_current && !m_current->isVisible())
        m_current = nullptr; // the window answered last has closed
    QWidget* modal = QApplication::activeModalWidget();
    if (!modal || !modal->isVisible())
        return;
    if (m_current == modal)
        return; // answered, still closing
    if (qobject_cast<QProgressDialog*>(modal))
        return; // a run's progress: nobody answers it
    m_current = modal;
    if (m_answers.empty()) {
        auto* box = qobject_cast<QMessageBox*>(modal);
        unexpected << (box ? box->text() : QString::fromLatin1(modal->metaObject()->className()));
        cancel()(modal);
        return;
    }
    Answer answer = std::move(m_answers.front());
    m_answers.pop_front();
    answer(modal);
}
