#pragma once

#include <QString>
#include <exception>
#include <system_error>

// The operating system's reasons in the user's language. Qt and the C library give them in
// English ("No space left on device"); every message the program shows says them in Spanish.
namespace systemerror {

// The reason for an error number of the C library (errno): "no queda espacio en el disco".
QString reason(int errorNumber);
QString reason(const std::error_code& code);
// The reason a folder or file lock could not be taken, said of what it locks where the words
// differ ("no existe", "no tiene permiso para leerla", "su sistema de archivos no admite
// bloqueos"); otherwise the reason above.
QString lockReason(int errorNumber);
// An operating system's own text, as QFile::errorString() or strerror() give it, in Spanish
// when it is one of the reasons a file operation meets; any other text is kept as it is.
QString reason(const QString& systemText);
// The text of any error that ends a run: an engine error's own message, "no hay memoria
// suficiente" for a failed allocation, any other translated as above.
QString describe(const std::exception& error);

} // namespace systemerror
