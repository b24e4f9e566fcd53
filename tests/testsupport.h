#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QMap>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <memory>
#include <ostream>

// A fixture file in tests/data.
QString testDataPath(const QString& name);

void writeFile(const QString& path, const QByteArray& bytes);
QByteArray readFile(const QString& path);

// Reads an XML file with Python's own parser (expat), independently of libxml2: the
// declaration, the nodes outside the root and the tree (see tests/tools/xmlread.py).
// An empty object when Python could not read it; `error` then holds its message.
QJsonObject readWithPython(const QString& path, QString* error = nullptr);

// Runs a program to its end and gives what it wrote on standard output; `exitCode` and
// `errorOutput` receive the rest (-1 when it could not start or did not end normally).
QByteArray runProgram(const QString& program, const QStringList& arguments, int* exitCode = nullptr,
                      QByteArray* errorOutput = nullptr);

// A dBase table read and written by Debian's python3-dbf (see tests/tools/dbftool.py).
QJsonObject readTableWithPython(const QString& path);
void writeTableWithPython(const QString& path, const QJsonObject& description);

// The sample tables of real dBase software kept beside the format notes.
QString referenceSample(const QString& name);

// Every file below `folder` (relative path -> bytes), folders included with empty contents
// and a trailing "/", links as "name ->" with their target (never followed), pipes and devices
// as "name (especial)": compared before and after to show a folder was left as it was.
QMap<QString, QByteArray> snapshot(const QString& folder);

// How GoogleTest shows a text in a failure: as UTF-8 between quotes.
void PrintTo(const QString& text, std::ostream* out);
void PrintTo(const QStringList& texts, std::ostream* out);

// A text streamed into a failure message or a trace (`<< text`), shown as PrintTo shows it.
std::ostream& operator<<(std::ostream& out, const QString& text);

// What differs between two snapshots, one line a path ("+ added", "- removed", "~ changed"),
// or "" when they are the same: for a failure that says which files a run touched.
QString snapshotChanges(const QMap<QString, QByteArray>& before,
                        const QMap<QString, QByteArray>& after);

// A new temporary folder (mode 0755) that any user can reach: under the first of the system's
// temporary folders whose every folder above can be entered by anyone, never under the project
// or a private TMPDIR. For what a test runs as another user.
std::unique_ptr<QTemporaryDir> folderForAnotherUser();
