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
    // The reason as any message gives it; none for an error only a lock meets.
    const char* spanish;
    // The reason a folder or file lock gives, said of what it locks, when that differs.
    const char* ofLock = nullptr;
};

// The reasons a file operation of the program can meet.
const Known known[] = {
    {ENOSPC, "no queda espacio en el disco"},
#ifdef EDQUOT
    {EDQUOT, "se ha agotado el espacio permitido en el disco (cuota)"},
#endif
    {EROFS, "el disco o la carpeta es de solo lectura"},
    {EACCES, "no hay permiso para hacerlo", "no tiene permiso para leerla"},
    {EPERM, "no hay permiso para hacerlo", "no tiene permiso para leerla"},
    {ENAMETOOLONG, "el nombre del archivo es demasiado largo"},
    {ELOOP, "hay demasiados enlaces simbólicos seguidos (o un bucle de enlaces)"},
    {EXDEV, "no se puede mover a otro disco o dispositivo"},
    {ENOMEM, "no hay memoria suficiente"},
    {ENOENT, "no existe el archivo o la carpeta", "no existe"},
    {ENOTDIR, "una parte de la ruta no es una carpeta", "no es una carpeta"},
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
    {EINVAL, "operación no válida", "su sistema de archivos no admite bloqueos"},
    {ENOLCK, nullptr, "el sistema no admite más bloqueos"},
    {EOPNOTSUPP, nullptr, "su sistema de archivos no admite bloqueos"},
    {ENOSYS, nullptr, "su sistema de archivos no admite bloqueos"},
};

const Known* find(int errorNumber)
{
    for (const Known& k : known) {
        if (k.number == errorNumber)
            return &k;
    }
    return nullptr;
}

QString unknown(int errorNumber)
{
    return QStringLiteral("error del sistema número %1").arg(errorNumber);
}

} // namespace

QString reason(int errorNumber)
{
    const Known* k = find(errorNumber);
    return k && k->spanish ? QString::fromUtf8(k->spanish) : unknown(errorNumber);
}

QString lockReason(int errorNumber)
{
    const Known* k = find(errorNumber);
    if (k && k->ofLock)
        return QString::fromUtf8(k->ofLock);
    return reason(errorNumber);
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
        if (k.spanish && (text.compare(qt_error_string(k.number), Qt::CaseInsensitive) == 0 ||
                          text.compare(QString::fromLocal8Bit(std::strerror(k.number)),
                                       Qt::CaseInsensitive) == 0))
            return QString::fromUtf8(k.spanish);
    }
    // Qt's own words for what it reports without an error number.
    if (text.isEmpty() || text == QLatin1String("Unknown error"))
        return QStringLiteral("error desconocido del sistema");
    if (text == QLatin1String("Destination file exists"))
        return QStringLiteral("ya existe el archivo de destino");
    // "Cannot create /ruta for output: No space left on device": the system's reason, said.
    if (const qsizetype colon = text.lastIndexOf(QLatin1String(": ")); colon > 0) {
        const QString said = reason(text.mid(colon + 2));
        if (said != text.mid(colon + 2).trimmed())
            return said;
    }
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
