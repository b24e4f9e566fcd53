// What the program reads back from its own files (the commit's journal, the backups' markers,
// the backups themselves) is input like any other: a folder that somebody else prepared, or a
// file the disk damaged, never makes a run move or remove anything the program did not create,
// inside the timetable folder or outside it.

#include "components/timetablefolder/backuprestore.h"
#include "components/timetablefolder/ownnames.h"
#include "tests/clisupport.h"
#include "tests/testsupport.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <QtEndian>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

namespace {

const QString sampleDocument = QStringLiteral(QUELVANA_EXAMPLES_DIR "/ies-ejemplo.xml");

// A timetable folder after an exportar and Oranel's solving, beside a folder of somebody
// else's ("fuera") that holds a file and a copy of a backup.
struct School {
    QTemporaryDir parent;
    QString folder = parent.filePath(QStringLiteral("OTEMP"));
    QString outside = parent.filePath(QStringLiteral("fuera"));

    School()
    {
        QDir().mkpath(folder);
        EXPECT_EQ(exportar().code, 0);
        EXPECT_EQ(exportar().code, 0); // a backup of the first one's tables
        EXPECT_TRUE(writeSolvedTimetable(folder));
        writeFile(path(QStringLiteral("ORANEL.CFG")), "configuración de Oranel");
        writeFile(parent.filePath(QStringLiteral("ies.xml")), readFile(sampleDocument));
        QDir().mkpath(outside + QStringLiteral("/bk"));
        writeFile(outside + QStringLiteral("/victima.txt"), "de otro");
        writeFile(outside + QStringLiteral("/bk/PROFT.DBF"), readFile(path("PROFT.DBF")));
        writeFile(outside + QStringLiteral("/bk/.quelvana"),
                  readFile(backupPath(backups().front().name) + QStringLiteral("/.quelvana")));
    }
    QString path(const QString& name) const { return QDir(folder).filePath(name); }
    QString path(const char* name) const { return path(QString::fromUtf8(name)); }
    QString backupPath(const QString& name) const
    {
        return path(ownnames::BackupFolder + QLatin1Char('/') + name);
    }
    std::vector<Backup> backups() const { return backuprestore::available(folder); }
    CliOutcome exportar(const QStringList& more = {}) const
    {
        return runCli(QStringList{QStringLiteral("exportar"), sampleDocument,
                                  QStringLiteral("--timetable-folder"), folder,
                                  QStringLiteral("--frames"), QStringLiteral("1,2")} +
                      more);
    }
    CliOutcome importar() const
    {
        const QString document = parent.filePath(QStringLiteral("ies.xml"));
        return runCli(
            {QStringLiteral("importar"), document, QStringLiteral("--timetable-folder"), folder});
    }
    CliOutcome restaurar(const QStringList& more = {}) const
    {
        return runCli(
            QStringList{QStringLiteral("restaurar"), QStringLiteral("--timetable-folder"), folder} +
            more);
    }
};

enum class Checksum { Right, None, Wrong };

// A journal as the commit writes it, with these lines between its first line and its
// checksum (worked out here as the commit does: SHA-256 of everything before it).
QByteArray journalWith(const QByteArray& lines, Checksum checksum = Checksum::Right)
{
    const QByteArray text =
        "Quelvana: movimientos de una exportación que pone sus tablas en su sitio.\n" + lines;
    if (checksum == Checksum::None)
        return text + "fin\n";
    QByteArray sum = QCryptographicHash::hash(text, QCryptographicHash::Sha256).toHex();
    if (checksum == Checksum::Wrong)
        sum[0] = sum[0] == '0' ? '1' : '0';
    return text + "suma=" + sum + "\nfin\n";
}

// An interrupted commit's staging folder holding `journal`.
void leaveJournal(const School& school, const QByteArray& journal)
{
    const QString staging = school.path(ownnames::StagingFolder);
    QDir().mkpath(staging);
    writeFile(staging + QStringLiteral("/.quelvana"),
              "Quelvana: tablas en preparación de una exportación.\n");
    writeFile(staging + QLatin1Char('/') + ownnames::Journal, journal);
}

} // namespace

// A journal with a forged or damaged line: every run refuses before touching anything, naming
// the journal; the timetable folder and the folder beside it stay byte for byte as they were.
TEST(Trust, AForgedJournalIsRefusedBeforeAnythingMoves)
{
    const struct {
        const char* name;
        QByteArray lines;
        Checksum checksum = Checksum::Right;
    } cases[] = {
        {"puts Oranel's solved timetable", "orden=exportar\nponer=SOLUC.DBF 10 1\n"},
        {"puts a file of Oranel's", "orden=exportar\nponer=ORANEL.CFG 10 1\n"},
        {"puts a file from outside", "orden=exportar\nponer=../fuera/victima.txt 7 1\n"},
        {"puts an absolute path", "orden=exportar\nponer=/etc/hostname 7 1\n"},
        {"puts the backup folder", "orden=exportar\nponer=quelvana-copias 10 1\n"},
        {"a backup outside", "orden=exportar\ncopia=../../fuera/bk\nsecuencia=1\n"
                             "guardar=PROFT.DBF\nponer=PROFT.DBF 10 1\n"},
        {"the parent as backup", "orden=exportar\ncopia=..\nsecuencia=1\nguardar=PROFT.DBF\n"},
        {"the timetable folder as backup", "orden=exportar\ncopia=.\nsecuencia=1\n"
                                           "guardar=PROFT.DBF\n"},
        {"a huge sequence", "orden=exportar\ncopia=2026-01-01_00-00-00\n"
                            "secuencia=9223372036854775807\nguardar=PROFT.DBF\n"},
        {"a line of somebody else's", "orden=exportar\nborrar=PROFT.DBF\n"},
        {"no checksum (damaged, or an older version's)", "poner=PROFT.DBF\n", Checksum::None},
        {"a checksum that does not match", "orden=exportar\nponer=PROFT.DBF 1 1\n",
         Checksum::Wrong},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        School school;
        leaveJournal(school, journalWith(c.lines, c.checksum));
        const QMap<QString, QByteArray> before = snapshot(school.parent.path());
        for (const char* verb : {"exportar --dry-run", "importar", "exportar", "restaurar"}) {
            SCOPED_TRACE(verb);
            const QString run = QString::fromLatin1(verb);
            CliOutcome outcome;
            if (run == QLatin1String("importar"))
                outcome = school.importar();
            else if (run == QLatin1String("restaurar"))
                outcome = school.restaurar({school.backups().front().name});
            else
                outcome = school.exportar(run.endsWith(QLatin1String("dry-run"))
                                              ? QStringList{QStringLiteral("--dry-run")}
                                              : QStringList());
            EXPECT_EQ(outcome.code, 1) << outcome.out;
            EXPECT_TRUE(outcome.err.contains(QDir::toNativeSeparators(
                school.path(ownnames::StagingFolder + QLatin1Char('/') + ownnames::Journal))))
                << outcome.err;
            EXPECT_TRUE(outcome.err.contains(QStringLiteral("No se ha tocado nada")))
                << outcome.err;
            EXPECT_EQ(snapshotChanges(before, snapshot(school.parent.path())), QString());
        }
    }
}

// A valid journal whose backup or tables are not the interrupted commit's: refused, and the
// backup it names keeps its marker (it stays listed and restorable).
TEST(Trust, AJournalThatIsNotTheFoldersOwnIsRefused)
{
    School school;
    const Backup backup = school.backups().front();
    QByteArray saved;
    for (const QString& name : backup.files)
        saved += "guardar=" + name.toLatin1() + '\n';
    const QByteArray copia = "copia=" + backup.name.toLatin1() + '\n';
    const struct {
        const char* name;
        QByteArray lines;
        const char* said;
    } cases[] = {
        {"another backup's sequence", "orden=exportar\n" + copia + "secuencia=7\n" + saved,
         "no es la copia que hizo esa conversión"},
        {"tables it did not put",
         "orden=exportar\n" + copia + "secuencia=" + QByteArray::number(backup.sequence) + '\n' +
             saved + "poner=PROFT.DBF 12 34\n",
         "esa no es la tabla que puso"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        leaveJournal(school, journalWith(c.lines));
        const QMap<QString, QByteArray> before = snapshot(school.parent.path());
        const CliOutcome run = school.exportar();
        EXPECT_EQ(run.code, 1);
        EXPECT_TRUE(run.err.contains(QString::fromUtf8(c.said))) << run.err;
        EXPECT_TRUE(run.err.contains(QStringLiteral("No se ha tocado nada"))) << run.err;
        EXPECT_EQ(snapshotChanges(before, snapshot(school.parent.path())), QString());
        EXPECT_EQ(school.backups().front().name, backup.name);
        QDir(school.path(ownnames::StagingFolder)).removeRecursively();
    }
}

// Backups whose markers somebody altered, and a user's own copies of a backup: the exportars
// that follow prune only the program's own backups (never these, never the one just made), a
// restore of them is refused, and nothing outside the timetable folder nor any file of Oranel's
// is touched.
TEST(Trust, OnlyTheProgramsOwnBackupsArePrunedOrRestored)
{
    const QByteArray head =
        "Quelvana: copia de las tablas sustituidas en la carpeta de horarios.\n";
    const struct {
        const char* name;
        const char* folder;
        QByteArray marker; // "%1" stands for the folder "fuera" beside the timetable folder
    } cases[] = {
        {"a file outside", "2020-01-01_00-00-01",
         "nombre=2020-01-01_00-00-01\nsecuencia=1\nfecha=2020-01-01T00:00:01\norden=exportar\n"
         "archivo=../../../fuera/victima.txt\n"},
        {"an absolute path", "2020-01-01_00-00-02",
         "nombre=2020-01-01_00-00-02\nsecuencia=1\nfecha=2020-01-01T00:00:02\norden=exportar\n"
         "archivo=%1/victima.txt\n"},
        {"a file of Oranel's above", "2020-01-01_00-00-03",
         "nombre=2020-01-01_00-00-03\nsecuencia=1\nfecha=2020-01-01T00:00:03\norden=exportar\n"
         "archivo=../../ORANEL.CFG\n"},
        {"Oranel's solved timetable taken away by a restore", "2020-01-01_00-00-04",
         "nombre=2020-01-01_00-00-04\nsecuencia=1\nfecha=2020-01-01T00:00:04\norden=exportar\n"
         "archivo=PROFT.DBF\nsustituido=SOLUC.DBF\n"},
        {"a huge sequence", "2020-01-01_00-00-05",
         "nombre=2020-01-01_00-00-05\nsecuencia=9223372036854775807\nfecha=2020-01-01T00:00:05\n"
         "orden=exportar\narchivo=PROFT.DBF\n"},
        {"a negative sequence", "2020-01-01_00-00-06",
         "nombre=2020-01-01_00-00-06\nsecuencia=-5\nfecha=2020-01-01T00:00:06\n"
         "orden=exportar\narchivo=PROFT.DBF\n"},
        {"a marker of a megabyte", "2020-01-01_00-00-07",
         "nombre=2020-01-01_00-00-07\nsecuencia=1\nfecha=2020-01-01T00:00:07\norden=exportar\n"
         "archivo=PROFT.DBF\n" +
             QByteArray(1 << 20, '\n')},
        {"a user's copy of a backup", "mi-copia-buena", ""},
        {"a user's copy of an older version's backup", "mi-otra-copia",
         "secuencia=1\nfecha=2020-01-01T00:00:08\norden=exportar\narchivo=PROFT.DBF\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        School school;
        const Backup own = school.backups().front();
        const QString forged = school.backupPath(QString::fromUtf8(c.folder));
        if (QByteArray(c.marker).isEmpty()) {
            QDir().mkpath(forged);
            for (const QString& file :
                 QDir(school.backupPath(own.name)).entryList(QDir::Files | QDir::Hidden))
                QFile::copy(school.backupPath(own.name) + QLatin1Char('/') + file,
                            forged + QLatin1Char('/') + file);
        } else {
            QDir().mkpath(forged);
            writeFile(forged + QStringLiteral("/PROFT.DBF"), readFile(school.path("PROFT.DBF")));
            writeFile(forged + QStringLiteral("/.quelvana"),
                      head + QString::fromUtf8(c.marker).arg(school.outside).toUtf8());
        }
        const QMap<QString, QByteArray> outside = snapshot(school.outside);
        const QMap<QString, QByteArray> copy = snapshot(forged);
        const QByteArray oranel = readFile(school.path("ORANEL.CFG"));
        const QByteArray soluc = readFile(school.path("SOLUC.DBF"));

        const CliOutcome restored = school.restaurar({QString::fromUtf8(c.folder)});
        EXPECT_EQ(restored.code, 1) << restored.out;
        QMap<QString, QByteArray> tables;
        for (int run = 0; run <= backups::Kept; ++run) {
            tables = tablesOf(school.folder);
            const CliOutcome exported = school.exportar({QStringLiteral("--json")});
            ASSERT_EQ(exported.code, 0) << exported.err;
        }
        EXPECT_EQ(snapshotChanges(outside, snapshot(school.outside)), QString());
        EXPECT_EQ(snapshotChanges(copy, snapshot(forged)), QString());
        EXPECT_EQ(readFile(school.path("ORANEL.CFG")), oranel);
        EXPECT_EQ(readFile(school.path("SOLUC.DBF")), soluc);
        // The program's own: the newest kept, the newest of all holding what the last run
        // replaced.
        const std::vector<Backup> now = school.backups();
        ASSERT_EQ(now.size(), size_t(backups::Kept));
        EXPECT_EQ(readFile(school.backupPath(now.front().name) + QStringLiteral("/PROFT.DBF")),
                  tables.value(QStringLiteral("PROFT.DBF")));
    }
}

// A backup whose table is cut short, is a link (to a whole table elsewhere) or is missing is
// never restored: the refusal names it and the folder stays byte for byte as it was.
TEST(Trust, ABackupWithATableThatIsNotWholeIsNeverRestored)
{
    const struct {
        const char* name;
        const char* said;
    } cases[] = {
        {"cut", "no está entera"},
        {"link", "es un enlace"},
        {"missing", "falta"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        School school;
        const Backup backup = school.backups().front();
        const QString table = school.backupPath(backup.name) + QStringLiteral("/AULAT.DBF");
        const QByteArray name = c.name;
        if (name == "cut") {
            QFile(table).resize(100);
        } else if (name == "link") {
            writeFile(school.outside + QStringLiteral("/AULAT.DBF"), readFile(table));
            QFile::remove(table);
            ASSERT_TRUE(QFile::link(school.outside + QStringLiteral("/AULAT.DBF"), table));
        } else {
            QFile::remove(table);
        }
        const QMap<QString, QByteArray> before = snapshot(school.parent.path());
        const CliOutcome run = school.restaurar({backup.name});
        EXPECT_EQ(run.code, 1) << run.out;
        EXPECT_TRUE(run.err.contains(QDir::toNativeSeparators(table))) << run.err;
        EXPECT_TRUE(run.err.contains(QString::fromUtf8(c.said))) << run.err;
        EXPECT_TRUE(run.err.contains(QStringLiteral("No se ha cambiado nada"))) << run.err;
        EXPECT_EQ(snapshotChanges(before, snapshot(school.parent.path())), QString());
    }
}

// Backups an older version made (date-named folders of tables, no markers at all) keep every
// exportar going: they are listed and restored, and never pruned.
TEST(Trust, BackupsOfAnOlderVersionAreKeptAndListed)
{
    School school;
    const QString copies = school.path(ownnames::BackupFolder);
    QDir(copies).removeRecursively();
    const QStringList older = {QStringLiteral("2025-06-01_10-00-00"),
                               QStringLiteral("2025-06-02_10-00-00")};
    const QMap<QString, QByteArray> first = tablesOf(school.folder);
    for (const QString& name : older) {
        QDir().mkpath(copies + QLatin1Char('/') + name);
        for (const QString& table : {QStringLiteral("PROFT.DBF"), QStringLiteral("AULAT.DBF")})
            writeFile(copies + QLatin1Char('/') + name + QLatin1Char('/') + table,
                      first.value(table));
    }
    const QMap<QString, QByteArray> kept = snapshot(copies);

    const CliOutcome listed = school.restaurar();
    EXPECT_EQ(listed.code, 0) << listed.err;
    for (const QString& name : older)
        EXPECT_TRUE(listed.out.contains(name)) << listed.out;
    EXPECT_TRUE(listed.out.contains(QStringLiteral("de una versión anterior"))) << listed.out;

    for (int run = 0; run <= backups::Kept + 1; ++run)
        ASSERT_EQ(school.exportar().code, 0);
    QMap<QString, QByteArray> now = snapshot(copies);
    for (auto it = kept.begin(); it != kept.end(); ++it)
        EXPECT_EQ(now.value(it.key()), it.value()) << it.key();
    EXPECT_EQ(school.backups().size(), size_t(backups::Kept + older.size()));

    writeFile(school.path("AULAT.DBF"), "otra cosa");
    const CliOutcome restored = school.restaurar({older.front()});
    ASSERT_EQ(restored.code, 0) << restored.err;
    EXPECT_EQ(readFile(school.path("AULAT.DBF")), first.value(QStringLiteral("AULAT.DBF")));
}

// What the user keeps beside the program's files is never taken for one of them: a file named
// like the report's temporary one stays, and a file in the staging folder stops the run.
TEST(Trust, TheUsersOwnFilesAreNeverTakenForTheProgramsOwn)
{
    School school;
    const QString mine = school.path("quelvana-informe.txt.nuevo");
    writeFile(mine, "mis notas");
    ASSERT_EQ(school.exportar().code, 0);
    EXPECT_EQ(readFile(mine), "mis notas");

    const QString staging = school.path(ownnames::StagingFolder);
    QDir().mkpath(staging);
    writeFile(staging + QStringLiteral("/.quelvana"),
              "Quelvana: tablas en preparación de una exportación.\n");
    writeFile(staging + QStringLiteral("/notas.txt"), "mías");
    const QMap<QString, QByteArray> before = snapshot(school.parent.path());
    const CliOutcome run = school.exportar();
    EXPECT_EQ(run.code, 1);
    EXPECT_TRUE(run.err.contains(QStringLiteral("notas.txt"))) << run.err;
    EXPECT_EQ(snapshotChanges(before, snapshot(school.parent.path())), QString());
}

// A table shorter than its header says (cut in the middle of a row, or a header that counts a
// row more than the file holds) has lost rows: importar refuses it, naming the table and both
// counts, and writes nothing beside the document.
TEST(Trust, ATableShorterThanItsHeaderSaysIsRefused)
{
    const struct {
        const char* name;
        const char* table;
        bool halfARow; // else the header counts one row more
    } cases[] = {
        {"SOLUC cut in a row", "SOLUC.DBF", true},
        {"SOLUC counting a row more", "SOLUC.DBF", false},
        {"PROFT cut in a row", "PROFT.DBF", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        School school;
        const QString table = school.path(c.table);
        QByteArray bytes = readFile(table);
        const quint32 rows = qFromLittleEndian<quint32>(bytes.constData() + 4);
        const quint16 headerLength = qFromLittleEndian<quint16>(bytes.constData() + 8);
        const quint16 rowLength = qFromLittleEndian<quint16>(bytes.constData() + 10);
        bytes.truncate(headerLength + rows * rowLength); // without the end-of-file byte
        if (c.halfARow)
            bytes.chop(rowLength / 2);
        else
            qToLittleEndian<quint32>(rows + 1, bytes.data() + 4);
        writeFile(table, bytes);
        const QMap<QString, QByteArray> before = snapshot(school.parent.path());
        const CliOutcome run = school.importar();
        EXPECT_EQ(run.code, 1) << run.out;
        const QString expected =
            QStringLiteral("%1»: está cortada: su cabecera dice que tiene %2 filas y el archivo "
                           "solo tiene %3 enteras")
                .arg(QString::fromLatin1(c.table))
                .arg(c.halfARow ? rows : rows + 1)
                .arg(rows - (c.halfARow ? 1 : 0));
        EXPECT_TRUE(run.err.contains(expected)) << run.err;
        EXPECT_EQ(snapshotChanges(before, snapshot(school.parent.path())), QString());
    }
}

// A file name written in another encoding than the system's (an old USB stick) is refused as
// such, never as a file that does not exist.
TEST(Trust, ANameInAnotherEncodingIsSaidForWhatItIs)
{
    QTemporaryDir dir;
    const QByteArray name = QFile::encodeName(dir.path()) + "/\xe1rbol.xml";
    {
        const int fd = ::open(name.constData(), O_WRONLY | O_CREAT | O_EXCL, 0644);
        ASSERT_GE(fd, 0);
        const QByteArray document = readFile(sampleDocument);
        ASSERT_EQ(::write(fd, document.constData(), size_t(document.size())), document.size());
        ::close(fd);
    }
    // The name's bytes as printf's octal escapes: sh hands them on as they are.
    QString escaped;
    for (const char byte : name)
        escaped += QStringLiteral("\\%1").arg(uint(uchar(byte)), 3, 8, QLatin1Char('0'));
    QProcess process;
    process.start(QStringLiteral("/bin/sh"),
                  {QStringLiteral("-c"),
                   QStringLiteral("exec \"$0\" comprobar \"$(printf '%1')\"").arg(escaped),
                   QStringLiteral(QUELVANA_BIN_DIR "/quelvana-cli")});
    ASSERT_TRUE(process.waitForFinished(60000));
    const QString err = QString::fromUtf8(process.readAllStandardError());
    EXPECT_EQ(process.exitCode(), 1);
    EXPECT_TRUE(err.contains(QStringLiteral("no está escrito en la codificación del sistema")))
        << err;
    EXPECT_FALSE(err.contains(QStringLiteral("No existe"))) << err;
}
