#include "fuzz/fuzzchecks.h"

#include "components/dbase/codepage.h"
#include "components/dbase/dbftable.h"
#include "components/platform/engineerror.h"
#include "components/platform/inifile.h"
#include "components/text/texts.h"
#include "components/xml/xmldocument.h"
#include "exchange/yedradocument.h"
#include "to_timetable/codelist.h"
#include "to_timetable/exportarrun.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <algorithm>
#include <cstring>
#include <functional>
#include <limits>
#include <optional>

namespace fuzzchecks {
namespace {

void writeBytes(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(bytes) != bytes.size())
        throw EngineError(QStringLiteral("no se puede escribir %1").arg(path));
}

// A clear error carries a message a person can read.
void noteError(Outcome& outcome, const EngineError& error)
{
    outcome.error = error.message();
    if (outcome.error.trimmed().isEmpty())
        outcome.violations << QStringLiteral("an error without a message");
}

// ---------------------------------------------------------------------------------------------
// Yedra documents.

// The groups the steps read, and how many values each step reads from their records (the
// needs of the exportar run).
const QList<yedra::RecordNeed> recordNeeds = {
    {yedra::Materias, 5},        {yedra::Actividades, 3},
    {yedra::Empleados, 7},       {yedra::Dependencias, 2},
    {yedra::CursosDelCentro, 2}, {yedra::Unidades, 3},
    {yedra::TramosHorarios, 5},  {yedra::JornadasEscolares, 4, false},
};

// What a document says to the steps: for each group, each record's raw values.
using Reading = QList<QList<QStringList>>;

Reading readGroups(const XmlDocument& document, QStringList& violations)
{
    Reading reading;
    for (const yedra::RecordNeed& need : recordNeeds) {
        const QString& group = need.group;
        QList<QStringList> groupValues;
        int number = 0;
        int withTwo = 0;
        for (const yedra::Record& record : yedra::records(document, group)) {
            if (record.number() != ++number || record.group() != group)
                violations << QStringLiteral("%1: record %2 numbered %3")
                                  .arg(group)
                                  .arg(number)
                                  .arg(record.number());
            QStringList values;
            for (int position = 0; position < record.valueCount(); ++position) {
                const QString raw = record.rawValue(position);
                if (record.value(position) != yedra::trimValue(raw))
                    violations << QStringLiteral("%1: record %2, value %3 trims differently")
                                      .arg(group)
                                      .arg(number)
                                      .arg(position);
                values << raw;
            }
            // A position the record lacks is an error, never a value made up for it.
            for (const int missing : {-1, record.valueCount()}) {
                try {
                    record.rawValue(missing);
                    violations << QStringLiteral("%1: record %2 gives a value at %3")
                                      .arg(group)
                                      .arg(number)
                                      .arg(missing);
                } catch (const XmlError&) {
                }
            }
            if (record.valueCount() >= 2)
                ++withTwo;
            groupValues << values;
        }
        const std::vector<yedra::Record> guarded = yedra::guardedRecords(document, group);
        if (static_cast<int>(guarded.size()) != withTwo)
            violations << QStringLiteral("%1: the guarded walk has %2 records, not %3")
                              .arg(group)
                              .arg(guarded.size())
                              .arg(withTwo);
        reading << groupValues;
    }
    return reading;
}

// The short records as the needs define them, from what was read.
int countShort(const Reading& reading)
{
    int count = 0;
    for (qsizetype g = 0; g < recordNeeds.size(); ++g) {
        for (const QStringList& values : reading[g]) {
            const auto found = values.size();
            if (!(recordNeeds[g].guarded && found < 2) && found < recordNeeds[g].needed)
                ++count;
        }
    }
    return count;
}

void checkLoaded(const XmlDocument& document, Outcome& outcome)
{
    QStringList& violations = outcome.violations;
    const Reading reading = readGroups(document, violations);

    const QList<yedra::ShortRecord> shortRecords = yedra::findShortRecords(document, recordNeeds);
    for (const yedra::ShortRecord& r : shortRecords) {
        if (r.found >= r.needed || r.number < 1)
            violations << QStringLiteral("%1: record %2 reported short with %3 of %4 values")
                              .arg(r.group)
                              .arg(r.number)
                              .arg(r.found)
                              .arg(r.needed);
    }
    if (shortRecords.size() != countShort(reading))
        violations << QStringLiteral("%1 short records reported, %2 read")
                          .arg(shortRecords.size())
                          .arg(countShort(reading));
    const QString described = yedra::describeShortRecords(shortRecords);
    if (shortRecords.isEmpty() != described.isEmpty() ||
        (!described.isEmpty() &&
         described.count(QLatin1Char('\n')) + 1 !=
             std::min<qsizetype>(shortRecords.size(), yedra::ListedShortRecords + 1)))
        violations << QStringLiteral("the short records are not described one per line");

    const std::optional<QString> year = yedra::academicYear(document);
    if (year && texts::characterCount(*year) > 4)
        violations << QStringLiteral("an academic year of %1 characters")
                          .arg(texts::characterCount(*year));

    // Every value read is text the XML layer takes back.
    XmlDocument scratch;
    XmlNode holder = scratch.createElement(QStringLiteral("dato"));
    for (const QList<QStringList>& group : reading) {
        for (const QStringList& values : group) {
            for (const QString& value : values) {
                try {
                    holder.setText(value);
                } catch (const XmlError& e) {
                    violations << QStringLiteral("a value read is refused: %1").arg(e.message());
                }
            }
        }
    }

    // A saved document loads again and says the same.
    const QByteArray saved = document.toBytes();
    XmlDocument again;
    if (!again.loadXml(saved)) {
        violations << QStringLiteral("the saved document does not load: %1")
                          .arg(again.parseError().toString());
    } else {
        if (readGroups(again, violations) != reading)
            violations << QStringLiteral("the saved document reads differently");
        if (yedra::academicYear(again) != year)
            violations << QStringLiteral("the saved document has another academic year");
    }
}

// ---------------------------------------------------------------------------------------------
// dBase tables.

// Walks the table from its first row, calling `visit` on each; stops past `limit` rows, so that
// a walk that never ends shows as one row too many.
int walk(DbfTable& table, int limit, const std::function<void()>& visit)
{
    int count = 0;
    for (table.first(); !table.eof(); table.next()) {
        if (++count > limit)
            break;
        visit();
    }
    return count;
}

// Every way of reading every field of the current row; what is blank reads as nothing.
void readRow(const DbfTable& table, const QList<DbfField>& fields, QStringList& violations)
{
    for (const DbfField& f : fields) {
        const bool blank = table.isBlank(f.name);
        const QString text = table.text(f.name);
        if (blank && !text.isEmpty())
            violations << QStringLiteral("blank field %1 reads «%2»").arg(f.name, text);
        // A reading may refuse a value with a message, never a blank one; a blank one reads 0.
        auto readNumber = [&](auto read) {
            try {
                const auto value = read();
                if (blank && value != 0)
                    violations << QStringLiteral("blank field %1 reads %2").arg(f.name).arg(value);
            } catch (const EngineError& e) {
                if (blank || e.message().isEmpty())
                    violations << QStringLiteral("field %1: %2").arg(f.name, e.message());
            }
        };
        readNumber([&] { return table.integer(f.name); });
        readNumber([&] { return table.toFloat(f.name); });
        try {
            const bool value = table.boolean(f.name);
            if ((blank && value) || (f.type == 'L' && !blank && value != (text == "T")))
                violations << QStringLiteral("field %1 reads %2 as «%3»")
                                  .arg(f.name, value ? "true" : "false", text);
        } catch (const EngineError& e) {
            if (blank || e.message().isEmpty())
                violations << QStringLiteral("field %1: %2").arg(f.name, e.message());
        }
    }
}

// The value a walk ordered by a number field sorts the current row by: a number that does not
// read sorts as 0.
double orderKey(const DbfTable& table, const QString& field)
{
    try {
        return table.toFloat(field);
    } catch (const EngineError&) {
        return 0;
    }
}

void readTable(DbfTable& table, QStringList& violations)
{
    // Fields are reached by name: of fields that share a name, the first.
    QList<DbfField> fields;
    for (const DbfField& f : table.fields()) {
        if (table.field(f.name).offset == f.offset)
            fields << f;
    }
    const int rows = table.rowCount();
    if (rows < 0)
        violations << QStringLiteral("%1 rows").arg(rows);

    int walked = walk(table, rows, [&] { readRow(table, fields, violations); });
    if (walked != rows)
        violations << QStringLiteral("the natural walk visits %1 of %2 rows").arg(walked).arg(rows);

    for (const DbfField& f : fields) {
        table.setOrderByField(f.name);
        // An empty name asks for the natural order, whatever field bears it.
        const bool numeric = (f.type == 'N' || f.type == 'F') && !f.name.isEmpty();
        double previous = -std::numeric_limits<double>::infinity();
        bool ordered = true;
        walked = walk(table, rows, [&] {
            const double key = orderKey(table, f.name);
            if (numeric && key < previous)
                ordered = false;
            previous = key;
        });
        if (walked != rows)
            violations << QStringLiteral("the walk by %1 visits %2 of %3 rows")
                              .arg(f.name)
                              .arg(walked)
                              .arg(rows);
        if (!ordered)
            violations << QStringLiteral("the walk by %1 is not in order").arg(f.name);
    }
    table.setOrderByField(QString());

    // A number field is found by what its first row reads, when that is blank or a number.
    static const QRegularExpression plainNumber(QStringLiteral("^-?[0-9]+(\\.[0-9]+)?$"));
    for (const DbfField& f : fields) {
        table.first();
        if (table.eof() || (f.type != 'N' && f.type != 'F'))
            continue;
        const QString value = table.text(f.name);
        if (!value.isEmpty() && !plainNumber.match(value).hasMatch())
            continue;
        if (!table.locate({{f.name, value}}) || table.text(f.name) != value)
            violations << QStringLiteral("locate by %1 %2 does not find the row it was read from")
                              .arg(f.name, value);
    }

    for (const DbfField& f : fields) {
        if (f.type != 'C')
            continue;
        table.first();
        const QString value = table.text(f.name);
        // A row found holds the value it was looked for by.
        if (table.locate({{f.name, value}}) && table.text(f.name) != value)
            violations << QStringLiteral("locate by %1 «%2» lands on «%3»")
                              .arg(f.name, value, table.text(f.name));
        table.setFilter(f.name, value);
        bool matching = true;
        walked = walk(table, rows, [&] { matching = matching && table.text(f.name) == value; });
        if (walked > rows || !matching)
            violations << QStringLiteral("the filter %1 = «%2» walks %3 rows, %4")
                              .arg(f.name, value)
                              .arg(walked)
                              .arg(matching ? "all matching" : "not all matching");
        table.clearFilter();
    }
}

// ---------------------------------------------------------------------------------------------
// Oranel.ini.

const QByteArray utf8Bom("\xEF\xBB\xBF");

struct IniLine {
    QByteArray text;
    QByteArray end; // "\r\n", "\n", or nothing on a last line without a break
};

QList<IniLine> iniLines(const QByteArray& bytes)
{
    QList<IniLine> lines;
    QByteArray current;
    for (const char c : bytes) {
        if (c != '\n') {
            current += c;
            continue;
        }
        if (current.endsWith('\r')) {
            current.chop(1);
            lines.append({current, "\r\n"});
        } else {
            lines.append({current, "\n"});
        }
        current.clear();
    }
    if (!current.isEmpty())
        lines.append({current, {}});
    return lines;
}

// "[name]" read as Windows reads it: the name between the brackets, trimmed, in lower case.
std::optional<QByteArray> iniSection(const QByteArray& text)
{
    const QByteArray t = text.trimmed();
    const qsizetype close = t.indexOf(']');
    if (!t.startsWith('[') || close < 0)
        return std::nullopt;
    return t.mid(1, close - 1).trimmed().toLower();
}

// "key=value": the key trimmed in lower case; nothing for comments, headers and other lines.
std::optional<QByteArray> iniKey(const QByteArray& text)
{
    const QByteArray t = text.trimmed();
    if (t.isEmpty() || t.startsWith(';') || t.startsWith('#') || t.startsWith('['))
        return std::nullopt;
    const qsizetype equals = text.indexOf('=');
    if (equals < 0)
        return std::nullopt;
    return text.left(equals).trimmed().toLower();
}

// The value lines of `key` in the first section named `section`; nothing without the section.
std::optional<QList<QByteArray>> iniValues(const QList<IniLine>& lines, const QByteArray& section,
                                           const QByteArray& key)
{
    qsizetype i = 0;
    while (i < lines.size() && iniSection(lines[i].text) != section)
        ++i;
    if (i == lines.size())
        return std::nullopt;
    QList<QByteArray> values;
    for (++i; i < lines.size() && !iniSection(lines[i].text); ++i) {
        if (iniKey(lines[i].text) == key)
            values << lines[i].text.mid(lines[i].text.indexOf('=') + 1);
    }
    return values;
}

// A key line with its value replaced by "1": what stands before the value is kept, the blanks
// after the "=" included.
QByteArray replacedLine(const QByteArray& text)
{
    qsizetype valueStart = text.indexOf('=') + 1;
    while (valueStart < text.size() && (text[valueStart] == ' ' || text[valueStart] == '\t'))
        ++valueStart;
    return text.left(valueStart) + '1';
}

void checkIniResult(const QByteArray& before, const QByteArray& after, QStringList& violations)
{
    const bool bom = before.startsWith(utf8Bom);
    if (after.startsWith(utf8Bom) != bom)
        violations << QStringLiteral("the byte order mark was not kept");
    const QList<IniLine> in = iniLines(before.mid(bom ? 3 : 0));
    const QList<IniLine> out = iniLines(after.mid(after.startsWith(utf8Bom) ? 3 : 0));

    // Read back, the first section of that name holds the key with the value, and as many lines
    // of the key as it had (one when it had none).
    const auto valuesBefore = iniValues(in, "transformadores", "transformado");
    const auto valuesAfter = iniValues(out, "transformadores", "transformado");
    if (!valuesAfter || valuesAfter->isEmpty()) {
        violations << QStringLiteral("the key is not there read back");
        return;
    }
    QByteArray value = valuesAfter->first();
    while (value.startsWith(' ') || value.startsWith('\t'))
        value.remove(0, 1);
    if (value != "1")
        violations << QStringLiteral("the key reads «%1»").arg(QString::fromLatin1(value));
    const qsizetype had = valuesBefore ? valuesBefore->size() : 0;
    if (valuesAfter->size() != std::max<qsizetype>(had, 1))
        violations << QStringLiteral("the section had the key %1 times and has it %2")
                          .arg(had)
                          .arg(valuesAfter->size());

    // Every line of the input is there, in order, as it was, but for the key's own line; the
    // lines added are the key's and its section's. A last line may gain a break.
    qsizetype i = 0;
    qsizetype j = 0;
    int replaced = 0;
    int added = 0;
    // A last line without a break may gain one; its bytes stay, so a lone "\r" it ends with
    // becomes part of that break when the break is "\n".
    auto sameLine = [&](qsizetype a, qsizetype b) {
        if (in[a].text == out[b].text && in[a].end == out[b].end)
            return true;
        if (a != in.size() - 1 || !in[a].end.isEmpty())
            return false;
        return in[a].text == out[b].text ||
               (in[a].text == out[b].text + '\r' && out[b].end == "\r\n");
    };
    auto sameEnd = [&](qsizetype a, qsizetype b) {
        return in[a].end == out[b].end || (in[a].end.isEmpty() && a == in.size() - 1);
    };
    while (i < in.size() || j < out.size()) {
        if (i < in.size() && j < out.size() && sameLine(i, j)) {
            ++i;
            ++j;
        } else if (i < in.size() && j < out.size() && iniKey(in[i].text) == "transformado" &&
                   out[j].text == replacedLine(in[i].text) && sameEnd(i, j)) {
            ++replaced;
            ++i;
            ++j;
        } else if (j < out.size() &&
                   (out[j].text == "[Transformadores]" || out[j].text == "Transformado=1")) {
            ++added;
            ++j;
        } else {
            violations
                << QStringLiteral("line %1 of the input is not in the output as it was").arg(i + 1);
            return;
        }
    }
    if (replaced > 1 || added > 2 || (replaced > 0 && added > 0))
        violations << QStringLiteral("%1 lines replaced and %2 added").arg(replaced).arg(added);
}

} // namespace

Outcome checkYedraDocument(const QByteArray& bytes, const QString& scratchFolder)
{
    Outcome outcome;
    bool loaded = false;
    bool convertible = false;
    try {
        XmlDocument document;
        loaded = document.loadXml(bytes);
        if (!loaded) {
            outcome.error = document.parseError().toString();
            if (document.parseError().isNull())
                outcome.violations << QStringLiteral("refused without a reason");
        } else {
            checkLoaded(document, outcome);
            convertible = !yedra::records(document, yedra::JornadasEscolares).empty() &&
                          yedra::findShortRecords(document, recordNeeds).isEmpty();
        }
    } catch (const EngineError& e) {
        outcome.violations << QStringLiteral("unexpected error: %1").arg(e.message());
    }

    // The exportar run loads the same bytes from a file and agrees.
    try {
        const QString path = QDir(scratchFolder).filePath(QStringLiteral("documento.xml"));
        writeBytes(path, bytes);
        // The records kept in a store read as they do from the same document kept as a tree.
        XmlDocument tree;
        XmlDocument stored;
        const bool treeLoaded = yedra::load(tree, path, yedra::Detail::GroupLevel);
        if (yedra::load(stored, path, yedra::Detail::Records) != treeLoaded ||
            stored.parseError().toString() != tree.parseError().toString()) {
            outcome.violations << QStringLiteral("the record store loads otherwise than the tree");
        } else if (treeLoaded) {
            QStringList treeViolations;
            if (readGroups(stored, outcome.violations) != readGroups(tree, treeViolations) ||
                yedra::findShortRecords(stored, recordNeeds).size() !=
                    yedra::findShortRecords(tree, recordNeeds).size())
                outcome.violations << QStringLiteral("the record store reads otherwise than "
                                                     "the tree");
        }
        NoInteraction interaction;
        ExportarRun run(scratchFolder, QDir(scratchFolder).filePath(QStringLiteral("NIVELCAN.DBF")),
                        interaction);
        const QString refusal = run.loadDocument(path);
        if (refusal.isEmpty() != convertible)
            outcome.violations << QStringLiteral("the run %1 a document the reader %2")
                                      .arg(refusal.isEmpty() ? "takes" : "refuses",
                                           convertible ? "takes" : "refuses");
    } catch (const EngineError& e) {
        outcome.violations << QStringLiteral("unexpected error in the run: %1").arg(e.message());
    }
    return outcome;
}

Outcome checkDbfTable(const QByteArray& bytes, const QString& scratchFolder)
{
    Outcome outcome;
    writeBytes(QDir(scratchFolder).filePath(QStringLiteral("FUZZ.DBF")), bytes);
    DbfTable table(scratchFolder, QStringLiteral("FUZZ"));
    try {
        table.open(DbfTable::Access::Shared);
    } catch (const EngineError& e) {
        noteError(outcome, e);
        return outcome;
    }
    try {
        // A second holder shares the rows of the first.
        DbfTable other(scratchFolder, QStringLiteral("FUZZ"));
        other.open(DbfTable::Access::Shared);
        if (other.rowCount() != table.rowCount() || other.fields().size() != table.fields().size())
            outcome.violations << QStringLiteral("two holders of the table see it differently");
        readTable(table, outcome.violations);
        other.close();
        table.close();
    } catch (const EngineError& e) {
        outcome.violations << QStringLiteral("unexpected error: %1").arg(e.message());
    }
    return outcome;
}

Outcome checkTextConversions(const QByteArray& bytes, const QString& scratchFolder)
{
    Outcome outcome;
    QStringList& violations = outcome.violations;
    if (bytes.size() < 4)
        return outcome;

    // The clock text of any 32-bit minute value, against the rule worked out in 64 bits.
    qint32 minutes = 0;
    std::memcpy(&minutes, bytes.constData(), sizeof minutes);
    const qint64 m = minutes;
    const qint64 hours = m >= 0 ? m / 60 : -((-m + 59) / 60);
    auto two = [](qint64 n) {
        const QString d = QString::number(n);
        return d.size() == 1 ? QLatin1Char('0') + d : d;
    };
    const QString expectedClock = two(hours) + QLatin1Char(':') + two(m % 60);
    if (texts::clockText(minutes) != expectedClock)
        violations << QStringLiteral("clockText(%1) is «%2», not «%3»")
                          .arg(minutes)
                          .arg(texts::clockText(minutes), expectedClock);
    if (minutes >= 0 && minutes < 6000 && texts::clockMinutes(texts::clockText(minutes)) != minutes)
        violations << QStringLiteral("clockText(%1) does not read back").arg(minutes);

    // The rest as UTF-16 units, whatever they are.
    QString text;
    for (qsizetype i = 4; i + 1 < bytes.size() && text.size() < 200; i += 2)
        text.append(QChar(static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                                static_cast<unsigned char>(bytes[i + 1]) << 8)));

    // Best fit in every code page: held whole, stable, unchanged when already held.
    for (const quint8 driver : {0x01, 0x02, 0x64, 0x08, 0x26, 0xC8, 0xC9, 0x57}) {
        const CodePage& page = CodePage::forLanguageDriver(driver);
        const QString fitted = page.bestFit(text);
        if (!page.holds(fitted))
            violations << QStringLiteral("cp%1: the best fit of «%2» is not held")
                              .arg(page.number())
                              .arg(texts::printable(text));
        if (page.bestFit(fitted) != fitted)
            violations << QStringLiteral("cp%1: the best fit is not stable").arg(page.number());
        if (page.holds(text) && fitted != text)
            violations << QStringLiteral("cp%1: a text held whole is changed").arg(page.number());
        const QByteArray encoded = page.encode(text);
        if (page.decode(encoded.constData(), encoded.size()) != fitted)
            violations << QStringLiteral("cp%1: the bytes do not read back as the best fit")
                              .arg(page.number());
    }

    // A text field: what is read back is the stored form; a change is reported exactly when the
    // code page lacks a character; a locate by the given text finds the row.
    try {
        DbfTable table(scratchFolder, QStringLiteral("TEXTOS"));
        table.deleteFiles();
        table.create({{QStringLiteral("CORTO"), FieldDef::Type::Text, 10},
                      {QStringLiteral("LARGO"), FieldDef::Type::Text, 100}});
        table.open();
        int changes = 0;
        table.setTextChangeObserver([&](const TextChange& change) {
            ++changes;
            if (change.given != text || change.row != 1)
                violations << QStringLiteral("a change reported for another value or row");
        });
        table.append();
        table.setText(QStringLiteral("CORTO"), text);
        table.setText(QStringLiteral("LARGO"), text);
        table.post();
        const bool held = CodePage::windows1252().holds(text);
        if (changes != (held ? 0 : 2))
            violations << QStringLiteral("%1 changes reported for «%2»")
                              .arg(changes)
                              .arg(texts::printable(text));
        for (const auto& [field, width] :
             {std::pair{QStringLiteral("CORTO"), 10}, std::pair{QStringLiteral("LARGO"), 100}}) {
            table.first();
            if (table.text(field) != textAsRead(text, width))
                violations << QStringLiteral("%1 reads «%2», not its stored form «%3»")
                                  .arg(field, texts::printable(table.text(field)),
                                       texts::printable(textAsRead(text, width)));
            if (!table.locate({{field, text}}))
                violations << QStringLiteral("locate by %1 does not find «%2»")
                                  .arg(field, texts::printable(text));
        }
        table.close();
    } catch (const EngineError& e) {
        violations << QStringLiteral("unexpected error: %1").arg(e.message());
    }

    // Codes given for the text and for its stored form never share a stored form.
    for (const auto letterCase : {CodeList::LetterCase::Sensitive, CodeList::LetterCase::Ignored}) {
        CodeList codes(letterCase);
        auto stored = [&](const QString& code) {
            const QString form = textAsRead(code, 10);
            return letterCase == CodeList::LetterCase::Ignored ? form.toCaseFolded() : form;
        };
        try {
            const QString first = codes.give(text);
            const QString second = codes.give(textAsRead(text, 10));
            const QString third = codes.give(text);
            if (stored(first) == stored(second) || stored(first) == stored(third) ||
                stored(second) == stored(third))
                violations << QStringLiteral("codes «%1», «%2», «%3» share a stored form")
                                  .arg(texts::printable(first), texts::printable(second),
                                       texts::printable(third));
        } catch (const EngineError& e) {
            violations << QStringLiteral("unexpected error: %1").arg(e.message());
        }
    }

    // The XML layer takes a text exactly when XML allows every character of it, and what it
    // takes reads back unchanged from the saved document.
    const bool allowed = !texts::firstNonXmlCharacter(text);
    for (const bool asAttribute : {false, true}) {
        XmlDocument document;
        XmlNode root = document.createElement(QStringLiteral("r"));
        document.appendChild(root);
        bool taken = true;
        try {
            if (asAttribute)
                root.setAttribute(QStringLiteral("a"), text);
            else
                root.setText(text);
        } catch (const XmlError&) {
            taken = false;
        }
        if (taken != allowed) {
            violations << QStringLiteral("the XML layer %1 «%2»")
                              .arg(taken ? "takes" : "refuses", texts::printable(text));
            continue;
        }
        XmlDocument again;
        if (!again.loadXml(document.toBytes())) {
            violations << QStringLiteral("a saved document does not load: %1")
                              .arg(again.parseError().toString());
            continue;
        }
        const bool blank = std::all_of(text.begin(), text.end(), [](QChar c) {
            return c == QLatin1Char(' ') || c == QLatin1Char('\t') || c == QLatin1Char('\n') ||
                   c == QLatin1Char('\r');
        });
        const QString back = asAttribute ? again.documentElement().attribute(QStringLiteral("a"))
                                         : again.documentElement().text();
        if (taken && back != (asAttribute || !blank ? text : QString()))
            violations << QStringLiteral("«%1» reads back as «%2»")
                              .arg(texts::printable(text), texts::printable(back));
    }

    // The same bytes as the names of a school: its twin writes the same tables.
    try {
        checkTwins(bytes.mid(4), scratchFolder, violations);
    } catch (const EngineError& e) {
        violations << QStringLiteral("unexpected error: %1").arg(e.message());
    }
    return outcome;
}

Outcome checkIniFile(const QByteArray& bytes, const QString& scratchFolder)
{
    Outcome outcome;
    const QString path = QDir(scratchFolder).filePath(QStringLiteral("Oranel.ini"));
    writeBytes(path, bytes);
    try {
        ini::writeKey(path, QStringLiteral("Transformadores"), QStringLiteral("Transformado"),
                      QStringLiteral("1"));
    } catch (const EngineError& e) {
        outcome.violations << QStringLiteral("unexpected error: %1").arg(e.message());
        return outcome;
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        outcome.violations << QStringLiteral("the file is gone");
        return outcome;
    }
    checkIniResult(bytes, file.readAll(), outcome.violations);
    return outcome;
}

} // namespace fuzzchecks
