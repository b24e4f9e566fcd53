#pragma once

#include "components/report/interaction.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

// The checks the fuzz targets run on one input, shared with the regression tests so that an
// input that once broke the engine is run through exactly the same steps again.
//
// A hostile input may end in a clear error (an EngineError with a message): that is a normal
// outcome. A crash, a hang, a sanitizer report or a broken invariant is not.
namespace fuzzchecks {

// The runs are only driven here: nothing asks the user.
class NoInteraction : public Interaction {
public:
    void showMessage(const QString&) override {}
    void warn(const QString&) override {}
    FrameChoice chooseFrames(const XmlDocument&) override { return {}; }
    bool completeTeachers(const QString&) override { return false; }
};

struct Outcome {
    QString error;          // the clear error the input was refused with; empty when it was read
    QStringList violations; // invariants that did not hold; empty when all held
};

// Loads the bytes as a Yedra document and walks every group the steps read: every record, every
// value, raw and trimmed; the short-record check, the academic year; saves and loads it again,
// and loads it as the exportar run does from a file in `scratchFolder`.
Outcome checkYedraDocument(const QByteArray& bytes, const QString& scratchFolder);

// Writes the bytes as a table in `scratchFolder`, opens it shared and reads every field of every
// row in every way, walks it in natural order, by each field, and filtered by each text field.
Outcome checkDbfTable(const QByteArray& bytes, const QString& scratchFolder);

// Takes the bytes as a 32-bit minute value and a text of arbitrary UTF-16 units (control
// characters, lone surrogates, letters no code page holds) and runs the text rules over them: the
// clock text, the best-fit form of every code page, a text field written, read back and located,
// the code list's uniqueness, and the XML layer's refusal of characters XML does not allow. Then
// takes the bytes as the names of a small school (checkTwins).
Outcome checkTextConversions(const QByteArray& bytes, const QString& scratchFolder);

// Takes the bytes as the names of subjects, activities, teachers, rooms, courses, units and
// slots of a small school and runs the exportar steps, in folders of `scratchFolder`, over its
// document and over its twin, the same names with their a, l and s written as ă, ł and ș: the
// tables must be the same, byte for byte, and the reports the same but for the values stored
// otherwise. What differs is added to `violations`.
void checkTwins(const QByteArray& bytes, const QString& scratchFolder, QStringList& violations);

// Writes the bytes as "Oranel.ini" in `scratchFolder`, sets [Transformadores] Transformado=1 and
// checks the file read back: the key holds the value and every other line is as it was.
Outcome checkIniFile(const QByteArray& bytes, const QString& scratchFolder);

// Reads the bytes as a commit's journal and as a backup's marker (each must hold nothing but the
// program's own names, and read the same once written again), then as the lines of an
// interrupted commit's journal and the marker of its backup in a timetable folder in
// `scratchFolder`: recovery and pruning there must leave every file of somebody else's as it was.
Outcome checkFolderFiles(const QByteArray& bytes, const QString& scratchFolder);

} // namespace fuzzchecks
