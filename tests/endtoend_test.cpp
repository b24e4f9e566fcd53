#include "cli/clitool.h"
#include "tests/testsupport.h"

#include <QDir>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

struct Outcome {
    int code;
    QString out;
    QString err;
};

Outcome cli(const QStringList& arguments)
{
    QString out;
    QString err;
    QTextStream outStream(&out);
    QTextStream errStream(&err);
    const int code =
        runQuelvanaCli(arguments, QStringLiteral(QUELVANA_BIN_DIR), outStream, errStream);
    outStream.flush();
    errStream.flush();
    return {code, out, err};
}

} // namespace

// The sample school there and back: exportar, a timetable solved as Oranel leaves it (written
// by python3-dbf, with numeric DIA and HORA), importar; the result document is read by Python's
// own parser and every teacher's values are checked against what the tables give, worked out
// independently in Python.
TEST(EndToEnd, TheSampleSchoolThereAndBack)
{
    QTemporaryDir dir;
    const QString folder = dir.filePath(QStringLiteral("OTEMP"));
    QDir().mkpath(folder);
    const QString document = dir.filePath(QStringLiteral("ies-ejemplo.xml"));
    writeFile(document, readFile(QStringLiteral(QUELVANA_EXAMPLES_DIR "/ies-ejemplo.xml")));
    const QString f = QStringLiteral("--timetable-folder");

    const Outcome exportar = cli({QStringLiteral("exportar"), document, f, folder,
                                  QStringLiteral("--frames"), QStringLiteral("1,2")});
    ASSERT_EQ(exportar.code, 0) << exportar.err.toStdString();
    EXPECT_NE(exportar.out.indexOf(QStringLiteral("PROFT: 25 filas")), -1)
        << exportar.out.toStdString();

    int code = 0;
    QByteArray error;
    runProgram(QStringLiteral(QUELVANA_PYTHON),
               {QStringLiteral(QUELVANA_EXAMPLES_DIR "/make_soluc.py"), folder,
                QDir(folder).filePath(QStringLiteral("SOLUC.DBF"))},
               &code, &error);
    ASSERT_EQ(code, 0) << error.toStdString();

    const Outcome importar = cli({QStringLiteral("importar"), document, f, folder});
    ASSERT_EQ(importar.code, 0) << importar.err.toStdString();
    const QString result = dir.filePath(QStringLiteral("ResultadoOranelies-ejemplo.xml"));
    EXPECT_EQ(importar.out.trimmed(), QDir::toNativeSeparators(result));

    const QByteArray checked = runProgram(QStringLiteral(QUELVANA_PYTHON),
                                          {QDir(QStringLiteral(QUELVANA_TEST_TOOLS_DIR))
                                               .filePath(QStringLiteral("expected_result.py")),
                                           folder, result},
                                          &code, &error);
    EXPECT_EQ(code, 0) << checked.toStdString() << error.toStdString();
    EXPECT_NE(checked.indexOf("25 teachers"), -1) << checked.toStdString();
    EXPECT_NE(checked.indexOf(", 0 differences"), -1);
    EXPECT_TRUE(readFile(result).startsWith("<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>"));
}
