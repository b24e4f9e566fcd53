#include "components/timetablefolder/journal.h"

#include "components/timetablefolder/backups.h"
#include "components/timetablefolder/ownnames.h"

#include <QCryptographicHash>
#include <algorithm>

namespace journal {

namespace {

const QByteArray Header =
    "Quelvana: movimientos de una exportación que pone sus tablas en su sitio.\n";
const QByteArray Sum = "suma=";
const QByteArray End = "fin\n";

QByteArray checksum(const QByteArray& lines)
{
    return QCryptographicHash::hash(lines, QCryptographicHash::Sha256).toHex();
}

std::optional<qint64> wholeNumber(const QByteArray& text, int maxDigits)
{
    if (text.isEmpty() || text.size() > maxDigits || (text.size() > 1 && text.startsWith('0')) ||
        !std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return std::nullopt;
    return text.toLongLong();
}

// "PROFT.DBF 20480 1765357507123": a placed file, its size and its time.
std::optional<Journal::Placed> placedFile(const QByteArray& value)
{
    const QList<QByteArray> parts = value.split(' ');
    if (parts.size() != 3)
        return std::nullopt;
    const QString name = QString::fromLatin1(parts[0]);
    const std::optional<qint64> size = wholeNumber(parts[1], 18);
    const std::optional<qint64> modified = wholeNumber(parts[2], 18);
    if (!ownnames::isTableFile(name) || !size || !modified)
        return std::nullopt;
    return Journal::Placed{name, {*size, *modified}};
}

// Reads one `key=value` line into `journal`; the problem when it is wrong.
QString readLine(const QByteArray& line, Journal& journal, QByteArray& lastKey)
{
    const qsizetype equals = line.indexOf('=');
    if (equals <= 0 ||
        !std::all_of(line.begin(), line.end(), [](char c) { return c >= 0x20 && c < 0x7F; }))
        return QStringLiteral("una línea no es «clave=valor»");
    const QByteArray key = line.left(equals);
    const QByteArray value = line.mid(equals + 1);
    const QString text = QString::fromLatin1(value);
    // The lines come in the order the commit writes them, each of the first three at most once.
    static const QList<QByteArray> order = {"orden", "copia", "secuencia", "guardar", "poner"};
    const qsizetype at = order.indexOf(key);
    if (at < 0)
        return QStringLiteral("la clave «%1» no es de Quelvana").arg(QString::fromLatin1(key));
    const qsizetype last = order.indexOf(lastKey);
    if (at < last || (at == last && at < 3))
        return QStringLiteral("las líneas no están en su orden");
    lastKey = key;
    if (key == "orden") {
        journal.origin = text;
        const QString restaurar = QStringLiteral("restaurar ");
        const bool known =
            text == QLatin1String("exportar") ||
            (text.startsWith(restaurar) && ownnames::isBackupName(text.mid(restaurar.size())));
        return known ? QString() : QStringLiteral("la orden «%1» no es válida").arg(text);
    }
    if (key == "copia") {
        journal.backup = text;
        return ownnames::isBackupName(text)
                   ? QString()
                   : QStringLiteral("«%1» no es el nombre de una copia").arg(text);
    }
    if (key == "secuencia") {
        const std::optional<qint64> sequence = wholeNumber(value, 15);
        if (!sequence || *sequence < 1 || *sequence > backups::LastSequence)
            return QStringLiteral("el número de secuencia «%1» no es válido").arg(text);
        journal.sequence = *sequence;
        return QString();
    }
    if (key == "guardar") {
        if (!ownnames::isTableFile(text) || journal.saved.contains(text))
            return QStringLiteral("«%1» no es una tabla de Quelvana o aparece dos veces").arg(text);
        journal.saved << text;
        return QString();
    }
    const std::optional<Journal::Placed> placed = placedFile(value);
    const bool repeated =
        placed && std::any_of(journal.placed.begin(), journal.placed.end(),
                              [&](const Journal::Placed& p) { return p.name == placed->name; });
    if (!placed || repeated)
        return QStringLiteral("«%1» no es una tabla de Quelvana o aparece dos veces").arg(text);
    journal.placed.push_back(*placed);
    return QString();
}

} // namespace

QByteArray text(const Journal& journal)
{
    QByteArray lines = Header;
    lines += "orden=" + journal.origin.toLatin1() + '\n';
    if (!journal.backup.isEmpty()) {
        lines += "copia=" + journal.backup.toLatin1() + '\n';
        lines += "secuencia=" + QByteArray::number(journal.sequence) + '\n';
    }
    for (const QString& name : journal.saved)
        lines += "guardar=" + name.toLatin1() + '\n';
    for (const Journal::Placed& placed : journal.placed)
        lines += "poner=" + placed.name.toLatin1() + ' ' + QByteArray::number(placed.stamp.size) +
                 ' ' + QByteArray::number(placed.stamp.modified) + '\n';
    return lines + Sum + checksum(lines) + '\n' + End;
}

std::optional<Journal> parse(const QByteArray& text, QString* problem)
{
    const qsizetype sumAt = text.lastIndexOf('\n' + Sum) + 1;
    if (!text.startsWith(Header) || !text.endsWith('\n' + End) || sumAt <= 0) {
        *problem = QStringLiteral("no tiene el principio o el final de un diario de Quelvana");
        return std::nullopt;
    }
    const QByteArray lines = text.left(sumAt);
    if (text.mid(sumAt) != Sum + checksum(lines) + '\n' + End) {
        *problem = QStringLiteral("su suma de comprobación no cuadra: se ha cambiado o dañado");
        return std::nullopt;
    }
    Journal journal;
    QByteArray lastKey;
    const QByteArray body = lines.mid(Header.size());
    for (const QByteArray& line :
         body.isEmpty() ? QList<QByteArray>() : body.chopped(1).split('\n')) {
        *problem = readLine(line, journal, lastKey);
        if (!problem->isEmpty())
            return std::nullopt;
    }
    if (journal.backup.isEmpty() != journal.saved.isEmpty() ||
        journal.backup.isEmpty() != (journal.sequence == 0)) {
        *problem = QStringLiteral("la copia y las tablas que guarda no casan");
        return std::nullopt;
    }
    return journal;
}

} // namespace journal
