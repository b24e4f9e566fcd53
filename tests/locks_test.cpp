// Holds on the timetable tables between this program and others: another program's lock of any
// kind is seen, this program's holds are seen by others (native programs and Oranel under
// Wine), and the objects of this program never refuse each other.
#include "cli/clitool.h"
#include "components/dbase/dbftable.h"
#include "components/platform/platform.h"
#include "components/timetablefolder/folderhold.h"
#include "tests/clisupport.h"
#include "tests/testsupport.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <functional>
#include <gtest/gtest.h>
#include <memory>
#include <stdexcept>

#ifdef Q_OS_LINUX
#include <sys/stat.h>
#include <unistd.h>

namespace {

QString tool(const QString& name)
{
    return QDir(QStringLiteral(QUELVANA_TEST_TOOLS_DIR)).filePath(name);
}

// Another program's lock on a file (tests/tools/lockholder.py), held while the object lives.
class LockHolder {
public:
    LockHolder(const QString& kind, const QString& path, qint64 start = 0, qint64 length = 0)
    {
        m_process.start(QStringLiteral(QUELVANA_PYTHON),
                        {tool(QStringLiteral("lockholder.py")), QStringLiteral("hold"), kind, path,
                         QString::number(start), QString::number(length)});
        QElapsedTimer waited;
        waited.start();
        // It says so once the lock stands, or ends at once when the lock is refused.
        while (!m_output.contains("listo\n") && waited.elapsed() < 20000) {
            if (m_process.state() == QProcess::NotRunning) {
                m_output += m_process.readAllStandardOutput();
                break;
            }
            m_process.waitForReadyRead(200);
            m_output += m_process.readAllStandardOutput();
        }
        m_holding = m_output.contains("listo\n");
    }
    ~LockHolder()
    {
        m_process.closeWriteChannel();
        if (!m_process.waitForFinished(10000)) {
            m_process.kill();
            m_process.waitForFinished();
        }
    }
    LockHolder(const LockHolder&) = delete;
    LockHolder& operator=(const LockHolder&) = delete;

    bool holding() const { return m_holding; }
    std::string output() const { return m_output.toStdString(); }

private:
    QProcess m_process;
    QByteArray m_output;
    bool m_holding = false;
};

// What another process sees of the file: "record=none|read|write flock=free|shared|exclusive",
// the record lock from F_GETLK over the whole file and the BSD lock.
std::string seenFromOutside(const QString& path)
{
    int code = 0;
    const QByteArray out =
        runProgram(QStringLiteral(QUELVANA_PYTHON),
                   {tool(QStringLiteral("lockholder.py")), QStringLiteral("look"), path}, &code);
    return code == 0 ? out.trimmed().toStdString() : "lockholder.py failed";
}

const char* const NothingHeld = "record=none flock=free";
const char* const HeldExclusively = "record=write flock=exclusive";
const char* const HeldShared = "record=read flock=shared";

QString makeTable(const QTemporaryDir& dir, const QString& name)
{
    DbfTable table(dir.path(), name);
    table.create({{QStringLiteral("ABREV"), FieldDef::Type::Text, 10},
                  {QStringLiteral("N"), FieldDef::Type::Integer}});
    table.open();
    table.append();
    table.setText(QStringLiteral("ABREV"), QStringLiteral("GLA"));
    table.post();
    table.close();
    return table.path();
}

// Opens the table as asked; the error's message, or "" when it opened.
QString openError(DbfTable& table, DbfTable::Access access)
{
    try {
        table.open(access);
        return QString();
    } catch (const TableError& error) {
        return error.message();
    }
}

CliOutcome cli(const QStringList& arguments)
{
    return runCli(arguments);
}

// The sample school converted into a timetable folder, with a solved timetable beside it.
struct School {
    QTemporaryDir dir;
    QString folder = dir.filePath(QStringLiteral("OTEMP"));
    QString document = dir.filePath(QStringLiteral("ies-ejemplo.xml"));
    QString result = dir.filePath(QStringLiteral("ResultadoOranelies-ejemplo.xml"));

    School()
    {
        QDir().mkpath(folder);
        writeFile(document, readFile(QStringLiteral(QUELVANA_EXAMPLES_DIR "/ies-ejemplo.xml")));
        const CliOutcome made = exportar();
        if (made.code != 0)
            throw std::runtime_error("the sample school did not convert: " +
                                     made.err.toStdString());
        writeFile(table(QStringLiteral("SOLUC.DBF")),
                  readFile(QStringLiteral(QUELVANA_EXAMPLES_DIR "/SOLUC.DBF")));
    }
    QString table(const QString& name) const { return QDir(folder).filePath(name); }
    CliOutcome exportar() const
    {
        return cli({QStringLiteral("exportar"), document, QStringLiteral("--timetable-folder"),
                    folder, QStringLiteral("--frames"), QStringLiteral("1,2")});
    }
    CliOutcome importar() const
    {
        return cli(
            {QStringLiteral("importar"), document, QStringLiteral("--timetable-folder"), folder});
    }
};

bool waitFor(const std::function<bool()>& condition, int milliseconds)
{
    QElapsedTimer waited;
    waited.start();
    while (!condition()) {
        if (waited.elapsed() > milliseconds)
            return false;
        QThread::msleep(100);
    }
    return true;
}

} // namespace

// Every kind of lock another program can hold, on any range, keeps an exclusive open out; the
// ones that keep readers from writers keep a shared open out too. Once the other program has
// ended, nothing of the refused open is left behind.
TEST(Locks, AnotherProgramsHoldOfAnyKindIsSeen)
{
    const struct {
        const char* kind;
        qint64 start;
        qint64 length;
        bool sharedRefused;
    } cases[] = {
        {"flock-shared", 0, 0, false},
        {"flock-exclusive", 0, 0, true},
        {"posix-read", 0, 1, false},
        {"posix-write", 0xEFFFFFFF, 1, true}, // where database engines lock, far past the data
        {"posix-write", qint64(1) << 40, 16, true},
        {"ofd-read", 0, 0, false},
        {"ofd-write", 0x7FFFFFFF0000, 1, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.kind) + " at " + std::to_string(c.start));
        QTemporaryDir dir;
        const QString path = makeTable(dir, QStringLiteral("SOLUC"));
        {
            LockHolder other(QString::fromLatin1(c.kind), path, c.start, c.length);
            ASSERT_TRUE(other.holding()) << other.output();
            EXPECT_TRUE(platform::isFileHeld(path));

            DbfTable exclusive(path);
            const QString refused = openError(exclusive, DbfTable::Access::Exclusive);
            EXPECT_NE(refused.indexOf(QStringLiteral("SOLUC.DBF")), -1) << refused;
            EXPECT_NE(refused.indexOf(QStringLiteral("en uso por otro programa")), -1) << refused;
            EXPECT_FALSE(exclusive.isOpen());

            DbfTable shared(path);
            const QString sharedError = openError(shared, DbfTable::Access::Shared);
            EXPECT_EQ(!sharedError.isEmpty(), c.sharedRefused) << sharedError;
            if (c.sharedRefused) {
                EXPECT_NE(sharedError.indexOf(QStringLiteral("en uso por otro programa")), -1);
            }
        }
        EXPECT_EQ(seenFromOutside(path), NothingHeld);
        EXPECT_FALSE(platform::isFileHeld(path));
        DbfTable table(path);
        EXPECT_EQ(openError(table, DbfTable::Access::Exclusive), QString());
    }
}

// While the program holds a table, another process sees the hold, as a record lock (what
// F_GETLK reports and Wine checks) and as a BSD lock, and its own lock attempts are refused.
// Objects of the program share one hold of the strongest kind they ask for: closing one, or
// opening and closing another descriptor of the file, never drops what the others still need.
TEST(Locks, OurHoldsAsOtherProgramsSeeThem)
{
    QTemporaryDir dir;
    const QString path = makeTable(dir, QStringLiteral("PROFT"));
    DbfTable a(path);
    DbfTable b(dir.path(), QStringLiteral("proft"));
    DbfTable c(path);
    const auto exclusive = DbfTable::Access::Exclusive;
    const struct {
        const char* what;
        std::function<void()> act;
        const char* seen;
    } steps[] = {
        {"a opens exclusively", [&] { a.open(exclusive); }, HeldExclusively},
        {"b opens shared beside it", [&] { b.open(DbfTable::Access::Shared); }, HeldExclusively},
        {"c opens exclusively too", [&] { c.open(exclusive); }, HeldExclusively},
        {"another descriptor of the file opened and closed",
         [&] {
             readFile(path);
             QFile other(path);
             other.open(QIODevice::ReadWrite);
             other.close();
             EXPECT_TRUE(platform::isFileHeld(path));
         },
         HeldExclusively},
        {"a closes", [&] { a.close(); }, HeldExclusively},
        {"c closes: b still holds it, shared", [&] { c.close(); }, HeldShared},
        {"a opens exclusively again", [&] { a.open(exclusive); }, HeldExclusively},
        {"a closes", [&] { a.close(); }, HeldShared},
        {"b closes", [&] { b.close(); }, NothingHeld},
    };
    for (const auto& step : steps) {
        SCOPED_TRACE(step.what);
        step.act();
        EXPECT_EQ(seenFromOutside(path), step.seen);
        if (std::string(step.seen) == NothingHeld)
            continue;
        // Oranel under Wine locks a byte far past the data; a native program locks a record.
        LockHolder farWrite(QStringLiteral("posix-write"), path, 0xEFFFFFFF, 1);
        EXPECT_FALSE(farWrite.holding());
        LockHolder read(QStringLiteral("ofd-read"), path, 0, 1);
        EXPECT_EQ(read.holding(), std::string(step.seen) == HeldShared) << read.output();
        for (DbfTable* open : {&a, &b, &c}) {
            if (open->isOpen()) {
                EXPECT_EQ(open->rowCount(), 1);
            }
        }
    }
}

// An exclusive open refused because another program holds the table leaves the shared hold of
// the program's other objects as it was.
TEST(Locks, ARefusedExclusiveOpenKeepsTheSharedHold)
{
    const struct {
        const char* kind;
        qint64 start;
        qint64 length;
    } cases[] = {
        {"flock-shared", 0, 0},
        {"posix-read", 100, 10},
        {"ofd-read", 0, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.kind);
        QTemporaryDir dir;
        const QString path = makeTable(dir, QStringLiteral("PROFT"));
        DbfTable shared(path);
        shared.open(DbfTable::Access::Shared);
        {
            LockHolder other(QString::fromLatin1(c.kind), path, c.start, c.length);
            ASSERT_TRUE(other.holding()) << other.output();
            DbfTable exclusive(path);
            EXPECT_NE(openError(exclusive, DbfTable::Access::Exclusive)
                          .indexOf(QStringLiteral("en uso por otro programa")),
                      -1);
        }
        EXPECT_EQ(seenFromOutside(path), HeldShared);
        DbfTable exclusive(path);
        EXPECT_EQ(openError(exclusive, DbfTable::Access::Exclusive), QString());
        EXPECT_EQ(seenFromOutside(path), HeldExclusively);
        exclusive.close();
        shared.close();
        EXPECT_EQ(seenFromOutside(path), NothingHeld);
    }
}

// A file open for reading alone cannot carry a write lock: its exclusive hold is a read lock,
// taken only when no other lock stands, and a BSD lock of its kind.
TEST(Locks, AFileOpenForReadingAloneIsHeldAsFarAsItCanBe)
{
    QTemporaryDir dir;
    const QString path = makeTable(dir, QStringLiteral("SOLUC"));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    QString failure;
    EXPECT_TRUE(platform::tryLockFile(file, platform::LockKind::Exclusive, &failure)) << failure;
    EXPECT_EQ(seenFromOutside(path), "record=read flock=exclusive");
    {
        LockHolder write(QStringLiteral("posix-write"), path, 0xEFFFFFFF, 1);
        EXPECT_FALSE(write.holding());
    }
    platform::unlockFile(file);
    EXPECT_EQ(seenFromOutside(path), NothingHeld);
    LockHolder read(QStringLiteral("posix-read"), path, 5, 1);
    ASSERT_TRUE(read.holding()) << read.output();
    EXPECT_FALSE(platform::tryLockFile(file, platform::LockKind::Exclusive, &failure));
    EXPECT_EQ(failure, QString());
    EXPECT_TRUE(platform::tryLockFile(file, platform::LockKind::Shared, &failure));
}

// Tables another process locks with a record lock, classic or of the open file, far past the
// data or not: the Yedra-to-timetable run leaves the timetable folder as it was and names the
// table; the export run refuses to read the tables. Both go ahead once the lock is gone.
TEST(Locks, RunsRefuseTablesAnotherProcessLocks)
{
    School school;
    const struct {
        const char* kind;
        const char* table;
        qint64 start;
        bool exportar; // else importar
    } cases[] = {
        {"posix-write", "ASIGNOMT.DBF", 0xEFFFFFFF, true},
        {"ofd-write", "PROFT.DBF", qint64(1) << 40, true},
        {"posix-read", "AULAT.DBF", 0, true},
        {"posix-write", "SOLUC.DBF", 0xEFFFFFFF, false},
        {"ofd-write", "PROFT.DBF", qint64(1) << 40, false}, // opened shared
        {"ofd-read", "GRUPOST.DBF", 0, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.exportar ? "exportar, " : "importar, ") + c.kind + " on " +
                     c.table);
        const QMap<QString, QByteArray> before = snapshot(school.folder);
        LockHolder other(QString::fromLatin1(c.kind), school.table(QString::fromLatin1(c.table)),
                         c.start, 1);
        ASSERT_TRUE(other.holding()) << other.output();
        const CliOutcome refused = c.exportar ? school.exportar() : school.importar();
        EXPECT_EQ(refused.code, 1);
        EXPECT_NE(refused.err.indexOf(QString::fromLatin1(c.table)), -1) << refused.err;
        EXPECT_NE(refused.err.indexOf(QStringLiteral("en uso por otro programa")), -1)
            << refused.err;
        EXPECT_EQ(snapshot(school.folder), before);
        EXPECT_FALSE(QFileInfo::exists(school.result));
    }
    const CliOutcome exported = school.exportar();
    EXPECT_EQ(exported.code, 0) << exported.err;
    const CliOutcome imported = school.importar();
    EXPECT_EQ(imported.code, 0) << imported.err;
}

// Only another run holding the folder is reported as such; any other failure names the folder
// and its cause.
TEST(Locks, TheFolderLockTellsAnotherRunFromOtherFailures)
{
    QTemporaryDir dir;
    const QString free = dir.filePath(QStringLiteral("libre"));
    const QString held = dir.filePath(QStringLiteral("ocupada"));
    const QString file = dir.filePath(QStringLiteral("archivo"));
    QDir().mkpath(free);
    QDir().mkpath(held);
    writeFile(file, "no soy una carpeta");
    LockHolder otherRun(QStringLiteral("flock-exclusive"), held);
    ASSERT_TRUE(otherRun.holding()) << otherRun.output();

    using State = platform::FolderLock::State;
    const struct {
        const char* name;
        QString folder;
        State state;
        const char* message;
    } cases[] = {
        {"free", free, State::Acquired, ""},
        {"held by another run", held, State::HeldByAnother, "Ya hay otra conversión en marcha"},
        {"missing", dir.filePath(QStringLiteral("no-existe")), State::Failed, "no existe"},
        {"a file", file, State::Failed, "no es una carpeta"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const platform::FolderLock lock(c.folder);
        EXPECT_EQ(lock.state(), c.state);
        EXPECT_EQ(lock.acquired(), c.state == State::Acquired);
        if (c.state == State::Acquired)
            continue;
        const QString message = folderhold::lockMessage(lock, c.folder);
        EXPECT_NE(message.indexOf(QString::fromUtf8(c.message)), -1) << message;
        EXPECT_NE(message.indexOf(QDir::toNativeSeparators(c.folder)), -1) << message;
        if (c.state == State::Failed) {
            EXPECT_EQ(message.indexOf(QStringLiteral("otra conversión")), -1) << message;
            EXPECT_NE(message.indexOf(lock.failure()), -1);
        }
    }
    // The lock is the run's own: a second one in the same program is refused as another run.
    const platform::FolderLock first(free);
    const platform::FolderLock second(free);
    EXPECT_TRUE(first.acquired());
    EXPECT_EQ(second.state(), State::HeldByAnother);
}

// A user who may write in the timetable folder but not read it: both runs say so, naming the
// folder, and never speak of another run.
TEST(Locks, AFolderTheUserCannotReadIsNamedWithItsCause)
{
    if (geteuid() != 0)
        GTEST_SKIP() << "needs root, to run the program as another user";
    // The program, its data and the folders where that user can reach them, wherever the project
    // itself lies.
    const std::unique_ptr<QTemporaryDir> dir = folderForAnotherUser();
    ASSERT_TRUE(dir) << "no temporary folder that every user can enter";
    const QString bin = dir->filePath(QStringLiteral("bin"));
    ASSERT_TRUE(QDir().mkpath(bin));
    for (const char* file : {"quelvana-cli", "NIVELCAN.DBF"})
        ASSERT_TRUE(QFile::copy(QStringLiteral(QUELVANA_BIN_DIR "/") + QLatin1String(file),
                                QDir(bin).filePath(QLatin1String(file))));
    const QString folder = dir->filePath(QStringLiteral("OTEMP"));
    ASSERT_TRUE(QDir().mkpath(folder));
    ASSERT_EQ(chmod(QFile::encodeName(folder).constData(), 0733), 0); // others: write, search
    const QString document = dir->filePath(QStringLiteral("ies-ejemplo.xml"));
    writeFile(document, readFile(QStringLiteral(QUELVANA_EXAMPLES_DIR "/ies-ejemplo.xml")));
    ASSERT_EQ(chmod(QFile::encodeName(document).constData(), 0644), 0);
    const QString program = QDir(bin).filePath(QStringLiteral("quelvana-cli"));
    const QStringList runs[] = {
        {QStringLiteral("exportar"), document, QStringLiteral("--timetable-folder"), folder,
         QStringLiteral("--frames"), QStringLiteral("1")},
        {QStringLiteral("importar"), document, QStringLiteral("--timetable-folder"), folder},
    };
    for (const QStringList& arguments : runs) {
        SCOPED_TRACE(arguments.first());
        int code = 0;
        QByteArray err;
        // Leak checking needs to trace the process, which another user may not be allowed to.
        runProgram(QStringLiteral("runuser"),
                   QStringList{QStringLiteral("-u"), QStringLiteral("nobody"), QStringLiteral("--"),
                               QStringLiteral("env"),
                               QStringLiteral("ASAN_OPTIONS=") +
                                   qEnvironmentVariable("ASAN_OPTIONS") +
                                   QStringLiteral(":detect_leaks=0"),
                               program} +
                       arguments,
                   &code, &err);
        const QString message = QString::fromUtf8(err);
        EXPECT_EQ(code, 1) << message;
        EXPECT_NE(message.indexOf(QStringLiteral("No se puede usar la carpeta de horarios «%1»")
                                      .arg(QDir::toNativeSeparators(folder))),
                  -1)
            << message;
        EXPECT_NE(message.indexOf(QStringLiteral("no tiene permiso para leerla")), -1) << message;
        EXPECT_EQ(message.indexOf(QStringLiteral("otra conversión")), -1) << message;
        EXPECT_TRUE(QDir(folder).isEmpty());
    }
}

namespace {

// A Windows program that holds a table as Oranel's engine does (tests/tools/winholder.c), run
// under Wine in a prefix of its own. Everything it starts is ended with it, failures included.
class Wine {
public:
    static constexpr const char* Loader = "/usr/lib/wine/wine64";
    static constexpr const char* Server = "/usr/lib/wine/wineserver";

    Wine()
    {
        m_environment = QProcessEnvironment::systemEnvironment();
        m_environment.insert(QStringLiteral("WINEPREFIX"), m_dir.filePath(QStringLiteral("wine")));
        m_environment.insert(QStringLiteral("WINEDEBUG"), QStringLiteral("-all"));
        m_environment.insert(QStringLiteral("WINEDLLOVERRIDES"),
                             QStringLiteral("mscoree=;mshtml=")); // nothing to install
        m_environment.remove(QStringLiteral("DISPLAY"));
        m_environment.insert(QStringLiteral("TMPDIR"), m_dir.path()); // the server's socket
    }
    ~Wine()
    {
        stop();
        run(QString::fromLatin1(Server), {QStringLiteral("-k")}, 30000);
        run(QString::fromLatin1(Server), {QStringLiteral("-w")}, 30000); // before the prefix goes
    }
    Wine(const Wine&) = delete;
    Wine& operator=(const Wine&) = delete;

    // Builds the program and prepares the prefix; "" when done, else what failed.
    QString prepare()
    {
        for (const char* needed : {Loader, Server})
            if (!QFileInfo(QString::fromLatin1(needed)).isExecutable())
                return QStringLiteral("%1 is missing: run scripts/setup.sh")
                    .arg(QString::fromLatin1(needed));
        m_program = m_dir.filePath(QStringLiteral("winholder.exe"));
        QString failure = run(QStringLiteral("x86_64-w64-mingw32-gcc"),
                              {QStringLiteral("-O2"), QStringLiteral("-o"), m_program,
                               tool(QStringLiteral("winholder.c"))},
                              120000);
        if (!failure.isEmpty())
            return QStringLiteral("x86_64-w64-mingw32-gcc: ") + failure;
        failure = run(QString::fromLatin1(Loader),
                      {QStringLiteral("wineboot"), QStringLiteral("-i")}, 300000);
        return failure.isEmpty() ? QString() : QStringLiteral("wineboot: ") + failure;
    }

    // Starts the program on the table; true once its hold stands. False when it ended first
    // (its exit code and output are then in exitCode() and output()).
    bool hold(const QString& table)
    {
        stop();
        const QString ready = m_dir.filePath(QStringLiteral("listo-%1").arg(++m_runs));
        m_holder = std::make_unique<QProcess>();
        m_holder->setProcessEnvironment(m_environment);
        m_holder->setProcessChannelMode(QProcess::MergedChannels);
        m_holder->start(QString::fromLatin1(Loader),
                        {m_program, windowsPath(table), windowsPath(ready)});
        m_holder->closeWriteChannel();
        QElapsedTimer waited;
        waited.start();
        while (!QFileInfo::exists(ready) && waited.elapsed() < 60000) {
            if (m_holder->waitForFinished(100)) {
                m_output = QString::fromLocal8Bit(m_holder->readAll());
                m_exitCode =
                    m_holder->exitStatus() == QProcess::NormalExit ? m_holder->exitCode() : -1;
                m_holder.reset();
                return false;
            }
        }
        return QFileInfo::exists(ready);
    }
    // Ends the program; its hold goes with it.
    void stop()
    {
        if (!m_holder)
            return;
        m_holder->kill();
        m_holder->waitForFinished(10000);
        m_holder.reset();
    }
    int exitCode() const { return m_exitCode; }
    std::string output() const { return m_output.toStdString(); }

private:
    static QString windowsPath(const QString& path)
    {
        return QStringLiteral("Z:") +
               QDir::toNativeSeparators(path).replace(QLatin1Char('/'), QLatin1Char('\\'));
    }
    // Runs to its end within the time given: "" when it ended with 0, else what happened.
    QString run(const QString& program, const QStringList& arguments, int milliseconds)
    {
        QProcess process;
        process.setProcessEnvironment(m_environment);
        process.setProcessChannelMode(QProcess::MergedChannels);
        process.start(program, arguments);
        process.closeWriteChannel();
        if (!process.waitForStarted(10000))
            return QStringLiteral("does not start");
        if (!process.waitForFinished(milliseconds)) {
            process.kill();
            process.waitForFinished();
            return QStringLiteral("did not end in time");
        }
        if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0)
            return QStringLiteral("exit %1: %2")
                .arg(process.exitCode())
                .arg(QString::fromLocal8Bit(process.readAll()));
        return QString();
    }

    QTemporaryDir m_dir;
    QProcessEnvironment m_environment;
    QString m_program;
    std::unique_ptr<QProcess> m_holder;
    int m_runs = 0;
    int m_exitCode = 0;
    QString m_output;
};

// The lines of /proc/locks about the file.
QStringList kernelLocksOn(const QString& path)
{
    struct stat info = {};
    if (stat(QFile::encodeName(path).constData(), &info) != 0)
        return {};
    const QString inode = QStringLiteral(":%1 ").arg(info.st_ino);
    QStringList out;
    for (const QString& line : QString::fromLatin1(readFile(QStringLiteral("/proc/locks")))
                                   .split(QLatin1Char('\n'), Qt::SkipEmptyParts))
        if (line.contains(inode))
            out << line.simplified();
    return out;
}

} // namespace

// Oranel under Wine holding a table (open with no sharing, one byte locked at 0xEFFFFFFF): both
// runs refuse, naming the table, and the timetable folder is left byte for byte as it was. The
// other way round, a Windows program under Wine cannot lock a table this program holds,
// exclusively or shared, and can once the program has let go of it.
TEST(Locks, OranelUnderWine)
{
    Wine wine;
    const QString failure = wine.prepare();
    ASSERT_EQ(failure, QString());
    School school;

    {
        SCOPED_TRACE("exportar while Oranel holds ASIGNOMT");
        const QString asignomt = school.table(QStringLiteral("ASIGNOMT.DBF"));
        ASSERT_TRUE(wine.hold(asignomt)) << wine.exitCode() << " " << wine.output();
        const QStringList seen = kernelLocksOn(asignomt);
        ASSERT_EQ(seen.size(), 1) << seen.join(QLatin1Char('\n'));
        EXPECT_TRUE(seen.first().contains(QStringLiteral("POSIX ADVISORY WRITE")));
        EXPECT_TRUE(seen.first().endsWith(QStringLiteral(" 4026531839 4026531839")))
            << seen.first();

        const QMap<QString, QByteArray> before = snapshot(school.folder);
        const CliOutcome refused = school.exportar();
        EXPECT_EQ(refused.code, 1);
        EXPECT_NE(refused.err.indexOf(QStringLiteral("ASIGNOMT.DBF")), -1) << refused.err;
        EXPECT_NE(refused.err.indexOf(QStringLiteral("en uso por otro programa")), -1);
        EXPECT_EQ(snapshot(school.folder), before);
        wine.stop();
        EXPECT_TRUE(waitFor([&] { return !platform::isFileHeld(asignomt); }, 10000));
    }
    {
        SCOPED_TRACE("importar while Oranel holds SOLUC");
        ASSERT_TRUE(wine.hold(school.table(QStringLiteral("SOLUC.DBF"))))
            << wine.exitCode() << " " << wine.output();
        const QMap<QString, QByteArray> before = snapshot(school.folder);
        const CliOutcome refused = school.importar();
        EXPECT_EQ(refused.code, 1);
        EXPECT_NE(refused.err.indexOf(QStringLiteral("SOLUC.DBF")), -1) << refused.err;
        EXPECT_NE(refused.err.indexOf(QStringLiteral("en uso por otro programa")), -1);
        EXPECT_FALSE(QFileInfo::exists(school.result));
        EXPECT_EQ(snapshot(school.folder), before);
        wine.stop();
        EXPECT_TRUE(waitFor(
            [&] { return !platform::isFileHeld(school.table(QStringLiteral("SOLUC.DBF"))); },
            10000));
    }
    {
        SCOPED_TRACE("Oranel while this program holds the tables");
        DbfTable soluc(school.folder, QStringLiteral("SOLUC"));
        soluc.open(DbfTable::Access::Exclusive);
        DbfTable proft(school.folder, QStringLiteral("PROFT"));
        proft.open(DbfTable::Access::Shared);
        for (const char* table : {"SOLUC.DBF", "PROFT.DBF"}) {
            SCOPED_TRACE(table);
            EXPECT_FALSE(wine.hold(school.table(QString::fromLatin1(table))));
            EXPECT_EQ(wine.exitCode(), 3) << wine.output();
        }
        soluc.close();
        proft.close();
        EXPECT_TRUE(wine.hold(school.table(QStringLiteral("SOLUC.DBF"))))
            << wine.exitCode() << " " << wine.output();
        wine.stop();
    }
}

#endif
