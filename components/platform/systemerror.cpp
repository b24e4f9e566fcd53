#include "components/platform/systemerror.h"

#include "components/platform/engineerror.h"

#include <QtGlobal>
#include <cerrno>
#include <cstring>
#include <new>

Q_CORE_EXPORT QString qt_error_string(int errorCode);

namespace systemerror {

namespace {

struct Known {
    int number;
    const char* spanish;
};

// The reasons a file operation of the program can meet.
const Known known[] = {
    {ENOSPC, "no queda espacio en el disco"},
#ifdef EDQUOT
    {EDQUOT, "se ha agotado el espacio permitido en el disco (cuota)"},
#endif
    {EROFS, "el disco o la carpeta es de solo lectura"},
    {EACCES, "no hay permiso para hacerlo"},
    {EPERM, "no hay permiso para hacerlo"},
    {ENAMETOOLONG, "el nombre del archivo es demasiado largo"},
    {ELOOP, "hay demasiados enlaces simbólicos seguidos (o un bucle de enlaces)"},
    {EXDEV, "no se puede mover a otro disco o dispositivo"},
    {ENOMEM, "no hay memoria suficiente"},
    {ENOENT, "no existe el archivo o la carpeta"},
    {ENOTDIR, "una parte de la ruta no es una carpeta"},
    {EISDIR, "es una carpeta"},
    {EBUSY, "lo está usando otro programa"},
    {ETXTBSY, "lo está usando otro programa"},
    {EIO, "error de lectura o escritura en el disco"},
    {EMFILE, "hay demasiados archivos abiertos"},
    {ENFILE, "hay demasiados archivos abiertos en el sistema"},
    {EEXIST, "ya existe"},
    {ENOTEMPTY, "la carpeta no está vacía"},
    {EFBIG, "el archivo es demasiado grande"},
    {EAGAIN, "lo tiene bloqueado otro programa"},
    {EINVAL, "operación no válida"},
};

QString spanish(const Known& k)
{
    return QString::fromUtf8(k.spanish);
}

} // namespace

QString reason(int errorNumber)
{
    for (const Known& k : known) {
        if (k.number == errorNumber)
            return spanish(k);
    }
    return QStringLiteral("error del sistema número %1").arg(errorNumber);
}

QString reason(const std::error_code& code)
{
    const std::error_condition condition = code.default_error_condition();
    if (condition.category() == std::generic_category())
        return reason(condition.value());
    return reason(QString::fromLocal8Bit(code.message()));
}

QString reason(const QString& systemText)
{
    const QString text = systemText.trimmed();
    for (const Known& k : known) {
        if (text.compare(qt_error_string(k.number), Qt::CaseInsensitive) == 0 ||
            text.compare(QString::fromLocal8Bit(std::strerror(k.number)), Qt::CaseInsensitive) == 0)
            return spanish(k);
    }
    // Qt's own words for what it reports without an error number.
    if (text.isEmpty() || text == QLatin1String("Unknown error"))
        return QStringLiteral("error desconocido del sistema");
    if (text.startsWith(QLatin1String("No file engine available")) ||
        text.startsWith(QLatin1String("Unable to")))
        return QStringLiteral("el sistema no ha podido hacerlo (%1)").arg(text);
    return text;
}

QString describe(const std::exception& error)
{
    if (const auto* engine = dynamic_cast<const EngineError*>(&error))
        return engine->message();
    if (dynamic_cast<const std::bad_alloc*>(&error))
        return QStringLiteral("No hay memoria suficiente para terminar la conversión: cierre "
                              "otros programas y vuelva a empezar.");
    if (const auto* system = dynamic_cast<const std::system_error*>(&error))
        return QStringLiteral("Error del sistema: %1.").arg(reason(system->code()));
    return QStringLiteral("Error inesperado: %1").arg(reason(QString::fromLocal8Bit(error.what())));
}

} // namespace systemerror
