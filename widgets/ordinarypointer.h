#pragma once

#include <QApplication>

// While a dialog is up over a run, the pointer is the ordinary one; the run's busy pointer
// comes back when the dialog hides (or is destroyed still showing).
class OrdinaryPointer {
public:
    OrdinaryPointer() = default;
    OrdinaryPointer(const OrdinaryPointer&) = delete;
    OrdinaryPointer& operator=(const OrdinaryPointer&) = delete;
    ~OrdinaryPointer() { release(); }

    // The dialog shows.
    void take()
    {
        if (!m_taken) {
            QApplication::setOverrideCursor(Qt::ArrowCursor);
            m_taken = true;
        }
    }
    // The dialog hides.
    void release()
    {
        if (m_taken) {
            QApplication::restoreOverrideCursor();
            m_taken = false;
        }
    }

private:
    bool m_taken = false;
};
