// The timetable folder as a hostile hand or a faulty machine leaves it: links and strangers in
// the working folders' places, pipes and devices in the tables' places, a full or read-only
// disk, a process killed inside the commit. In every case a run either completes with every
// file whole or leaves the folder as it was, and says why in Spanish.

#include "cli/cliinteraction.h"
#include "cli/clitool.h"
#include "components/timetablefolder/ownnames.h"
#include "components/timetablefolder/tablestaging.h"
#include "tests/clisupport.h"
#include "tests/tablesupport.h"
#include "tests/testsupport.h"
#include "to_timetable/exportarrun.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <csignal>
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

namespace {

const QString lookupTable = QStringLiteral(QUELVANA_BIN_DIR "/NIVELCAN.DBF");
const QString sampleDocument = QStringLiteral(QUELVANA_EXAMPLES_DIR "/ies-ejemplo.xml");

struct Outcome {
    int code;
    QString out;
    QString err;
};

// quelvana-cli as a caller runs it, in its own process: a run that blocks is ended.
Outcome cli(const QStringList& arguments, int timeoutMs = 60000)
{
    QProcess process;
    process.start(QStringLiteral(QUELVANA_BIN_DIR "/quelvana-cli"), arguments);
    process.closeWriteChannel();
    if (!process.waitForFinished(timeoutMs)) {
        process.kill();
        process.waitForFinished();
        return {-1, QString(), QStringLiteral("quelvana-cli did not end")};
    }
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
            QString::fromUtf8(process.readAllStandardOutput()),
            QString::fromUtf8(process.readAllStandardError())};
}

Outcome exportar(const QString& folder, const QString& frames = QStringLiteral("1,2"),
                 const QStringList& more = {})
{
    return cli(QStringList{QStringLiteral("exportar"), sampleDocument,
                           QStringLiteral("--timetable-folder"), folder, QStringLiteral("--frames"),
                           frames} +
               more);
}

// A timetable folder as Oranel leaves it after an earlier exportar (one time frame): its
// tables, a solved timetable and a file of Oranel's own.
QString prepareFolder(const QString& parent)
{
    const QString folder = QDir(parent).filePath(QStringLiteral("OTEMP"));
    QDir().mkpath(folder);
    const Outcome first = exportar(folder, QStringLiteral("1"));
    EXPECT_EQ(first.code, 0) << first.err;
    writeFile(QDir(folder).filePath(QStringLiteral("ORANEL.CFG")), "configuración de Oranel");
    // The earlier run's backup folder goes: each test starts from the tables alone.
    QDir(QDir(folder).filePath(ownnames::BackupFolder)).removeRecursively();
    return folder;
}

// A small file system of our own (tmpfs), unmounted when the test ends.
struct SmallDisk {
    QTemporaryDir mountPoint;
    bool mounted = false;

    explicit SmallDisk(const char* size)
    {
        const QByteArray options = QByteArray("size=") + size + ",mode=0755";
        mounted = ::mount("quelvana-test", QFile::encodeName(mountPoint.path()).constData(),
                          "tmpfs", 0, options.constData()) == 0;
    }
    ~SmallDisk()
    {
        if (mounted)
            ::umount2(QFile::encodeName(mountPoint.path()).constData(), MNT_DETACH);
    }
    QString path() const { return mountPoint.path(); }
    qint64 available() const
    {
        struct statvfs st;
        ::statvfs(QFile::encodeName(path()).constData(), &st);
        return qint64(st.f_bavail) * qint64(st.f_bsize);
    }
    bool remount(unsigned long flags)
    {
        return ::mount("quelvana-test", QFile::encodeName(path()).constData(), "tmpfs",
                       MS_REMOUNT | flags, nullptr) == 0;
    }
};

} // namespace

// A link, a file or a folder of somebody else's in the place of a working folder: the run
// refuses before touching anything, naming the entry, and nothing it points at is touched.
TEST(SafeFolders, WorkingFoldersThatAreNotOurOwnAreRefused)
{
    enum class Kind {
        LinkToTheFolder,
        LinkOutside,
        LinkToTheParent,
        PlainFile,
        StrangeFolder,
        Fifo
    };
    const struct {
        const char* name;
        const char* entry;
        Kind kind;
    } cases[] = {
        {"staging linked to the timetable folder", "quelvana-preparando", Kind::LinkToTheFolder},
        {"staging linked to another folder", "quelvana-preparando", Kind::LinkOutside},
        {"staging a plain file", "quelvana-preparando", Kind::PlainFile},
        {"staging a folder of somebody else's", "quelvana-preparando", Kind::StrangeFolder},
        {"staging a pipe", "quelvana-preparando", Kind::Fifo},
        {"backups linked to the timetable folder", "quelvana-copias", Kind::LinkToTheFolder},
        {"backups linked to the parent (drive_c)", "quelvana-copias", Kind::LinkToTheParent},
        {"backups linked to another folder", "quelvana-copias", Kind::LinkOutside},
        {"backups a plain file", "quelvana-copias", Kind::PlainFile},
        {"backups a folder of somebody else's", "quelvana-copias", Kind::StrangeFolder},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        QTemporaryDir parent;
        const QString folder = prepareFolder(parent.path());
        const QString outside = parent.filePath(QStringLiteral("otra"));
        QDir().mkpath(outside);
        writeFile(QDir(outside).filePath(QStringLiteral("PROFT.DBF")), "de otra carpeta");
        const QString entry = QDir(folder).filePath(QString::fromLatin1(c.entry));
        switch (c.kind) {
        case Kind::LinkToTheFolder:
            ASSERT_TRUE(QFile::link(QStringLiteral("."), entry));
            break;
        case Kind::LinkOutside:
            ASSERT_TRUE(QFile::link(outside, entry));
            break;
        case Kind::LinkToTheParent:
            ASSERT_TRUE(QFile::link(QStringLiteral(".."), entry));
            break;
        case Kind::PlainFile:
            writeFile(entry, "un archivo");
            break;
        case Kind::StrangeFolder:
            QDir().mkpath(entry);
            writeFile(QDir(entry).filePath(QStringLiteral("PROFT.DBF")), "mío");
            break;
        case Kind::Fifo:
            ASSERT_EQ(::mkfifo(QFile::encodeName(entry).constData(), 0644), 0);
            break;
        }
        const QMap<QString, QByteArray> before = snapshot(parent.path());
        for (const bool dryRun : {false, true}) {
            const Outcome run =
                exportar(folder, QStringLiteral("1,2"),
                         dryRun ? QStringList{QStringLiteral("--dry-run")} : QStringList());
            EXPECT_EQ(run.code, 1) << run.out << run.err;
            EXPECT_NE(run.err.indexOf(QDir::toNativeSeparators(entry)), -1) << run.err;
            EXPECT_NE(run.err.indexOf(QStringLiteral("No se ha cambiado nada")), -1) << run.err;
            EXPECT_EQ(snapshot(parent.path()), before);
        }
    }
}

// Only ordinary files are read or replaced: a pipe, a device or a link loop in a table's place
// is refused at once (never opened for a read that blocks or never ends), naming it.
TEST(SafeFolders, PipesDevicesAndLinkLoopsInATablesPlaceAreRefused)
{
    const struct {
        const char* name;
        const char* verb;
        const char* table;
        const char* what; // a fifo, a link target, or "loop"
        const char* reason;
    } cases[] = {
        {"PROFT a pipe, exportar", "exportar", "PROFT.DBF", "fifo", "tubería"},
        {"AULAT a link loop, exportar", "exportar", "AULAT.DBF", "loop", "bucle"},
        {"SOLUC a pipe, importar", "importar", "SOLUC.DBF", "fifo", "tubería"},
        {"PROFT a pipe, importar", "importar", "PROFT.DBF", "fifo", "tubería"},
        {"SOLUC a link to /dev/zero, importar", "importar", "SOLUC.DBF", "/dev/zero",
         "dispositivo"},
        {"SOLUC a folder, importar", "importar", "SOLUC.DBF", "folder", "carpeta"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        QTemporaryDir parent;
        const QString folder = prepareFolder(parent.path());
        ASSERT_TRUE(writeSolvedTimetable(folder));
        const QString table = QDir(folder).filePath(QString::fromLatin1(c.table));
        QFile::remove(table);
        const QByteArray what = c.what;
        if (what == "fifo")
            ASSERT_EQ(::mkfifo(QFile::encodeName(table).constData(), 0644), 0);
        else if (what == "loop")
            ASSERT_TRUE(QFile::link(table, table));
        else if (what == "folder")
            ASSERT_TRUE(QDir().mkpath(table));
        else
            ASSERT_TRUE(QFile::link(QString::fromLatin1(what), table));
        const QString document = parent.filePath(QStringLiteral("ies.xml"));
        writeFile(document, readFile(sampleDocument));
        const QMap<QString, QByteArray> before = snapshot(parent.path());
        const QString verb = QString::fromLatin1(c.verb);
        const Outcome run =
            verb == QLatin1String("exportar")
                ? exportar(folder)
                : cli({verb, document, QStringLiteral("--timetable-folder"), folder}, 20000);
        EXPECT_EQ(run.code, 1) << run.err;
        EXPECT_NE(run.err.indexOf(QString::fromLatin1(c.table)), -1) << run.err;
        EXPECT_NE(run.err.indexOf(QString::fromUtf8(c.reason)), -1) << run.err;
        EXPECT_EQ(snapshot(parent.path()), before);
    }
}

// The result document is never written through a link: what the link points at stays as it
// was, and the message names the link.
TEST(SafeFolders, TheResultIsNeverWrittenThroughALink)
{
    QTemporaryDir parent;
    const QString folder = prepareFolder(parent.path());
    ASSERT_TRUE(writeSolvedTimetable(folder));
    const QString document = parent.filePath(QStringLiteral("ies.xml"));
    writeFile(document, readFile(sampleDocument));
    const QString precious = parent.filePath(QStringLiteral("importante.txt"));
    writeFile(precious, "no se toca");
    const QString result = parent.filePath(QStringLiteral("ResultadoOranelies.xml"));
    ASSERT_TRUE(QFile::link(precious, result));

    const Outcome run =
        cli({QStringLiteral("importar"), document, QStringLiteral("--timetable-folder"), folder});
    EXPECT_EQ(run.code, 1);
    EXPECT_NE(run.err.indexOf(QDir::toNativeSeparators(result)), -1) << run.err;
    EXPECT_NE(run.err.indexOf(QStringLiteral("enlace")), -1) << run.err;
    EXPECT_EQ(readFile(precious), "no se toca");
    EXPECT_TRUE(QFileInfo(result).isSymLink());

    // With the link gone, the same run writes the result.
    QFile::remove(result);
    EXPECT_EQ(
        cli({QStringLiteral("importar"), document, QStringLiteral("--timetable-folder"), folder})
            .code,
        0);
    EXPECT_FALSE(QFileInfo(result).isSymLink());
}

// The disk fills at every point of a run in turn (a real small file system, its free space
// cut down page by page): the run either succeeds with every table whole, or fails naming the
// full disk in Spanish with the folder byte for byte as it was.
TEST(SafeFolders, ADiskThatFillsAtAnyWriteLeavesTheFolderWholeOrAsItWas)
{
    SmallDisk disk("2m");
    if (!disk.mounted)
        GTEST_SKIP() << "mounting a tmpfs needs root";
    const QString folder = prepareFolder(disk.path());
    const QMap<QString, QByteArray> before = snapshot(disk.path());
    const QString filler = QDir(disk.path()).filePath(QStringLiteral("relleno"));
    const qint64 page = 4096;
    int failures = 0;
    bool succeeded = false;
    for (qint64 free = 0; free < 256 * page && !succeeded; free += page) {
        SCOPED_TRACE(free);
        QFile::remove(filler);
        {
            QFile fill(filler);
            ASSERT_TRUE(fill.open(QIODevice::WriteOnly));
            const qint64 size = disk.available() - free;
            if (size > 0) {
                ASSERT_EQ(fill.write(QByteArray(int(size), '\0')), size);
            }
        }
        const QMap<QString, QByteArray> start = snapshot(disk.path());
        const Outcome run = exportar(folder);
        if (run.code == 0) {
            succeeded = true;
            expectEveryTableWhole(folder);
            EXPECT_EQ(tableRows(QDir(folder).filePath(QStringLiteral("PROFT.DBF"))).size(), 25);
            break;
        }
        ++failures;
        EXPECT_EQ(run.code, 1) << run.err;
        EXPECT_NE(run.err.indexOf(QStringLiteral("no queda espacio en el disco")), -1) << run.err;
        EXPECT_EQ(run.err.indexOf(QStringLiteral("No space")), -1) << run.err;
        EXPECT_EQ(snapshot(disk.path()), start);
    }
    EXPECT_TRUE(succeeded);
    EXPECT_GT(failures, 5);
    QFile::remove(filler);
    (void)before;

    // A disk made read-only: the reason in Spanish, nothing changed.
    ASSERT_TRUE(disk.remount(MS_RDONLY));
    const QMap<QString, QByteArray> readOnly = snapshot(disk.path());
    const Outcome run = exportar(folder);
    EXPECT_EQ(run.code, 1);
    EXPECT_NE(run.err.indexOf(QStringLiteral("solo lectura")), -1) << run.err;
    EXPECT_EQ(run.err.indexOf(QStringLiteral("Read-only")), -1) << run.err;
    EXPECT_EQ(snapshot(disk.path()), readOnly);
    disk.remount(0);
}

// The process dies (as with kill -9 or a power cut) right after each move of the commit in
// turn. The next run, whatever it is, first puts the folder back to one whole set of tables
// (the old one, or the new one when every new table was already in place) and says so.
TEST(SafeFolders, ACrashInsideTheCommitIsPutRightByTheNextRun)
{
    GTEST_FLAG_SET(death_test_style, "fast"); // the child must see this test's folder
    auto exportWith = [](const QString& folder, TableStaging::FileMover mover) {
        QString messages;
        QTextStream err(&messages);
        CliInteraction interaction({QStringLiteral("1"), QStringLiteral("2")}, err);
        ExportarRun run(folder, lookupTable, interaction, std::move(mover));
        if (!run.loadDocument(sampleDocument).isEmpty())
            return false;
        run.begin();
        run.runSteps();
        run.commit();
        return true;
    };

    // The whole new set, and how many moves the commit makes.
    QTemporaryDir reference;
    const QString referenceFolder = prepareFolder(reference.path());
    const QMap<QString, QByteArray> oldSet = tablesOf(referenceFolder);
    int moves = 0;
    ASSERT_TRUE(exportWith(referenceFolder, [&](const QString& from, const QString& to, QString*) {
        ++moves;
        return QFile::rename(from, to);
    }));
    const QMap<QString, QByteArray> newSet = tablesOf(referenceFolder);
    ASSERT_NE(oldSet, newSet);
    ASSERT_GT(moves, 10);

    const QStringList nextRuns = {QStringLiteral("exportar --dry-run"), QStringLiteral("importar"),
                                  QStringLiteral("exportar")};
    for (int killedAfter = 1; killedAfter <= moves; ++killedAfter) {
        SCOPED_TRACE(killedAfter);
        QTemporaryDir parent;
        const QString folder = prepareFolder(parent.path());
        ASSERT_EQ(tablesOf(folder), oldSet);
        EXPECT_EXIT(
            {
                int made = 0;
                exportWith(folder, [&](const QString& from, const QString& to, QString*) {
                    const bool moved = QFile::rename(from, to);
                    if (++made == killedAfter)
                        ::kill(::getpid(), SIGKILL);
                    return moved;
                });
                std::_Exit(0);
            },
            testing::KilledBySignal(SIGKILL), "");
        ASSERT_TRUE(QFileInfo::exists(
            QDir(folder).filePath(ownnames::StagingFolder + QLatin1Char('/') + ownnames::Journal)));

        const QString next = nextRuns.at(killedAfter % nextRuns.size());
        const QString document = parent.filePath(QStringLiteral("ies.xml"));
        writeFile(document, readFile(sampleDocument));
        Outcome run;
        if (next == QLatin1String("importar"))
            run = cli({QStringLiteral("importar"), document, QStringLiteral("--timetable-folder"),
                       folder});
        else if (next == QLatin1String("exportar"))
            run = exportar(folder);
        else
            run = exportar(folder, QStringLiteral("1,2"), {QStringLiteral("--dry-run")});
        EXPECT_NE(run.err.indexOf(QStringLiteral("se interrumpió")), -1) << run.err;
        EXPECT_FALSE(QFileInfo::exists(QDir(folder).filePath(ownnames::StagingFolder)));
        if (next == QLatin1String("exportar")) {
            EXPECT_EQ(run.code, 0) << run.err;
            EXPECT_EQ(tablesOf(folder), newSet);
        } else if (killedAfter == moves) {
            EXPECT_EQ(tablesOf(folder), newSet) << "every new table was in place";
        } else {
            EXPECT_EQ(tablesOf(folder), oldSet);
        }
        expectEveryTableWhole(folder);
    }
}

// The timetable folder itself may be a link (drive_c/OTEMP pointing at a folder elsewhere): the
// runs work through it, while the program's own folders inside are never links.
TEST(SafeFolders, ATimetableFolderReachedThroughALinkWorks)
{
    QTemporaryDir parent;
    const QString real = prepareFolder(parent.path());
    const QString linked = parent.filePath(QStringLiteral("enlace-OTEMP"));
    ASSERT_TRUE(QFile::link(real, linked));
    const Outcome run = exportar(linked);
    EXPECT_EQ(run.code, 0) << run.err;
    EXPECT_TRUE(QFileInfo(QDir(real).filePath(QStringLiteral("quelvana-copias"))).isDir());
    EXPECT_FALSE(QFileInfo::exists(QDir(real).filePath(ownnames::StagingFolder)));
    expectEveryTableWhole(real);
}
