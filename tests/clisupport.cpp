#include "tests/clisupport.h"

#include "cli/clitool.h"
#include "components/dbase/dbftable.h"
#include "components/dbase/mdxindex.h"
#include "components/timetablefolder/ownnames.h"
#include "components/timetablefolder/tablestaging.h"
#include "tests/testsupport.h"

#include <QDir>
#include <QTextStream>
#include <gtest/gtest.h>

CliOutcome runCli(const QStringList& arguments, const QString& executableFolder)
{
    QString out;
    QString err;
    QTextStream outStream(&out);
    QTextStream errStream(&err);
    const int code = runQuelvanaCli(arguments, executableFolder, outStream, errStream);
    outStream.flush();
    errStream.flush();
    return {code, out, err};
}

bool writeSolvedTimetable(const QString& folder)
{
    int code = 0;
    runProgram(QStringLiteral(QUELVANA_PYTHON),
               {QStringLiteral(QUELVANA_EXAMPLES_DIR "/make_soluc.py"), folder,
                QDir(folder).filePath(QStringLiteral("SOLUC.DBF"))},
               &code);
    return code == 0;
}

QMap<QString, QByteArray> tablesOf(const QString& folder)
{
    QMap<QString, QByteArray> out = snapshot(folder);
    for (auto it = out.begin(); it != out.end();) {
        const bool working = it.key().startsWith(ownnames::BackupFolder) ||
                             it.key().startsWith(ownnames::StagingFolder) ||
                             it.key() == ownnames::Report;
        it = working ? out.erase(it) : std::next(it);
    }
    return out;
}

void expectEveryTableWhole(const QString& folder)
{
    for (const QString& name : QDir(folder).entryList(QDir::Files)) {
        const QString path = QDir(folder).filePath(name);
        if (name.endsWith(QStringLiteral(".DBF"))) {
            EXPECT_EQ(DbfTable::problemWithFile(path), QString()) << name;
        } else if (name.endsWith(QStringLiteral(".MDX"))) {
            EXPECT_EQ(mdx::problemWithFile(path), QString()) << name;
        }
    }
}
