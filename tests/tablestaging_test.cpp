#include "components/dbase/dbftable.h"
#include "components/dbase/mdxindex.h"
#include "components/platform/engineerror.h"
#include "components/platform/platform.h"
#include "components/platform/systemerror.h"
#include "components/timetablefolder/backups.h"
#include "components/timetablefolder/tablestaging.h"
#include "tests/testsupport.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <gtest/gtest.h>

namespace {

// A timetable folder as Oranel leaves it: old tables in mixed spellings, and files of its own.
struct Folder {
    QTemporaryDir dir;
    Folder()
    {
        writeFile(path(QStringLiteral("PROFT.DBF")), "profesores viejos");
        writeFile(path(QStringLiteral("proft.mdx")), "índice viejo");
        writeFile(path(QStringLiteral("AULAT.DBF")), "aulas viejas");
        writeFile(path(QStringLiteral("SOLUC.DBF")), "horario de Oranel");
        writeFile(path(QStringLiteral("PERIODOS.MDX")), "se queda");
    }
    QString path(const QString& name) const { return dir.filePath(name); }
};

// Stages new PROFT, AULAT and DIASHORAST2 (with its index) tables.
void stageTables(TableStaging& staging)
{
    staging.setFileCheck([](const QString&) { return QString(); }); // the files are not tables
    const QDir work(staging.folder());
    for (const char* name : {"PROFT.DBF", "PROFT.MDX", "AULAT.DBF", "AULAT.MDX", "PERIODOS.DBF",
                             "DIASHORAST2.DBF", "DIASHORAST2.MDX"})
        staging.replaces(QString::fromLatin1(name));
    writeFile(work.filePath(QStringLiteral("PROFT.DBF")), "profesores nuevos");
    writeFile(work.filePath(QStringLiteral("AULAT.DBF")), "aulas nuevas");
    writeFile(work.filePath(QStringLiteral("PERIODOS.DBF")), "periodos nuevos");
    writeFile(work.filePath(QStringLiteral("DIASHORAST2.DBF")), "tramos");
    writeFile(work.filePath(QStringLiteral("DIASHORAST2.MDX")), "índice de tramos");
}

// Moves files as the commit does, but the move numbered `failing` (from 1) fails with `reason`;
// the file it was moving is kept in `failedFile`.
TableStaging::FileMover failingMover(int failing, const QString& reason,
                                     QString* failedFile = nullptr)
{
    return [moves = 0, failing, reason, failedFile](const QString& from, const QString& to,
                                                    QString* error) mutable {
        if (++moves == failing) {
            if (failedFile)
                *failedFile = QFileInfo(from).fileName();
            *error = reason;
            return false;
        }
        return QDir().rename(from, to);
    };
}

} // namespace

TEST(TableStaging, CommitMovesTheNewTablesInAndTheOldOnesToABackup)
{
    Folder folder;
    TableStaging staging(folder.dir.path());
    EXPECT_TRUE(QFileInfo(staging.folder()).isDir());
    stageTables(staging);
    const QString backup = staging.commit(QDateTime(QDate(2026, 12, 10), QTime(9, 5, 7)));

    QMap<QString, QByteArray> after = snapshot(folder.dir.path());
    // The backup folders are marked as the program's own; the backup's marker lists its files.
    EXPECT_TRUE(after.take(QStringLiteral("quelvana-copias/.quelvana")).startsWith("Quelvana"));
    const QByteArray marker =
        after.take(QStringLiteral("quelvana-copias/2026-12-10_09-05-07/.quelvana"));
    for (const char* line : {"secuencia=1\n", "fecha=2026-12-10T09:05:07\n", "archivo=PROFT.DBF\n",
                             "archivo=proft.mdx\n", "archivo=AULAT.DBF\n"})
        EXPECT_NE(marker.indexOf(line), -1) << line;
    const QMap<QString, QByteArray> expected = {
        {QStringLiteral("PROFT.DBF"), "profesores nuevos"},
        {QStringLiteral("AULAT.DBF"), "aulas nuevas"},
        {QStringLiteral("PERIODOS.DBF"), "periodos nuevos"},
        {QStringLiteral("DIASHORAST2.DBF"), "tramos"},
        {QStringLiteral("DIASHORAST2.MDX"), "índice de tramos"},
        {QStringLiteral("SOLUC.DBF"), "horario de Oranel"},
        {QStringLiteral("PERIODOS.MDX"), "se queda"},
        {QStringLiteral("quelvana-copias/"), ""},
        {QStringLiteral("quelvana-copias/2026-12-10_09-05-07/"), ""},
        {QStringLiteral("quelvana-copias/2026-12-10_09-05-07/PROFT.DBF"), "profesores viejos"},
        {QStringLiteral("quelvana-copias/2026-12-10_09-05-07/proft.mdx"), "índice viejo"},
        {QStringLiteral("quelvana-copias/2026-12-10_09-05-07/AULAT.DBF"), "aulas viejas"},
    };
    EXPECT_EQ(after, expected);
    EXPECT_EQ(backup, folder.path(QStringLiteral("quelvana-copias/2026-12-10_09-05-07")));
}

// Every move of the commit is made to fail in turn: the folder stays byte for byte as it was,
// and the message names the file.
TEST(TableStaging, AFailedMoveLeavesTheFolderAsItWas)
{
    for (int failing = 1; failing <= 8; ++failing) { // 3 old files out, 5 new ones in
        SCOPED_TRACE(failing);
        Folder folder;
        const QMap<QString, QByteArray> before = snapshot(folder.dir.path());
        {
            TableStaging staging(folder.dir.path(),
                                 failingMover(failing, QStringLiteral("disco lleno")));
            stageTables(staging);
            try {
                staging.commit();
                ADD_FAILURE() << "the commit must fail";
            } catch (const EngineError& error) {
                EXPECT_NE(error.message().indexOf(QStringLiteral("disco lleno")), -1);
                EXPECT_NE(error.message().indexOf(QStringLiteral("como estaba")), -1);
                EXPECT_TRUE(error.message().contains(QStringLiteral(".DBF")) ||
                            error.message().contains(QStringLiteral(".MDX")) ||
                            error.message().contains(QStringLiteral(".mdx")));
            }
        }
        EXPECT_EQ(snapshot(folder.dir.path()), before);
    }
}

TEST(TableStaging, ARunThatEndsEarlyLeavesNothingBehind)
{
    Folder folder;
    const QMap<QString, QByteArray> before = snapshot(folder.dir.path());
    {
        TableStaging staging(folder.dir.path());
        stageTables(staging);
    }
    EXPECT_EQ(snapshot(folder.dir.path()), before);

    // A staging folder left by a run killed before its commit is cleared by the next one.
    QDir(folder.dir.path()).mkpath(QStringLiteral("quelvana-preparando"));
    writeFile(folder.path(QStringLiteral("quelvana-preparando/.quelvana")),
              "Quelvana: tablas en preparación de una exportación.\n");
    writeFile(folder.path(QStringLiteral("quelvana-preparando/PROFT.DBF")), "a medias");
    {
        TableStaging staging(folder.dir.path());
        EXPECT_EQ(QDir(staging.folder())
                      .entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
                  QStringList{QStringLiteral(".quelvana")});
    }
    EXPECT_EQ(snapshot(folder.dir.path()), before);

    EXPECT_THROW(TableStaging(folder.path(QStringLiteral("no-existe"))), EngineError);
}

TEST(TableStaging, KeepsTheNewestBackupsOnly)
{
    Folder folder;
    for (int run = 0; run < backups::Kept + 2; ++run) {
        TableStaging staging(folder.dir.path());
        staging.setFileCheck([](const QString&) { return QString(); });
        staging.replaces(QStringLiteral("AULAT.DBF"));
        writeFile(QDir(staging.folder()).filePath(QStringLiteral("AULAT.DBF")),
                  QByteArray::number(run));
        staging.commit(QDateTime(QDate(2026, 12, 1 + run), QTime(10, 0)));
    }
    const QStringList kept = QDir(folder.path(QStringLiteral("quelvana-copias")))
                                 .entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name);
    EXPECT_EQ(kept.size(), backups::Kept);
    EXPECT_EQ(kept.first(), QStringLiteral("2026-12-03_10-00-00"));
    EXPECT_EQ(readFile(folder.path(QStringLiteral("AULAT.DBF"))), QByteArray::number(6));
    EXPECT_EQ(
        readFile(folder.path(QStringLiteral("quelvana-copias/2026-12-07_10-00-00/AULAT.DBF"))),
        QByteArray::number(5));
}

// Every way the commit can fail: the folder stays byte for byte as it was, and the message
// names the file and says why.
TEST(TableStaging, EveryFailureOfTheCommitLeavesTheFolderAsItWas)
{
    const struct {
        const char* name;
        int failingMove; // 0: no move fails
        std::errc error;
        bool heldByAnotherProgram;
        const char* reason;
    } cases[] = {
        {"a table another program holds", 0, std::errc(), true, "en uso por otro programa"},
        {"disk full", 5, std::errc::no_space_on_device, false, "no queda espacio en el disco"},
        {"read-only folder", 1, std::errc::read_only_file_system, false, "es de solo lectura"},
        {"a move that fails halfway", 4, std::errc::permission_denied, false, "no hay permiso"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Folder folder;
        const QMap<QString, QByteArray> before = snapshot(folder.dir.path());
        QProcess holder;
        if (c.heldByAnotherProgram) {
            holder.start(QStringLiteral("flock"),
                         {QStringLiteral("--no-fork"), QStringLiteral("--shared"),
                          folder.path(QStringLiteral("AULAT.DBF")), QStringLiteral("sleep"),
                          QStringLiteral("60")});
            ASSERT_TRUE(holder.waitForStarted());
            QFile probe(folder.path(QStringLiteral("AULAT.DBF")));
            probe.open(QIODevice::ReadOnly);
            for (int i = 0; i < 100 && platform::tryLockFile(probe, platform::LockKind::Exclusive);
                 ++i) {
                platform::unlockFile(probe);
                QThread::msleep(50);
            }
        }
        QString failedFile;
        {
            TableStaging staging(folder.dir.path(),
                                 failingMover(c.failingMove,
                                              systemerror::reason(std::make_error_code(c.error)),
                                              &failedFile));
            stageTables(staging);
            try {
                staging.commit();
                ADD_FAILURE() << "the commit must fail";
            } catch (const EngineError& error) {
                EXPECT_NE(error.message().indexOf(QString::fromUtf8(c.reason)), -1)
                    << error.message().toStdString();
                const QString named =
                    c.heldByAnotherProgram ? QStringLiteral("AULAT.DBF") : failedFile;
                EXPECT_NE(error.message().indexOf(named), -1) << error.message().toStdString();
                EXPECT_NE(error.message().indexOf(QStringLiteral("como estaba")), -1);
            }
        }
        EXPECT_EQ(snapshot(folder.dir.path()), before);
        holder.kill();
        holder.waitForFinished();
    }
}

// Backups are ordered by the sequence written in each, never by name or clock: the newest five
// of the program's own are kept, and nothing else in the backup folder is touched.
TEST(TableStaging, PruningKeepsTheNewestBackupsWhateverTheClockSays)
{
    const QDateTime noon(QDate(2026, 12, 10), QTime(12, 0));
    const struct {
        const char* name;
        std::vector<QDateTime> runs;
    } cases[] = {
        {"the clock goes back an hour at every run",
         {noon, noon.addSecs(-3600), noon.addSecs(-7200), noon.addSecs(-10800),
          noon.addSecs(-14400), noon.addSecs(-18000), noon.addSecs(-21600)}},
        {"thirteen runs in one second", std::vector<QDateTime>(13, noon)},
        {"a clock reset to 1980 after years of runs",
         {noon, noon.addDays(1), noon.addDays(2), QDateTime(QDate(1980, 1, 1), QTime(0, 0)),
          QDateTime(QDate(1980, 1, 1), QTime(0, 0, 5))}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Folder folder;
        QTemporaryDir outside;
        writeFile(QDir(outside.path()).filePath(QStringLiteral("ajeno.txt")), "de otro");
        // What the user keeps in the backup folder, and a link a hostile hand put there.
        const QString copies = folder.path(QStringLiteral("quelvana-copias"));
        for (int run = 0; run < int(c.runs.size()); ++run) {
            TableStaging staging(folder.dir.path());
            staging.setFileCheck([](const QString&) { return QString(); });
            staging.replaces(QStringLiteral("AULAT.DBF"));
            writeFile(QDir(staging.folder()).filePath(QStringLiteral("AULAT.DBF")),
                      "run " + QByteArray::number(run));
            staging.commit(c.runs[size_t(run)]);
            if (run == 0) {
                QDir().mkpath(QDir(copies).filePath(QStringLiteral("0000-mis-notas")));
                writeFile(QDir(copies).filePath(QStringLiteral("0000-mis-notas/nota.txt")), "mía");
                QFile::link(outside.path(), QDir(copies).filePath(QStringLiteral("0001-enlace")));
            }
        }
        // The kept backups hold the tables that the last five runs replaced.
        QStringList kept;
        QStringList names;
        for (const QString& name : QDir(copies).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
            const QString table = QDir(copies).filePath(name + QStringLiteral("/AULAT.DBF"));
            if (QFileInfo(table).isFile() && !QFileInfo(QDir(copies).filePath(name)).isSymLink()) {
                kept << QString::fromUtf8(readFile(table));
                names << name;
            }
        }
        kept.sort();
        QStringList expected;
        const int runs = int(c.runs.size());
        for (int run = runs - backups::Kept; run < runs; ++run)
            expected << (run == 0 ? QStringLiteral("aulas viejas")
                                  : QStringLiteral("run %1").arg(run - 1));
        expected.sort();
        EXPECT_EQ(kept, expected);
        EXPECT_EQ(readFile(folder.path(QStringLiteral("AULAT.DBF"))),
                  "run " + QByteArray::number(runs - 1));
        // Same-second names are distinct and sort in the order of the runs.
        QStringList sorted = names;
        sorted.sort();
        if (c.runs.front() == c.runs.back()) {
            EXPECT_EQ(names, sorted);
        }
        EXPECT_EQ(readFile(QDir(copies).filePath(QStringLiteral("0000-mis-notas/nota.txt"))),
                  "mía");
        EXPECT_TRUE(QFileInfo(QDir(copies).filePath(QStringLiteral("0001-enlace"))).isSymLink());
        EXPECT_EQ(readFile(QDir(outside.path()).filePath(QStringLiteral("ajeno.txt"))), "de otro");
    }
}

// A staged file cut short (a full disk the writer did not notice) stops the commit before
// anything moves.
TEST(TableStaging, AStagedTableCutShortIsNeverPutInPlace)
{
    Folder folder;
    const QMap<QString, QByteArray> before = snapshot(folder.dir.path());
    TableStaging staging(folder.dir.path());
    staging.replaces(QStringLiteral("AULAT.DBF"));
    staging.replaces(QStringLiteral("AULAT.MDX"));
    const QString table = QDir(staging.folder()).filePath(QStringLiteral("AULAT.DBF"));
    {
        DbfTable aulat(table);
        aulat.create({{QStringLiteral("ABREV"), FieldDef::Type::Text, 10},
                      {QStringLiteral("ORDEN"), FieldDef::Type::Integer}},
                     QStringLiteral("ORDEN"));
        aulat.open();
        for (int row = 0; row < 20; ++row) {
            aulat.append();
            aulat.setInteger(QStringLiteral("ORDEN"), row);
            aulat.post();
        }
        aulat.close();
    }
    const QString index = QDir(staging.folder()).filePath(QStringLiteral("AULAT.MDX"));
    EXPECT_EQ(DbfTable::problemWithFile(table), QString());
    EXPECT_EQ(mdx::problemWithFile(index), QString());
    const struct {
        const char* name;
        QString file;
        qint64 size;
    } cuts[] = {
        {"table cut in its rows", table, QFileInfo(table).size() - 30},
        {"table cut in its header", table, 40},
        {"empty index", index, 0},
        {"index cut", index, QFileInfo(index).size() - 512},
    };
    for (const auto& cut : cuts) {
        SCOPED_TRACE(cut.name);
        const QByteArray whole = readFile(cut.file);
        QFile(cut.file).resize(cut.size);
        try {
            staging.commit();
            ADD_FAILURE() << "the commit must refuse";
        } catch (const EngineError& error) {
            EXPECT_NE(error.message().indexOf(QStringLiteral("no se ha escrito entera")), -1)
                << error.message().toStdString();
            EXPECT_NE(error.message().indexOf(QFileInfo(cut.file).fileName()), -1);
        }
        writeFile(cut.file, whole);
        QMap<QString, QByteArray> now = snapshot(folder.dir.path());
        for (auto it = now.begin(); it != now.end();)
            it = it.key().startsWith(QStringLiteral("quelvana-preparando")) ? now.erase(it)
                                                                            : std::next(it);
        EXPECT_EQ(now, before);
    }
}
