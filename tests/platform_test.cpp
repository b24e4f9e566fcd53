#include "components/platform/platform.h"
#include "tests/testsupport.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

// Sets or clears an environment variable for one test, and puts it back afterwards.
class ScopedVariable {
public:
    ScopedVariable(const char* name, const char* value)
        : m_name(name), m_had(qEnvironmentVariableIsSet(name)), m_old(qgetenv(name))
    {
        if (value)
            qputenv(name, value);
        else
            qunsetenv(name);
    }
    ~ScopedVariable()
    {
        if (m_had)
            qputenv(m_name, m_old);
        else
            qunsetenv(m_name);
    }

private:
    const char* m_name;
    bool m_had;
    QByteArray m_old;
};

} // namespace

TEST(Platform, TheTimetableFolderCanBeChosenByTheEnvironment)
{
    ScopedVariable chosen("QUELVANA_TIMETABLE_FOLDER", "/tmp/horarios/OTEMP/");
    EXPECT_EQ(platform::timetableFolder(), QStringLiteral("/tmp/horarios/OTEMP"));
}

#ifndef Q_OS_WIN
TEST(Platform, ElsewhereTheTimetableFolderLiesInTheWinePrefix)
{
    ScopedVariable unset("QUELVANA_TIMETABLE_FOLDER", "");
    {
        ScopedVariable prefix("WINEPREFIX", "/opt/oranel-wine");
        EXPECT_EQ(platform::timetableFolder(), QStringLiteral("/opt/oranel-wine/drive_c/OTEMP"));
    }
    ScopedVariable noPrefix("WINEPREFIX", nullptr);
    EXPECT_EQ(platform::timetableFolder(),
              QDir::homePath() + QStringLiteral("/.wine/drive_c/OTEMP"));
}
#endif

TEST(Platform, FindsFoldersWithoutRegardToLetterCase)
{
    QTemporaryDir dir;
    ASSERT_TRUE(QDir(dir.path()).mkpath(QStringLiteral("drive_c/otemp")));
    const QString base = dir.path();
    EXPECT_EQ(platform::resolveLetterCase(base + QStringLiteral("/DRIVE_C/OTEMP")),
              base + QStringLiteral("/drive_c/otemp"));
    EXPECT_EQ(platform::resolveLetterCase(base + QStringLiteral("/drive_c/otemp/")),
              base + QStringLiteral("/drive_c/otemp"));
    EXPECT_EQ(platform::resolveLetterCase(base + QStringLiteral("/Drive_C/NUEVA/Sub")),
              base + QStringLiteral("/drive_c/NUEVA/Sub"));

    ScopedVariable chosen("QUELVANA_TIMETABLE_FOLDER",
                          (base + QStringLiteral("/DRIVE_C/OTEMP")).toUtf8().constData());
    EXPECT_EQ(platform::timetableFolder(), base + QStringLiteral("/drive_c/otemp"));
}

// A large file handed to the disk as it is written, in pieces that do not fall on the pieces the
// disk is given, reads back whole.
TEST(Platform, AFileWrittenBehindReadsBackWhole)
{
    QTemporaryDir dir;
    QFile file(dir.filePath(QStringLiteral("grande.xml")));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    platform::WriteBehind behind(file);
    QByteArray piece(1000003, Qt::Uninitialized);
    QByteArray whole;
    qint64 size = 0;
    for (int n = 0; n < 37; ++n) {
        for (qsizetype i = 0; i < piece.size(); ++i)
            piece[i] = static_cast<char>('a' + (i + n) % 26);
        QString error;
        ASSERT_TRUE(platform::writeAll(file, piece.constData(), piece.size(), &error)) << error;
        size += piece.size();
        behind.written(size);
        whole += piece;
    }
    file.close();
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_TRUE(file.readAll() == whole);
}
