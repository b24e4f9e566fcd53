#pragma once

#include "to_timetable/exportarrun.h"

#include <QList>
#include <QPair>
#include <QStringList>
#include <QTemporaryDir>
#include <functional>

// Running the Yedra-to-timetable steps on small documents, in tests.

// A run that is never asked anything: a question fails the test.
class NoQuestions : public Interaction {
public:
    void showMessage(const QString& text) override;
    // Warnings are kept for the test to look at.
    void warn(const QString& text) override { warnings << text; }
    QStringList warnings;
    FrameChoice chooseFrames(const XmlDocument& document) override;
    bool completeTeachers(const QString& tablePath) override;
};

// The values of each record of a group, in order.
using Records = QList<QStringList>;

// A Yedra document (UTF-8) holding the given groups in order.
QByteArray yedraDocument(const QList<QPair<QString, Records>>& groups);

// Steps run on a document into a fresh timetable folder, then committed.
struct StepRun {
    QTemporaryDir dir;
    QString folder = dir.filePath(QStringLiteral("OTEMP"));
    QString lookupTable; // the level lookup table, when the steps need one
    NoQuestions interaction;

    void run(const QByteArray& document, const std::function<void(ExportarRun&)>& steps);
    // A table of the timetable folder, read as tableRows() reads it.
    QList<QStringList> rows(const TableLayout& layout) const;
    QString path(const TableLayout& layout) const;
};
