#pragma once

#include <QList>
#include <QString>
#include <QStringList>

// Every row of a table in natural order, each as the texts of its fields in field order, read
// through the table layer.
QList<QStringList> tableRows(const QString& path);
