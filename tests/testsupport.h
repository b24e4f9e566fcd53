#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QString>

// A fixture file in tests/data.
QString testDataPath(const QString& name);

void writeFile(const QString& path, const QByteArray& bytes);
QByteArray readFile(const QString& path);

// Reads an XML file with Python's own parser (expat), independently of libxml2: the
// declaration, the nodes outside the root and the tree (see tests/tools/xmlread.py).
// An empty object when Python could not read it; `error` then holds its message.
QJsonObject readWithPython(const QString& path, QString* error = nullptr);
