// quelvana-cli restaurar: the backups listed, one put back all or nothing, and a restore that
// can itself be undone.

#include "components/platform/platform.h"
#include "components/timetablefolder/backuprestore.h"
#include "components/timetablefolder/tablestaging.h"
#include "tests/clisupport.h"
#include "tests/testsupport.h"

#include <QDir>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <gtest/gtest.h>

namespace {

const QString sampleDocument = QStringLiteral(QUELVANA_EXAMPLES_DIR "/ies-ejemplo.xml");

struct Folder {
    QTemporaryDir dir;
    QString path = dir.filePath(QStringLiteral("OTEMP"));

    Folder() { QDir().mkpath(path); }
    CliOutcome exportar(const QString& frames) const
    {
        return runCli({QStringLiteral("exportar"), sampleDocument,
                       QStringLiteral("--timetable-folder"), path, QStringLiteral("--frames"),
                       frames});
    }
    CliOutcome restaurar(const QStringList& more = {}) const
    {
        return runCli(
            QStringList{QStringLiteral("restaurar"), QStringLiteral("--timetable-folder"), path} +
            more);
    }
};

} // namespace

// Three exportars make two backups; restoring the older one gives its tables back byte for
// byte, and the backup that restore made puts back the tables it replaced.
TEST(Restore, PutsABackupBackAndCanBeUndone)
{
    Folder folder;
    ASSERT_EQ(folder.exportar(QStringLiteral("1")).code, 0);
    const QMap<QString, QByteArray> first = tablesOf(folder.path);
    QThread::sleep(1); // backups of distinct seconds, as a user's would be
    ASSERT_EQ(folder.exportar(QStringLiteral("2")).code, 0);
    QThread::sleep(1);
    ASSERT_EQ(folder.exportar(QStringLiteral("1,2")).code, 0);
    const QMap<QString, QByteArray> last = tablesOf(folder.path);
    ASSERT_NE(first, last);

    const std::vector<Backup> backups = backuprestore::available(folder.path);
    ASSERT_EQ(backups.size(), 2u);
    const CliOutcome listed = folder.restaurar();
    EXPECT_EQ(listed.code, 0) << listed.err;
    // Newest first, each with its date, the run that made it and its tables.
    EXPECT_LT(listed.out.indexOf(backups[0].name), listed.out.indexOf(backups[1].name));
    EXPECT_NE(listed.out.indexOf(QStringLiteral("exportar")), -1);
    EXPECT_NE(listed.out.indexOf(QStringLiteral("PROFT.DBF")), -1);

    const QString secondLast = backups[1].name;
    const CliOutcome restored = folder.restaurar({secondLast});
    ASSERT_EQ(restored.code, 0) << restored.err;
    EXPECT_EQ(tablesOf(folder.path), first);

    // The restore kept what it replaced: restoring that backup goes back.
    const std::vector<Backup> after = backuprestore::available(folder.path);
    ASSERT_FALSE(after.empty());
    EXPECT_EQ(after.front().origin, QStringLiteral("restaurar ") + secondLast);
    EXPECT_NE(restored.out.indexOf(after.front().name), -1) << restored.out;
    const CliOutcome undone = folder.restaurar({after.front().name});
    ASSERT_EQ(undone.code, 0) << undone.err;
    EXPECT_EQ(tablesOf(folder.path), last);
}

// A restore that cannot be done leaves the folder as it was and says why.
TEST(Restore, ARefusedRestoreChangesNothing)
{
    Folder folder;
    ASSERT_EQ(folder.exportar(QStringLiteral("1")).code, 0);
    QThread::sleep(1);
    ASSERT_EQ(folder.exportar(QStringLiteral("2")).code, 0);
    const QString backup = backuprestore::available(folder.path).front().name;
    const QMap<QString, QByteArray> before = snapshot(folder.path);

    const CliOutcome missing = folder.restaurar({QStringLiteral("2000-01-01_00-00-00")});
    EXPECT_EQ(missing.code, 1);
    EXPECT_NE(missing.err.indexOf(QStringLiteral("No hay ninguna copia «2000-01-01_00-00-00»")), -1)
        << missing.err;
    EXPECT_EQ(snapshot(folder.path), before);

    // Oranel (another program) holds a table the restore would replace.
    const QString table = QDir(folder.path).filePath(QStringLiteral("AULAT.DBF"));
    QProcess holder;
    holder.start(QStringLiteral("flock"),
                 {QStringLiteral("--no-fork"), QStringLiteral("--exclusive"), table,
                  QStringLiteral("sleep"), QStringLiteral("60")});
    ASSERT_TRUE(holder.waitForStarted());
    for (int i = 0; i < 100 && !platform::isFileHeld(table); ++i)
        QThread::msleep(50);
    ASSERT_TRUE(platform::isFileHeld(table));
    const CliOutcome held = folder.restaurar({backup});
    EXPECT_EQ(held.code, 1);
    EXPECT_NE(held.err.indexOf(QStringLiteral("en uso por otro programa")), -1) << held.err;
    EXPECT_EQ(snapshot(folder.path), before);
    holder.kill();
    holder.waitForFinished();

    EXPECT_EQ(folder.restaurar({backup}).code, 0);
}
