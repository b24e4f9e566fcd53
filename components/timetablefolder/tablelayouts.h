#pragma once

#include "components/dbase/dbftable.h"

#include <QList>
#include <QString>

// The timetable tables the Yedra-to-timetable run writes: each one's fields, types, widths and
// order, declared once here for the steps that write them, the run that reads them back and the
// tests.
struct TableLayout {
    QString name;
    QList<FieldDef> fields;
    QString indexField = {};   // the production index's field, empty for none
    bool replacesIndex = true; // the run replaces an old .MDX of the table as well
};

namespace layouts {

using T = FieldDef::Type;

// The field that holds the code of a teacher (PROFT), a room (AULAT), a group (GRUPOST) and a
// course (CURSOST).
inline const QString codeField = QStringLiteral("ABREV");

inline const TableLayout asignomt{QStringLiteral("ASIGNOMT"),
                                  {{QStringLiteral("COD"), T::Text, 10},
                                   {QStringLiteral("CODLARGO"), T::Text, 10},
                                   {QStringLiteral("NOMBRE"), T::Text, 80},
                                   {QStringLiteral("CODTAREA"), T::Text, 12},
                                   {QStringLiteral("ESTAREA"), T::Boolean}}};

inline const TableLayout asignomt2{QStringLiteral("ASIGNOMT2"),
                                   {{QStringLiteral("COD"), T::Text, 10},
                                    {QStringLiteral("CODLARGO"), T::Text, 10},
                                    {QStringLiteral("NOMBRE"), T::Text, 80},
                                    {QStringLiteral("MATERIA"), T::Text, 20},
                                    {QStringLiteral("OFERTAMATRI"), T::Text, 20},
                                    {QStringLiteral("CODTAREA"), T::Text, 12},
                                    {QStringLiteral("ESTAREA"), T::Boolean}}};

inline const TableLayout proft{QStringLiteral("PROFT"),
                               {{codeField, T::Text, 10},
                                {QStringLiteral("NOMBRE"), T::Text, 80},
                                {QStringLiteral("DEPART"), T::Text, 40},
                                {QStringLiteral("EMAIL"), T::Text, 100},
                                {QStringLiteral("DNI"), T::Integer},
                                {QStringLiteral("X_EMPLEADO"), T::Text, 10},
                                {QStringLiteral("F_TOMAPOS"), T::Text, 10}}};

inline const TableLayout aulat{QStringLiteral("AULAT"),
                               {{codeField, T::Text, 10},
                                {QStringLiteral("NOMBRE"), T::Text, 80},
                                {QStringLiteral("EDIFICIO"), T::Text, 1},
                                {QStringLiteral("MAXALUM"), T::Integer},
                                {QStringLiteral("DEPCENTRO"), T::Text, 10}}};

inline const TableLayout cursost{QStringLiteral("CURSOST"),
                                 {{codeField, T::Text, 3},
                                  {QStringLiteral("TURNO"), T::Text, 1},
                                  {QStringLiteral("NIVEL"), T::Text, 5},
                                  {QStringLiteral("CURSO"), T::Text, 3},
                                  {QStringLiteral("CLAVE"), T::Text, 10},
                                  {QStringLiteral("ESTUD"), T::Text, 80}}};

inline const TableLayout grupost{QStringLiteral("GRUPOST"),
                                 {{codeField, T::Text, 10},
                                  {QStringLiteral("TURNO"), T::Text, 1},
                                  {QStringLiteral("NIVEL"), T::Text, 5},
                                  {QStringLiteral("CURSO"), T::Text, 3},
                                  {QStringLiteral("GRUPO"), T::Text, 2},
                                  {QStringLiteral("CLAVE"), T::Text, 10},
                                  {QStringLiteral("CLAVECURSO"), T::Text, 10},
                                  {QStringLiteral("DESCRIP"), T::Text, 80}}};

inline const TableLayout asigt{QStringLiteral("ASIGT"),
                               {{QStringLiteral("CASIG"), T::Text, 10},
                                {QStringLiteral("CPROF"), T::Text, 10},
                                {QStringLiteral("CGRUP"), T::Text, 10},
                                {QStringLiteral("CAULA"), T::Text, 10},
                                {QStringLiteral("TURNO"), T::Text, 10},
                                {QStringLiteral("NIVEL"), T::Text, 5},
                                {QStringLiteral("CURSO"), T::Text, 3},
                                {QStringLiteral("GRUPO"), T::Text, 2},
                                {QStringLiteral("HORAS"), T::Float},
                                {QStringLiteral("SESIONES"), T::Text, 20},
                                {QStringLiteral("NCONEX"), T::Text, 4},
                                {QStringLiteral("CLAVE"), T::Text, 10},
                                {QStringLiteral("CLAVECURSO"), T::Text, 10},
                                {QStringLiteral("CTAREA"), T::Text, 10}}};

// The fields the day-and-hour grid and its work table share, in their order.
inline const QList<FieldDef> gridFields = {
    {QStringLiteral("DIHO"), T::Text, 10},     {QStringLiteral("CODDIHO"), T::Text, 10},
    {QStringLiteral("DIA"), T::Text, 20},      {QStringLiteral("TEXTODIA"), T::Text, 20},
    {QStringLiteral("HORA"), T::Text, 8},      {QStringLiteral("TEXTOHOR"), T::Text, 15},
    {QStringLiteral("HORADESDE"), T::Text, 8}, {QStringLiteral("HORAHASTA"), T::Text, 8},
    {QStringLiteral("MINUTOS"), T::Text, 8},   {QStringLiteral("MARCO"), T::Text, 1},
    {QStringLiteral("MARCOXML"), T::Text, 10}};

inline const TableLayout diashorast{QStringLiteral("DIASHORAST"), gridFields};

inline const TableLayout diashorast2{
    QStringLiteral("DIASHORAST2"),
    gridFields + QList<FieldDef>{{QStringLiteral("ORDEN"), T::Integer}}, QStringLiteral("ORDEN")};

// An old PERIODOS.MDX is left where it is.
inline const TableLayout periodos{QStringLiteral("PERIODOS"),
                                  {{QStringLiteral("CJORNADA"), T::Text, 10},
                                   {QStringLiteral("JORNADA"), T::Text, 40},
                                   {QStringLiteral("FECINI"), T::Text, 10},
                                   {QStringLiteral("FECFIN"), T::Text, 10}},
                                  QString(),
                                  false};

// The ten tables the exportar run writes, in the order it writes them.
inline const QList<const TableLayout*> timetableTables = {
    &asignomt, &asignomt2, &proft,      &aulat,       &grupost,
    &cursost,  &asigt,     &diashorast, &diashorast2, &periodos};

// The code that identifies a row of each table the run writes, and what such a row is called.
// Where the run makes a code unique (PROFT, AULAT, GRUPOST) it is that code. Course codes
// (CURSOST.ABREV) are not unique, so a course goes by its offer key CLAVE. An offering
// (ASIGNOMT2) goes by Yedra's two keys, which stay when the subject's short code is renumbered.
// A class assignment (ASIGT) is a subject in a group. A cell of the grid (DIASHORAST) goes by
// its day-and-hour key; a slot of the work table (DIASHORAST2), whose DIHO stays empty, by its
// slot code and day. Subjects and tasks share ASIGNOMT: the subject rows come first in both
// tables, so a task with a subject's code is paired with the task as a repeated code.
struct RowCode {
    const TableLayout* table;
    QStringList fields;
    const char* rowNoun; // "profesor": "PROFT, profesor «GLA»"
};
inline const QList<RowCode> rowCodes = {
    {&asignomt, {QStringLiteral("COD")}, "materia"},
    {&asignomt2, {QStringLiteral("MATERIA"), QStringLiteral("OFERTAMATRI")}, "oferta"},
    {&proft, {codeField}, "profesor"},
    {&aulat, {codeField}, "aula"},
    {&cursost, {QStringLiteral("CLAVE")}, "curso"},
    {&grupost, {codeField}, "grupo"},
    {&asigt, {QStringLiteral("CASIG"), QStringLiteral("CGRUP")}, "asignación"},
    {&diashorast, {QStringLiteral("DIHO")}, "tramo"},
    {&diashorast2, {QStringLiteral("CODDIHO"), QStringLiteral("DIA")}, "tramo"},
    {&periodos, {QStringLiteral("CJORNADA")}, "periodo"},
};

// Oranel's solved timetable, which the importar run reads: each entry's teacher (PROF, a PROFT
// code), its day and hour (DIA 0 when not placed), its time frame, subject, group, task and room.
// Oranel writes it; only the names of its fields are the program's to know.
inline const QString soluc = QStringLiteral("SOLUC");
inline const QStringList solucFields = {QStringLiteral("PROF"),  QStringLiteral("DIA"),
                                        QStringLiteral("HORA"),  QStringLiteral("MARCO"),
                                        QStringLiteral("ASIG"),  QStringLiteral("CODGRUPO"),
                                        QStringLiteral("TAREA"), QStringLiteral("AULA")};
inline const QString solucTeacherField = QStringLiteral("PROF");

// The lookup table beside the programs, course offer key to educational level, as
// quelvana-make-lookup writes it. A dBase IV field name holds at most 11 characters: the key,
// Yedra's X_OFERTAMATRIG, is kept as X_OFERTAMAT, and readers ask for the whole name
// (nivelcanKey), which the table layer finds under the 11 or 10 characters a tool kept.
// NIVEL_ABREV becomes a course's NIVEL, of width 5. NIVEL ends up in a course's ESTUD, 80
// characters for the course name, " (", the level and ")": a level of 60 leaves 17 for the name,
// enough for "2º Bachillerato".
inline const QString nivelcanKey = QStringLiteral("X_OFERTAMATRIG");
inline const TableLayout nivelcan{QStringLiteral("NIVELCAN"),
                                  {{QStringLiteral("X_OFERTAMAT"), T::Integer},
                                   {QStringLiteral("NIVEL_ABREV"), T::Text, 5},
                                   {QStringLiteral("NIVEL"), T::Text, 60}}};

} // namespace layouts
