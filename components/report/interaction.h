#pragma once

#include <QString>

class XmlDocument;

// What the time-frame dialog hands back: whether the selection passed (one to five frames),
// the selection string it built, and how many entries its frame list held.
struct FrameChoice {
    bool resultMH = false;
    QString resultado;
    int frameCount = 0;
};

// How the engine asks the user. The window answers with its dialogs, quelvana-cli from its
// command line, tests with prepared answers.
class Interaction {
public:
    virtual ~Interaction() = default;

    // A message the user acknowledges before the run goes on.
    virtual void showMessage(const QString& text) = 0;
    // Something the run changed on its way that the user should check (a name stored without
    // the letters Oranel's tables cannot hold); the run goes on. The window shows these with the
    // message that ends the run, quelvana-cli on its error stream as they come.
    virtual void warn(const QString& text) = 0;
    // The time-frame dialog over the document's frames (shown when it holds two or more).
    virtual FrameChoice chooseFrames(const XmlDocument& document) = 0;
    // The teacher data dialog over the teacher table at `tablePath`; its verdict: true when
    // the user left it with every teacher complete.
    virtual bool completeTeachers(const QString& tablePath) = 0;
    // The busy pointer while the engine works; the dialogs show the ordinary one.
    virtual void setBusy(bool busy) { (void)busy; }
    // The step being done ("Profesores (PROFT)", "Profesor 120 de 400"): called before each
    // step of a run and now and then inside a long one. The window shows it once a run has
    // lasted about a second, and keeps itself painted meanwhile.
    virtual void progress(const QString& step) { (void)step; }
};
