#include "to_yedra/controlprofes/proftcolumns.h"

namespace controlprofes {

const std::array<MaskedField, 2>& maskedFields()
{
    static const std::array<MaskedField, 2> fields = {{
        {XEmpleado, Picture(QStringLiteral("#*#")),
         QStringLiteral("una o más cifras, sin ningún otro carácter")},
        {FTomapos, Picture(QStringLiteral("##/##/####")),
         QStringLiteral("una fecha dd/mm/aaaa: dos cifras, «/», dos cifras, «/» y cuatro cifras")},
    }};
    return fields;
}

const MaskedField* maskedField(int column)
{
    for (const MaskedField& masked : maskedFields()) {
        if (masked.column == column)
            return &masked;
    }
    return nullptr;
}

} // namespace controlprofes
