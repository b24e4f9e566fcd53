// A small school made from the input, and its twin with the a, l and s of its names written as
// ă, ł and ș (Windows 1252 lacks them, and a table stores the plain letters): the exportar steps
// must write the same tables, byte for byte, and report the same but for the values stored
// otherwise.

#include "components/dbase/dbftable.h"
#include "components/platform/engineerror.h"
#include "components/text/texts.h"
#include "components/timetablefolder/tablelayouts.h"
#include "fuzz/fuzzchecks.h"
#include "to_timetable/exportarrun.h"

#include <QDir>
#include <QFile>
#include <QMap>

namespace fuzzchecks {
namespace {

// The letters names are made of: those the twin writes otherwise, blanks, letters of both cases,
// letters Windows 1252 holds and lacks, and one it has no form for ('?').
const char16_t Alphabet[] = u"aAlLsS eE1\u00F1\u0141\u0103\u0218\u4E2D-";

// The names the input spells: a byte below 0xE0 is a letter, one from 0xE0 ends a name, one from
// 0xF0 repeats the name so far nine times (past the widths of 10 and 80).
QStringList namesOf(const QByteArray& bytes)
{
    QStringList names{QString()};
    for (const char byte : bytes) {
        const auto b = static_cast<unsigned char>(byte);
        QString& name = names.last();
        if (b >= 0xF0 && name.size() < 40)
            name = name.repeated(9);
        else if (b >= 0xE0 && names.size() < 12)
            names << QString();
        else if (b < 0xE0 && name.size() < 120)
            name += QChar(Alphabet[b % 16]);
    }
    return names;
}

// A name as the document writes it, the twin's letters as character references.
QString written(const QString& name, bool twin)
{
    QString out;
    for (const QChar c : name) {
        const char16_t* reference = nullptr;
        switch (twin ? c.unicode() : 0) {
        case u'a':
            reference = u"&#259;";
            break;
        case u'A':
            reference = u"&#258;";
            break;
        case u'l':
            reference = u"&#322;";
            break;
        case u'L':
            reference = u"&#321;";
            break;
        case u's':
            reference = u"&#537;";
            break;
        case u'S':
            reference = u"&#536;";
            break;
        }
        if (reference)
            out += QString::fromUtf16(reference);
        else
            out += c;
    }
    return out;
}

// The school: subjects in two course offers (some without a code, so that their long code is
// their name), activities, teachers, rooms (some without a key), courses, units and one time
// frame, every name taken from `names`.
QByteArray school(const QStringList& names, bool twin)
{
    const auto name = [&](qsizetype i) { return written(names.at(i % names.size()), twin); };
    const auto record = [](const QStringList& values) {
        QString out = QStringLiteral("<grupo_datos>");
        for (const QString& v : values)
            out += QStringLiteral("<dato>") + v + QStringLiteral("</dato>");
        return out + QStringLiteral("</grupo_datos>");
    };
    QString groups;
    const auto group = [&](const char* seq, const QStringList& records) {
        groups += QStringLiteral("<grupo_datos seq=\"%1\">").arg(QLatin1String(seq)) +
                  records.join(QString()) + QStringLiteral("</grupo_datos>");
    };
    const qsizetype n = names.size();
    QStringList materias, empleados, dependencias, unidades;
    for (qsizetype i = 0; i < 2 * n; ++i)
        materias << record({QString::number(4021 + i % 2), QString::number(300000 + i), name(i),
                            i % 3 == 0 ? QString() : QStringLiteral("C%1").arg(i % 4),
                            QStringLiteral("60")});
    for (qsizetype i = 0; i < n; ++i) {
        empleados << record({QString::number(100 + i), QStringLiteral("01/09/2020"), name(i),
                             name(i + 1), name(i + 2), name(i + 3),
                             i % 5 == 4 ? QStringLiteral("P1") : QString()});
        dependencias << record({i % 2 ? QString() : QStringLiteral("A1"), name(i)});
        unidades << record({QString::number(70000 + i), name(i), QString::number(4021 + i % 2)});
    }
    group("MATERIAS", materias);
    group("ACTIVIDADES", {record({QStringLiteral("1"), QStringLiteral("513"), name(0)}),
                          record({QStringLiteral("2"), QStringLiteral("GUA"), name(1)})});
    group("EMPLEADOS", empleados);
    group("DEPENDENCIAS", dependencias);
    group("CURSOS_DEL_CENTRO",
          {record({QStringLiteral("4021"), name(0)}), record({QStringLiteral("4022"), name(1)})});
    group("UNIDADES", unidades);
    group("JORNADAS_ESCOLARES", {record({QStringLiteral("1"), name(0), QStringLiteral("15/09/2026"),
                                         QStringLiteral("22/06/2027")})});
    group("TRAMOS_HORARIOS", {record({QStringLiteral("101"), name(1), QStringLiteral("480"),
                                      QStringLiteral("535"), QStringLiteral("1")}),
                              record({QStringLiteral("102"), name(2), QStringLiteral("540"),
                                      QStringLiteral("595"), QStringLiteral("1")})});
    return (QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<SERVICIO><BLOQUE_DATOS>"
                           "<grupo_datos seq=\"ANNO_ACADEMICO\"><dato>2026</dato></grupo_datos>") +
            groups + QStringLiteral("</BLOQUE_DATOS></SERVICIO>"))
        .toUtf8();
}

// What the steps wrote for a document: every table and index by name, and the report but for
// the values stored otherwise, with the folder it ran in named alike. Or the error that stopped
// them.
struct Written {
    QMap<QString, QByteArray> files;
    QString report;
    QString error;
};

Written exportar(const QByteArray& document, const QString& folder, const QString& lookup)
{
    Written out;
    const QString timetable = QDir(folder).filePath(QStringLiteral("OTEMP"));
    const QString path = QDir(folder).filePath(QStringLiteral("centro.xml"));
    QDir().mkpath(timetable);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(document) < 0)
        throw EngineError(QStringLiteral("no se puede escribir %1").arg(path));
    file.close();
    NoInteraction interaction;
    ExportarRun run(timetable, lookup, interaction);
    try {
        if (const QString refusal = run.loadDocument(path); !refusal.isEmpty()) {
            out.error = refusal;
            return out;
        }
        run.begin();
        run.runSteps();
        const QDir work(run.workFolder());
        for (const QString& name :
             work.entryList({QStringLiteral("*.DBF"), QStringLiteral("*.MDX")}, QDir::Files)) {
            QFile table(work.filePath(name));
            if (table.open(QIODevice::ReadOnly))
                out.files.insert(name, table.readAll());
        }
        out.report = run.report().text(-1, false).replace(folder, QStringLiteral("<CARPETA>"));
    } catch (const EngineError& e) {
        out.error = e.message();
    }
    run.abandon();
    return out;
}

// The lookup table of the courses, once for the run.
QString lookupTable(const QString& scratchFolder)
{
    DbfTable lookup(scratchFolder, layouts::nivelcan.name);
    if (lookup.exists())
        return lookup.path();
    lookup.create(layouts::nivelcan.fields);
    lookup.open();
    lookup.append();
    lookup.setInteger(layouts::nivelcan.fields.at(0).name, 4021);
    lookup.setText(layouts::nivelcan.fields.at(1).name, QStringLiteral("ESO"));
    lookup.setText(layouts::nivelcan.fields.at(2).name, QStringLiteral("Secundaria"));
    lookup.post();
    lookup.close();
    return lookup.path();
}

} // namespace

void checkTwins(const QByteArray& bytes, const QString& scratchFolder, QStringList& violations)
{
    const QStringList names = namesOf(bytes);
    const QString lookup = lookupTable(scratchFolder);
    const Written plain = exportar(school(names, false),
                                   QDir(scratchFolder).filePath(QStringLiteral("plano")), lookup);
    const Written twin = exportar(school(names, true),
                                  QDir(scratchFolder).filePath(QStringLiteral("gemelo")), lookup);
    const QString shown = texts::printable(names.join(QStringLiteral(" | ")));
    if (plain.error.isEmpty() != twin.error.isEmpty()) {
        violations << QStringLiteral("twins: one run stopped, the other did not («%1»): %2%3")
                          .arg(shown, plain.error, twin.error);
        return;
    }
    if (!plain.error.isEmpty())
        return;
    if (plain.files.size() != 11)
        violations << QStringLiteral("twins: %1 tables written").arg(plain.files.size());
    for (auto it = plain.files.cbegin(); it != plain.files.cend(); ++it) {
        if (twin.files.value(it.key()) != it.value())
            violations << QStringLiteral("twins: %1 differs for «%2»").arg(it.key(), shown);
    }
    if (twin.files.size() != plain.files.size())
        violations << QStringLiteral("twins: %1 tables, and %2 for the twin")
                          .arg(plain.files.size())
                          .arg(twin.files.size());
    if (twin.report != plain.report)
        violations << QStringLiteral("twins: the reports differ for «%1»:\n%2\n---\n%3")
                          .arg(shown, plain.report, twin.report);
}

} // namespace fuzzchecks
