#include "tests/clisupport.h"
#include "tests/testsupport.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <gtest/gtest.h>

// A document and its twin, the same school with the a, l and s of its names written as ă, ł and
// ș (tests/tools/make_twin.py), are one school to Oranel: Windows 1252 lacks those letters and
// the tables store the plain ones. exportar writes the same ten tables, byte for byte, and the
// same report but for the values stored otherwise; importar, on the same solved timetable, writes
// the same document for Yedra and the same report.
namespace {

QString pythonTool(const QString& path)
{
    return QDir(QStringLiteral(QUELVANA_TEST_TOOLS_DIR)).filePath(path);
}

bool runPython(const QStringList& arguments, QByteArray* error)
{
    int code = 0;
    runProgram(QStringLiteral(QUELVANA_PYTHON), arguments, &code, error);
    return code == 0;
}

// A run's report as both runs can be compared: the folder it ran in named alike, and without the
// values stored otherwise, which only the twin has.
QString comparable(const QString& report, const QString& folder)
{
    QStringList kept;
    bool changedValues = false;
    for (QString line : report.split(QLatin1Char('\n'))) {
        if (line.startsWith(QStringLiteral("Valores guardados de otra forma"))) {
            changedValues = true;
            if (!kept.isEmpty() && kept.last().isEmpty())
                kept.removeLast(); // the blank line before the section
            continue;
        }
        if (changedValues && line.startsWith(QStringLiteral("  ")))
            continue;
        changedValues = false;
        kept << line.replace(QDir::toNativeSeparators(folder), QStringLiteral("<CARPETA>"));
    }
    return kept.join(QLatin1Char('\n'));
}

// One side of the comparison: a folder with the document, its timetable folder and what the runs
// gave.
struct Side {
    explicit Side(QString where) : folder(std::move(where)) {}

    QString folder;
    QString document = QDir(folder).filePath(QStringLiteral("centro.xml"));
    QString timetable = QDir(folder).filePath(QStringLiteral("OTEMP"));
    QString exportarReport;
    QString exportarWarnings;
    QString importarReport;

    bool exportar(const QString& frames)
    {
        QDir().mkpath(timetable);
        const CliOutcome outcome =
            runCli({QStringLiteral("exportar"), document, QStringLiteral("--timetable-folder"),
                    timetable, QStringLiteral("--frames"), frames});
        exportarReport = comparable(outcome.out, folder);
        exportarWarnings = outcome.err;
        EXPECT_EQ(outcome.code, 0) << outcome.err;
        return outcome.code == 0;
    }
    bool importar()
    {
        const CliOutcome outcome = runCli({QStringLiteral("importar"), document,
                                           QStringLiteral("--timetable-folder"), timetable});
        importarReport = comparable(outcome.out, folder);
        EXPECT_EQ(outcome.code, 0) << outcome.err;
        return outcome.code == 0;
    }
    // The ten tables and their indexes.
    QMap<QString, QByteArray> tables() const
    {
        QMap<QString, QByteArray> out = tablesOf(timetable);
        out.remove(QStringLiteral("SOLUC.DBF"));
        return out;
    }
    // The document for Yedra, the moment it was made masked.
    QByteArray result() const
    {
        QString text = QString::fromLatin1(
            readFile(QDir(folder).filePath(QStringLiteral("ResultadoOranelcentro.xml"))));
        text.replace(QRegularExpression(QStringLiteral("fecha=\"[^\"]*\"")),
                     QStringLiteral("fecha=\"X\""));
        return text.toLatin1();
    }
};

} // namespace

TEST(Twins, ASchoolAndItsTwinGiveTheSameTablesAndResult)
{
    const QString examples = QStringLiteral(QUELVANA_EXAMPLES_DIR);
    const struct {
        const char* name;
        const char* frames;
        const char* size; // of bench/generate_school.py; none: the sample school
    } cases[] = {
        {"the sample school", "1,2", nullptr},
        {"a generated school of size S", "1,2,3,4,5", "S"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        QTemporaryDir dir;
        Side plain(dir.filePath(QStringLiteral("plano")));
        Side twin(dir.filePath(QStringLiteral("gemelo")));
        QDir().mkpath(plain.folder);
        QDir().mkpath(twin.folder);
        QByteArray error;
        if (c.size)
            ASSERT_TRUE(runPython({examples + QStringLiteral("/../bench/generate_school.py"),
                                   QString::fromLatin1(c.size), plain.document},
                                  &error))
                << error.toStdString();
        else
            writeFile(plain.document, readFile(examples + QStringLiteral("/ies-ejemplo.xml")));
        ASSERT_TRUE(runPython(
            {pythonTool(QStringLiteral("make_twin.py")), plain.document, twin.document}, &error))
            << error.toStdString();
        // The twin writes its names otherwise, in the same encoding.
        const QByteArray twinBytes = readFile(twin.document);
        EXPECT_NE(twinBytes, readFile(plain.document));
        EXPECT_NE(twinBytes.indexOf("&#537;"), -1);
        EXPECT_EQ(twinBytes.left(44), readFile(plain.document).left(44));

        ASSERT_TRUE(plain.exportar(QString::fromLatin1(c.frames)));
        ASSERT_TRUE(twin.exportar(QString::fromLatin1(c.frames)));
        EXPECT_EQ(plain.tables().size(), 11); // ten tables and the index of DIASHORAST2
        EXPECT_EQ(twin.tables(), plain.tables());
        EXPECT_EQ(twin.exportarReport, plain.exportarReport);
        // Every name changed is said, in the twin alone.
        EXPECT_NE(twin.exportarWarnings.indexOf(QStringLiteral("se guarda como")), -1);
        EXPECT_EQ(plain.exportarWarnings.indexOf(QStringLiteral("se guarda como")), -1);

        // The same solved timetable in both folders.
        const QString soluc = QDir(plain.timetable).filePath(QStringLiteral("SOLUC.DBF"));
        if (c.size)
            ASSERT_TRUE(runPython({examples + QStringLiteral("/../bench/make_soluc.py"),
                                   plain.timetable, QStringLiteral("2000")},
                                  &error))
                << error.toStdString();
        else
            ASSERT_TRUE(QFile::copy(examples + QStringLiteral("/SOLUC.DBF"), soluc));
        ASSERT_TRUE(QFile::copy(soluc, QDir(twin.timetable).filePath(QStringLiteral("SOLUC.DBF"))));
        ASSERT_TRUE(plain.importar());
        ASSERT_TRUE(twin.importar());
        EXPECT_EQ(twin.result(), plain.result());
        EXPECT_GT(plain.result().count("<grupo_datos seq=\"ACTIVIDAD_"), 100);
        EXPECT_EQ(twin.importarReport, plain.importarReport);
    }
}
