#include "components/platform/engineerror.h"
#include "components/platform/systemerror.h"
#include "tests/testsupport.h"

#include <QFile>
#include <QTemporaryDir>
#include <cerrno>
#include <cstring>
#include <gtest/gtest.h>
#include <new>
#include <stdexcept>

// The operating system's reasons reach the user in Spanish, however they arrive: an error
// number, std::error_code, or the English text Qt and the C library give.
TEST(SystemError, ReasonsAreSaidInSpanish)
{
    const struct {
        int number;
        const char* spanish;
    } cases[] = {
        {ENOSPC, "no queda espacio en el disco"},
        {EACCES, "no hay permiso"},
        {EPERM, "no hay permiso"},
        {EROFS, "solo lectura"},
        {ENAMETOOLONG, "nombre del archivo es demasiado largo"},
        {ELOOP, "enlaces"},
        {EXDEV, "otro disco"},
        {ENOMEM, "memoria"},
        {ENOENT, "no existe"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.spanish);
        const QString expected = QString::fromUtf8(c.spanish);
        EXPECT_TRUE(systemerror::reason(c.number).contains(expected));
        EXPECT_TRUE(systemerror::reason(std::error_code(c.number, std::generic_category()))
                        .contains(expected));
        EXPECT_TRUE(
            systemerror::reason(QString::fromLocal8Bit(std::strerror(c.number))).contains(expected))
            << std::strerror(c.number);
    }
    // A real file operation's own text.
    QTemporaryDir dir;
    QFile missing(dir.filePath(QStringLiteral("no/existe.txt")));
    EXPECT_FALSE(missing.open(QIODevice::ReadOnly));
    EXPECT_EQ(systemerror::reason(missing.errorString()), systemerror::reason(ENOENT));
    // Qt's own words, and a reason Qt puts after what it was doing.
    const struct {
        const char* english;
        const char* spanish;
    } qtTexts[] = {
        {"Unknown error", "error desconocido del sistema"},
        {"Destination file exists", "ya existe el archivo de destino"},
        {"Cannot create /tmp/x/PROFT.DBF for output: No space left on device",
         "no queda espacio en el disco"},
    };
    for (const auto& q : qtTexts)
        EXPECT_EQ(systemerror::reason(QString::fromUtf8(q.english)), QString::fromUtf8(q.spanish));
    // A text that is not one of them is kept.
    EXPECT_EQ(systemerror::reason(QStringLiteral("la tabla está dañada")),
              QStringLiteral("la tabla está dañada"));
}

TEST(SystemError, AnErrorThatEndsARunIsDescribedInSpanish)
{
    EXPECT_EQ(systemerror::describe(EngineError(QStringLiteral("Tabla «X»: no existe"))),
              QStringLiteral("Tabla «X»: no existe"));
    const QString memory = systemerror::describe(std::bad_alloc());
    EXPECT_TRUE(memory.startsWith(QStringLiteral("No hay memoria suficiente")));
    EXPECT_FALSE(memory.contains(QStringLiteral("bad_alloc")));
    const QString system = systemerror::describe(
        std::system_error(std::make_error_code(std::errc::cross_device_link)));
    EXPECT_TRUE(system.contains(QStringLiteral("otro disco"))) << system.toStdString();
    EXPECT_FALSE(system.contains(QStringLiteral("cross-device"), Qt::CaseInsensitive));
}

// A lock says its reason of what it locks where the words differ (the folder the user cannot
// read, a file system without locks), and otherwise as any message does.
TEST(SystemError, ALockSaysItsReasonOfWhatItLocks)
{
    const struct {
        int number;
        const char* spanish;
    } cases[] = {
        {ENOENT, "no existe"},
        {ENOTDIR, "no es una carpeta"},
        {EACCES, "no tiene permiso para leerla"},
        {EPERM, "no tiene permiso para leerla"},
        {EINVAL, "su sistema de archivos no admite bloqueos"},
        {EOPNOTSUPP, "su sistema de archivos no admite bloqueos"},
        {ENOSYS, "su sistema de archivos no admite bloqueos"},
        {ENOLCK, "el sistema no admite más bloqueos"},
        {ENOSPC, "no queda espacio en el disco"},
        {EMFILE, "hay demasiados archivos abiertos"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.spanish);
        EXPECT_EQ(systemerror::lockReason(c.number), QString::fromUtf8(c.spanish));
    }
    // The reasons only a lock meets are not given to other messages.
    EXPECT_EQ(systemerror::reason(ENOLCK),
              QStringLiteral("error del sistema número %1").arg(ENOLCK));
    EXPECT_EQ(systemerror::lockReason(-1), QStringLiteral("error del sistema número -1"));
}
