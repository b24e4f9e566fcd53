// The process killed (as with kill -9 or a power cut) right before each write of the program's
// working files in turn: a marker, a folder made or renamed into place, the journal, each move
// of the commit, the report. Whatever the moment, the next run finds the folder its own, puts
// it back to one whole set of tables and goes on; nothing is ever reported as foreign.

#include "components/timetablefolder/backuprestore.h"
#include "components/timetablefolder/ownnames.h"
#include "tests/clisupport.h"
#include "tests/testsupport.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <gtest/gtest.h>

namespace {

const QString sampleDocument = QStringLiteral(QUELVANA_EXAMPLES_DIR "/ies-ejemplo.xml");

// The preloaded library where the loader can take it: LD_PRELOAD is a list split at blanks and
// colons, which the project's own path may hold.
QString killer()
{
    static QTemporaryDir dir;
    static const QString path = [] {
        const QString copy = dir.filePath(QStringLiteral("libkillat.so"));
        QFile::copy(QStringLiteral(QUELVANA_KILLAT), copy);
        return copy;
    }();
    return path;
}

struct Ended {
    bool killed = false;
    int code = -1;
    QString err;
};

// quelvana-cli in a process of its own, killed at the `killAt`th write of its working files
// (0: never); with `countFile`, those writes are listed there instead.
Ended cli(const QStringList& arguments, int killAt = 0, const QString& countFile = QString(),
          const QString& temporaryFolder = QString())
{
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    if (!temporaryFolder.isEmpty())
        environment.insert(QStringLiteral("TMPDIR"), temporaryFolder);
    environment.insert(QStringLiteral("LD_PRELOAD"), killer());
    environment.insert(QStringLiteral("ASAN_OPTIONS"),
                       environment.value(QStringLiteral("ASAN_OPTIONS")) +
                           QStringLiteral(":verify_asan_link_order=0"));
    if (killAt > 0)
        environment.insert(QStringLiteral("QUELVANA_KILL_AT"), QString::number(killAt));
    if (!countFile.isEmpty())
        environment.insert(QStringLiteral("QUELVANA_KILL_COUNT"), countFile);
    process.setProcessEnvironment(environment);
    process.start(QStringLiteral(QUELVANA_BIN_DIR "/quelvana-cli"), arguments);
    process.closeWriteChannel();
    if (!process.waitForFinished(60000))
        process.kill();
    process.waitForFinished();
    return {process.exitStatus() == QProcess::CrashExit, process.exitCode(),
            QString::fromUtf8(process.readAllStandardError())};
}

QStringList exportar(const QString& folder, const QString& frames)
{
    return {QStringLiteral("exportar"),           sampleDocument,
            QStringLiteral("--timetable-folder"), folder,
            QStringLiteral("--frames"),           frames};
}

// The writes of the working files a run makes, one a line ("15 from to").
QList<QByteArray> writesOf(const QStringList& arguments)
{
    QTemporaryDir dir;
    const QString list = dir.filePath(QStringLiteral("escrituras.txt"));
    const Ended counted = cli(arguments, 0, list);
    EXPECT_FALSE(counted.killed) << counted.err;
    if (!QFileInfo::exists(list)) {
        ADD_FAILURE() << "the preloaded library did not count: " << counted.err;
        return {};
    }
    return readFile(list).trimmed().split('\n');
}

// A timetable folder as an earlier exportar (one time frame) leaves it, without a backup folder.
QString preparedFolder(const QTemporaryDir& dir)
{
    const QString prepared = dir.filePath(QStringLiteral("preparada"));
    QDir().mkpath(prepared);
    EXPECT_EQ(runCli(exportar(prepared, QStringLiteral("1"))).code, 0);
    QDir(QDir(prepared).filePath(ownnames::BackupFolder)).removeRecursively();
    QFile::remove(QDir(prepared).filePath(ownnames::Report));
    return prepared;
}

void copyFolder(const QString& from, const QString& to)
{
    QDir().mkpath(to);
    QDirIterator it(from, QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        const QString target = to + path.mid(from.size());
        if (QFileInfo(path).isDir())
            QDir().mkpath(target);
        else
            QFile::copy(path, target);
    }
}

// The folder holds one whole set of tables and nothing the program left half made: no folder
// in the making, every backup one it lists, and no staging folder (or, when the run after the
// crash was a trial, at most one that a run killed before its commit left, which the next
// exportar clears).
void expectOneWholeSet(const QString& folder, bool afterTrial = false)
{
    expectEveryTableWhole(folder);
    const QString staging = QDir(folder).filePath(ownnames::StagingFolder);
    if (afterTrial) {
        EXPECT_FALSE(QFileInfo::exists(QDir(staging).filePath(ownnames::Journal)));
        if (QFileInfo::exists(staging)) {
            EXPECT_EQ(readFile(QDir(staging).filePath(ownnames::Marker)),
                      "Quelvana: tablas en preparación de una exportación.\n");
        }
    } else {
        EXPECT_FALSE(QFileInfo::exists(staging));
    }
    const QDir copies(QDir(folder).filePath(ownnames::BackupFolder));
    const QStringList inside =
        copies.entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
    size_t backups = 0;
    for (const QString& name : inside) {
        EXPECT_FALSE(ownnames::isFolderInTheMaking(name)) << name;
        backups += name == ownnames::Marker ? 0 : 1;
    }
    EXPECT_EQ(backuprestore::available(folder).size(), backups);
}

} // namespace

// An exportar onto tables an earlier one wrote, its backup folder still to be made: killed at
// each write in turn, then exportar again, which succeeds with the new set whole.
TEST(Crash, AKillAtAnyWriteOfAnExportarIsPutRightByTheNextOne)
{
    QTemporaryDir dir;
    const QString prepared = preparedFolder(dir);
    const QString reference = dir.filePath(QStringLiteral("referencia"));
    copyFolder(prepared, reference);
    const int writes = int(writesOf(exportar(reference, QStringLiteral("1,2"))).size());
    const QMap<QString, QByteArray> newSet = tablesOf(reference);
    ASSERT_GT(writes, 10);

    for (int killAt = 1; killAt <= writes; ++killAt) {
        SCOPED_TRACE(killAt);
        const QString folder = dir.filePath(QStringLiteral("OTEMP-%1").arg(killAt));
        copyFolder(prepared, folder);
        const Ended killed = cli(exportar(folder, QStringLiteral("1,2")), killAt);
        EXPECT_TRUE(killed.killed) << killed.err;
        const Ended next = cli(exportar(folder, QStringLiteral("1,2")));
        EXPECT_FALSE(next.killed);
        EXPECT_EQ(next.code, 0) << next.err;
        EXPECT_FALSE(next.err.contains(QStringLiteral("no la ha creado Quelvana"))) << next.err;
        EXPECT_EQ(tablesOf(folder), newSet);
        expectOneWholeSet(folder);
        QDir(folder).removeRecursively();
    }
}

// A restore killed at each write in turn: the next run says the restore was interrupted when
// it was (never "una exportación"), and leaves one whole set, the one before or the restored.
TEST(Crash, AKillAtAnyWriteOfARestoreIsPutRightByTheNextRun)
{
    QTemporaryDir dir;
    const QString prepared = dir.filePath(QStringLiteral("preparada"));
    QDir().mkpath(prepared);
    ASSERT_EQ(runCli(exportar(prepared, QStringLiteral("1"))).code, 0);
    const QMap<QString, QByteArray> restoredSet = tablesOf(prepared);
    QThread::sleep(1);
    ASSERT_EQ(runCli(exportar(prepared, QStringLiteral("1,2"))).code, 0);
    const QMap<QString, QByteArray> currentSet = tablesOf(prepared);
    const QString backup = backuprestore::available(prepared).front().name;
    const QStringList restore = {QStringLiteral("restaurar"), backup,
                                 QStringLiteral("--timetable-folder"), QString()};

    const QString reference = dir.filePath(QStringLiteral("referencia"));
    copyFolder(prepared, reference);
    QStringList arguments = restore;
    arguments.last() = reference;
    const int writes = int(writesOf(arguments).size());
    ASSERT_EQ(tablesOf(reference), restoredSet);
    ASSERT_GT(writes, 5);

    for (int killAt = 1; killAt <= writes; ++killAt) {
        SCOPED_TRACE(killAt);
        const QString folder = dir.filePath(QStringLiteral("OTEMP-%1").arg(killAt));
        copyFolder(prepared, folder);
        arguments.last() = folder;
        const Ended killed = cli(arguments, killAt);
        EXPECT_TRUE(killed.killed) << killed.err;
        const bool journalLeft = QFileInfo::exists(
            QDir(folder).filePath(ownnames::StagingFolder + QLatin1Char('/') + ownnames::Journal));
        QStringList trial = exportar(folder, QStringLiteral("1,2"));
        trial << QStringLiteral("--dry-run");
        const Ended next = cli(trial);
        EXPECT_EQ(next.code, 0) << next.err;
        if (journalLeft) {
            EXPECT_TRUE(
                next.err.contains(QStringLiteral("Una restauración anterior se interrumpió")))
                << next.err;
        }
        const QMap<QString, QByteArray> tables = tablesOf(folder);
        EXPECT_TRUE(tables == currentSet || tables == restoredSet);
        expectOneWholeSet(folder, true);
        QDir(folder).removeRecursively();
    }
}

// A commit killed half way, and then the backup it was making moved away by hand: the next run
// keeps the new tables where they are (the only copy of a set it has), refuses, and says which
// backup is missing; with the backup back, it puts the folder right.
TEST(Crash, ARecoveryThatWouldNeedAMissingBackupKeepsTheNewTables)
{
    QTemporaryDir dir;
    const QString prepared = preparedFolder(dir);
    const QString folder = dir.filePath(QStringLiteral("OTEMP"));
    copyFolder(prepared, folder);
    const QList<QByteArray> writes = writesOf(exportar(prepared, QStringLiteral("1,2")));
    // Killed right after the first new table is in place.
    int killAt = 0;
    for (const QByteArray& line : writes) {
        if (line.contains(ownnames::StagingFolder.toUtf8() + "/") && killAt == 0)
            killAt = line.split(' ').front().toInt() + 1;
    }
    ASSERT_GT(killAt, 1);
    ASSERT_TRUE(cli(exportar(folder, QStringLiteral("1,2")), killAt).killed);
    const QString copies = QDir(folder).filePath(ownnames::BackupFolder);
    const QString backup = QDir(copies).entryList(QDir::Dirs | QDir::NoDotAndDotDot).value(0);
    ASSERT_FALSE(backup.isEmpty());
    const QString away = dir.filePath(QStringLiteral("apartada"));
    ASSERT_TRUE(QDir().rename(QDir(copies).filePath(backup), away));

    const QMap<QString, QByteArray> before = snapshot(folder);
    const Ended refused = cli(exportar(folder, QStringLiteral("1,2")));
    EXPECT_EQ(refused.code, 1);
    EXPECT_TRUE(refused.err.contains(QStringLiteral("falta la copia «%1»").arg(backup)))
        << refused.err;
    EXPECT_EQ(snapshotChanges(before, snapshot(folder)), QString());

    ASSERT_TRUE(QDir().rename(away, QDir(copies).filePath(backup)));
    const Ended next = cli(exportar(folder, QStringLiteral("1,2")));
    EXPECT_EQ(next.code, 0) << next.err;
    EXPECT_TRUE(next.err.contains(QStringLiteral("se interrumpió"))) << next.err;
    expectOneWholeSet(folder);
}

// A trial (exportar --dry-run, comprobar) killed while it works leaves its temporary folder;
// the next trial removes it, and none is left when it ends. A TMPDIR that cannot be used is
// passed over for the system's own.
TEST(Crash, AKilledTrialsTemporaryFolderIsRemovedByTheNextOne)
{
    QTemporaryDir dir;
    const QString prepared = preparedFolder(dir);
    const QString temporary = dir.filePath(QStringLiteral("tmp"));
    QDir().mkpath(temporary);
    auto leftovers = [&] {
        return QDir(temporary).entryList(
            {QStringLiteral("quelvana-*"), QStringLiteral(".quelvana-*")},
            QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
    };
    QStringList trial = exportar(prepared, QStringLiteral("1,2"));
    trial << QStringLiteral("--dry-run");
    const QStringList check = {QStringLiteral("comprobar"), sampleDocument,
                               QStringLiteral("--frames"), QStringLiteral("1,2")};
    for (const QStringList& arguments : {trial, check}) {
        SCOPED_TRACE(arguments.first().toStdString());
        const qsizetype writes = writesOf(arguments).size();
        ASSERT_GT(writes, 3);
        for (int killAt = 1; killAt <= writes; ++killAt) {
            SCOPED_TRACE(killAt);
            ASSERT_TRUE(cli(arguments, killAt, QString(), temporary).killed);
            // What a trial writes is for its user alone.
            for (const QString& name : leftovers()) {
                if (name.startsWith(QStringLiteral("quelvana-prueba-"))) {
                    EXPECT_EQ(QFileInfo(QDir(temporary).filePath(name)).permissions() &
                                  (QFile::ReadGroup | QFile::ReadOther),
                              QFile::Permissions());
                }
            }
            const Ended next = cli(arguments, 0, QString(), temporary);
            EXPECT_EQ(next.code, 0) << next.err;
            EXPECT_EQ(leftovers(), QStringList());
        }
    }
    const Ended elsewhere = cli(trial, 0, QString(), dir.filePath(QStringLiteral("no-existe")));
    EXPECT_EQ(elsewhere.code, 0) << elsewhere.err;
}
