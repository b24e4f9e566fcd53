#pragma once

#include "to_yedra/controlprofes/picture.h"

#include <QString>
#include <array>

// The teacher grid's columns and the two values typed in it, shared by the grid, its model and
// its cell editors.
namespace controlprofes {

// The grid's columns, in order; the first two are fixed.
struct GridColumn {
    QString field;
    int characters; // the column's width
    QString title;
};
inline const std::array<GridColumn, 4> Columns = {{
    {QStringLiteral("ABREV"), 4, QStringLiteral("ABREV")},
    {QStringLiteral("NOMBRE"), 40, QStringLiteral("NOMBRE")},
    {QStringLiteral("X_EMPLEADO"), 10, QStringLiteral("X_EMPLEADO")},
    {QStringLiteral("F_TOMAPOS"), 10, QStringLiteral("F_TOMAPOS")},
}};
constexpr int ColumnCount = int(Columns.size());
constexpr int FixedColumns = 2;
constexpr int XEmpleado = 2;
constexpr int FTomapos = 3;

// The two values the user types, each with its mask and the form it asks for.
struct MaskedField {
    int column;
    Picture picture;
    QString form;
};

// The two masked values, and the one of a column (none for the others).
const std::array<MaskedField, 2>& maskedFields();
const MaskedField* maskedField(int column);

} // namespace controlprofes
