#include "components/platform/inifile.h"

#include "components/platform/engineerror.h"
#include "components/platform/paths.h"
#include "components/platform/systemerror.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QList>
#include <QSaveFile>
#include <optional>

namespace ini {
namespace {

const QByteArray utf8Bom("\xEF\xBB\xBF");

// A line as it stands in the file: its bytes and its own line break ("\r\n", "\n", or none on
// a last line that lacks one). A lone "\r" belongs to the text.
struct Line {
    QByteArray text;
    QByteArray end;
};

QList<Line> splitLines(const QByteArray& bytes)
{
    QList<Line> lines;
    qsizetype start = 0;
    while (start < bytes.size()) {
        const qsizetype newline = bytes.indexOf('\n', start);
        if (newline < 0) {
            lines.append({bytes.mid(start), {}});
            break;
        }
        const qsizetype textEnd =
            newline > start && bytes.at(newline - 1) == '\r' ? newline - 1 : newline;
        lines.append(
            {bytes.mid(start, textEnd - start), bytes.mid(textEnd, newline + 1 - textEnd)});
        start = newline + 1;
    }
    return lines;
}

// Names compare as Windows compares them: blanks around them ignored, ASCII letters without
// regard to case.
bool sameName(const QByteArray& a, const QByteArray& b)
{
    return a.trimmed().toLower() == b.trimmed().toLower();
}

// The name of a section header "[name]"; nothing for any other line.
std::optional<QByteArray> sectionName(const QByteArray& line)
{
    const QByteArray trimmed = line.trimmed();
    const qsizetype close = trimmed.indexOf(']');
    if (!trimmed.startsWith('[') || close < 0)
        return std::nullopt;
    return trimmed.mid(1, close - 1);
}

bool isSection(const QByteArray& line, const QByteArray& name)
{
    const std::optional<QByteArray> found = sectionName(line);
    return found && sameName(*found, name);
}

// The position of the "=" of a "key=value" line; -1 for comments, headers and other lines.
qsizetype equalsSign(const QByteArray& line)
{
    const QByteArray trimmed = line.trimmed();
    if (trimmed.isEmpty() || trimmed.startsWith(';') || trimmed.startsWith('#') ||
        trimmed.startsWith('['))
        return -1;
    return line.indexOf('=');
}

// The line break for a line added before `index`: that of the nearest earlier line that has
// one, CRLF in a file that has none.
QByteArray lineBreakBefore(const QList<Line>& lines, qsizetype index)
{
    for (qsizetype i = index - 1; i >= 0; --i)
        if (!lines.at(i).end.isEmpty())
            return lines.at(i).end;
    return QByteArrayLiteral("\r\n");
}

// Adds `line` after `index` (-1: at the end); the line it follows gets a break if it had none.
void insertAfter(QList<Line>& lines, qsizetype index, const QByteArray& line)
{
    const qsizetype at = index < 0 ? lines.size() : index + 1;
    const QByteArray end = lineBreakBefore(lines, at);
    if (at > 0 && lines[at - 1].end.isEmpty())
        lines[at - 1].end = end;
    lines.insert(at, {line, end});
}

// The first section of that name takes the key, and in it the first line of that key its value;
// a key added goes after the section's last line that is not blank.
void setKey(QList<Line>& lines, const QByteArray& section, const QByteArray& key,
            const QByteArray& value)
{
    qsizetype header = 0;
    while (header < lines.size() && !isSection(lines.at(header).text, section))
        ++header;
    if (header == lines.size()) {
        insertAfter(lines, -1, '[' + section + ']');
        insertAfter(lines, -1, key + '=' + value);
        return;
    }
    qsizetype lastFilled = header;
    for (qsizetype i = header + 1; i < lines.size() && !sectionName(lines.at(i).text); ++i) {
        QByteArray& text = lines[i].text;
        const qsizetype equals = equalsSign(text);
        if (equals >= 0 && sameName(text.left(equals), key)) {
            qsizetype valueStart = equals + 1;
            while (valueStart < text.size() &&
                   (text[valueStart] == ' ' || text[valueStart] == '\t'))
                ++valueStart;
            text = text.left(valueStart) + value;
            return;
        }
        if (!text.trimmed().isEmpty())
            lastFilled = i;
    }
    insertAfter(lines, lastFilled, key + '=' + value);
}

// Why a file could not be opened: the usual causes in plain words, else the system's own.
QString reason(const QString& path, const QFileDevice& file)
{
    const QFileInfo info(path);
    if (info.isDir())
        return QStringLiteral("es una carpeta");
    if (!info.dir().exists())
        return QStringLiteral("su carpeta no existe");
    return systemerror::reason(file.errorString());
}

} // namespace

void writeKey(const QString& path, const QString& section, const QString& key, const QString& value)
{
    QByteArray bytes;
    QFile existing(path);
    if (existing.exists()) {
        if (!existing.open(QIODevice::ReadOnly))
            throw EngineError(QStringLiteral("No se puede leer el archivo «%1»: %2.")
                                  .arg(platform::shown(QFileInfo(path).absoluteFilePath()),
                                       reason(path, existing)));
        bytes = existing.readAll();
        if (existing.error() != QFileDevice::NoError)
            throw EngineError(QStringLiteral("No se pudo leer el archivo «%1»: %2.")
                                  .arg(platform::shown(QFileInfo(path).absoluteFilePath()),
                                       systemerror::reason(existing.errorString())));
        existing.close();
    }

    // The mark stays in front; the lines behind it are read without it.
    const QByteArray bom = bytes.startsWith(utf8Bom) ? utf8Bom : QByteArray();
    QList<Line> lines = splitLines(bytes.mid(bom.size()));
    setKey(lines, section.toUtf8(), key.toUtf8(), value.toUtf8());

    QByteArray result = bom;
    for (const Line& line : lines)
        result += line.text + line.end;

    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(result) != result.size() || !file.commit())
        throw EngineError(
            QStringLiteral("No se puede escribir el archivo «%1»: %2.")
                .arg(platform::shown(QFileInfo(path).absoluteFilePath()), reason(path, file)));
}

} // namespace ini
