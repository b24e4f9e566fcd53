#pragma once

#include <QString>
#include <QStringList>
#include <QTextStream>

// quelvana-cli, with its streams and the folder of its executable given, so that tests run it
// in-process. `arguments` leaves out the program's own path. Returns the exit code: 0 done,
// 1 the run failed (the reason on `err`), 2 bad usage (with the usage text on `err`).
int runQuelvanaCli(const QStringList& arguments, const QString& executableFolder, QTextStream& out,
                   QTextStream& err);
