#pragma once

#include <QStringList>

class DbfTable;

// Yedra accepts a teacher's timetable only for an employee it knows by two values, X_EMPLEADO
// and F_TOMAPOS. A teacher row lacking either (a value that is empty once the characters U+0020
// and below are trimmed from both ends) is incomplete. Only emptiness counts: neither the form
// of the values nor their uniqueness is looked at.

// Walks the teacher table `proft` (open) from its first row in natural order and stops at the
// first incomplete teacher, which is then its current row. F_TOMAPOS is not read for a row whose
// X_EMPLEADO is already empty. An empty table has no incomplete teacher.
bool hasIncompleteTeacher(DbfTable& proft);

// Every incomplete teacher of `proft` (open), in natural order, as "ABREV (NOMBRE)".
QStringList incompleteTeachers(DbfTable& proft);
