#include "tests/clisupport.h"
#include "tests/testsupport.h"

#include <QDir>
#include <QTemporaryDir>
#include <gtest/gtest.h>

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

    const CliOutcome exportar = runCli({QStringLiteral("exportar"), document, f, folder,
                                        QStringLiteral("--frames"), QStringLiteral("1,2")});
    ASSERT_EQ(exportar.code, 0) << exportar.err.toStdString();
    EXPECT_NE(exportar.out.indexOf(QStringLiteral("PROFT: 25 filas")), -1)
        << exportar.out.toStdString();

    ASSERT_TRUE(writeSolvedTimetable(folder));

    const CliOutcome importar = runCli({QStringLiteral("importar"), document, f, folder});
    ASSERT_EQ(importar.code, 0) << importar.err.toStdString();
    const QString result = dir.filePath(QStringLiteral("ResultadoOranelies-ejemplo.xml"));
    EXPECT_NE(importar.out.indexOf(QStringLiteral("Documento para Yedra: ") +
                                   QDir::toNativeSeparators(result)),
              -1)
        << importar.out.toStdString();

    int code = 0;
    QByteArray error;
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
