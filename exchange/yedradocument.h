#pragma once

// Errors of the exchange layer: as the XML layer's, XmlError for what a document cannot give;
// loading returns false instead, and the document's parseError() says why.

#include "components/xml/xmldocument.h"

#include <QList>
#include <QString>
#include <optional>
#include <vector>

// Reading a Yedra exchange document: SERVICIO / BLOQUE_DATOS / grupo_datos (a group, named by
// its seq) / grupo_datos (a record) / dato (a value). Values are taken by position from 0,
// never by name; the attributes of records and values are not read.
namespace yedra {

// The record groups a Yedra document hands to the timetable.
inline const QString Materias = QStringLiteral("MATERIAS");
inline const QString Actividades = QStringLiteral("ACTIVIDADES");
inline const QString Empleados = QStringLiteral("EMPLEADOS");
inline const QString Dependencias = QStringLiteral("DEPENDENCIAS");
inline const QString CursosDelCentro = QStringLiteral("CURSOS_DEL_CENTRO");
inline const QString Unidades = QStringLiteral("UNIDADES");
inline const QString JornadasEscolares = QStringLiteral("JORNADAS_ESCOLARES");
inline const QString TramosHorarios = QStringLiteral("TRAMOS_HORARIOS");

// How much of a document to keep. A Yedra document names every value and record in attributes
// that nobody reads; leaving them out makes a large document's tree far smaller.
enum class Detail {
    // Attributes only on the root and the first two levels below it: SERVICIO, BLOQUE_DATOS
    // and the groups, whose seq names them.
    GroupLevel,
    // As GroupLevel, and of /SERVICIO/BLOQUE_DATOS only its first child that is an element or
    // a text (with what stands before it): all a document written in place of this one needs
    // of it.
    Envelope,
    // As GroupLevel, but the records of /SERVICIO/BLOQUE_DATOS/grupo_datos (their grupo_datos
    // children) are not kept as nodes: the texts of their dato children go to a compact store
    // as each record is read, and everything below the groups is let go of. A document with a
    // DTD, whose entities could reach past the parser's callbacks, is kept as GroupLevel keeps
    // it, with no store.
    Records,
};
// Loads the document keeping what `detail` says; otherwise as XmlDocument::load.
bool load(XmlDocument& document, const QString& path, Detail detail);

class RecordStore;
// What Detail::Records kept of the records; null for a document kept as nodes.
const RecordStore* recordStore(const XmlDocument& document);

// Removes the characters U+0020 and below from both ends (blanks, tabs, line breaks).
QString trimValue(const QString& value);

// '/SERVICIO/BLOQUE_DATOS/grupo_datos[@seq="G"]/grupo_datos': the records of every group whose
// seq is exactly G (letter case counts), one group's after the other's.
QString recordsPath(const QString& group);
XmlNodeList selectRecords(const XmlDocument& document, const QString& group);

// One record of a group, with its values (its direct dato children, in document order).
class Record {
public:
    Record(XmlNode record, QString group, int number);
    // A record of a document's record store (see Detail::Records).
    Record(const RecordStore& store, qsizetype index, QString group, int number);

    const QString& group() const { return m_group; }
    // The record's place in its group, from 1, counting every record of the group.
    int number() const { return m_number; }
    int valueCount() const { return m_valueCount; }
    // The text of dato `position` as the document gives it. A position the record lacks
    // throws XmlError: no value is ever made up for it.
    QString rawValue(int position) const;
    // The same, trimmed.
    QString value(int position) const { return trimValue(rawValue(position)); }
    // The record's node; a null node for a record of a store.
    XmlNode node() const { return m_record; }
    // Where dato `position` stands, for a message: "el grupo MATERIAS, registro 3, dato 4".
    QString place(int position) const;

private:
    XmlNode m_record;
    const RecordStore* m_store = nullptr;
    qsizetype m_index = 0;
    QString m_group;
    int m_number;
    int m_valueCount;
};

// Every record of the group, in document order, from the document's record store when it has
// one.
std::vector<Record> records(const XmlDocument& document, const QString& group);
// The guarded walk: the records with at least two values, in document order.
std::vector<Record> guardedRecords(const XmlDocument& document, const QString& group);

// How many values the records of a group must carry. A guarded group asks it only of the
// records its walk visits (two values or more); otherwise of every record.
struct RecordNeed {
    QString group;
    int needed;
    bool guarded = true;
};

// A record with fewer values than its group needs.
struct ShortRecord {
    QString group;
    int number;
    int found;
    int needed;
};

// Every short record of the groups, group by group in the order given, in document order.
QList<ShortRecord> findShortRecords(const XmlDocument& document, const QList<RecordNeed>& needs);
// One line per record: "EMPLEADOS, registro 3: tiene 5 datos y necesita 7", for the first
// ListedShortRecords; the rest are counted on a last line: "y 12 registros más".
inline constexpr int ListedShortRecords = 25;
QString describeShortRecords(const QList<ShortRecord>& shortRecords);

// What to tell the user about a document that could not be read: "El archivo XML no es válido:
// <reason> (línea N)."
QString unreadableDocumentMessage(const XmlParseError& error);

// The academic year: the first four characters (all, when shorter; a character outside the
// Basic Multilingual Plane counts as one) of the text of the first child of
// /SERVICIO/BLOQUE_DATOS that is an element or a text, as they stand; comments and processing
// instructions are passed over. Nothing when the block or such a child is missing.
std::optional<QString> academicYear(const XmlDocument& document);

} // namespace yedra
