#include "tests/clisupport.h"

#include "cli/clitool.h"
#include "tests/testsupport.h"

#include <QDir>
#include <QTextStream>

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
