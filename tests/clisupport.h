#pragma once

#include <QByteArray>
#include <QMap>
#include <QString>
#include <QStringList>

// What quelvana-cli gave: its exit code and what it wrote on each stream.
struct CliOutcome {
    int code;
    QString out;
    QString err;
};

// quelvana-cli run in this process, its streams kept; its data folder is `executableFolder`
// (by default the build's bin/, beside NIVELCAN.DBF).
CliOutcome runCli(const QStringList& arguments,
                  const QString& executableFolder = QStringLiteral(QUELVANA_BIN_DIR));

// A solved timetable, as Oranel leaves it, written by python3-dbf into `folder`/SOLUC.DBF from
// the tables an exportar wrote there. False when the script failed.
bool writeSolvedTimetable(const QString& folder);

// The tables of a timetable folder (relative path -> bytes), without the program's working
// folders (the staging folder and the backups) and the latest run report.
QMap<QString, QByteArray> tablesOf(const QString& folder);

// Every table and index of a folder reads back whole (a gtest expectation for each).
void expectEveryTableWhole(const QString& folder);
