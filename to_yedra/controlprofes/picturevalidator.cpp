#include "to_yedra/controlprofes/picturevalidator.h"

#include "to_yedra/controlprofes/picture.h"

namespace controlprofes {

PictureValidator::PictureValidator(const Picture& picture, QObject* parent)
    : QValidator(parent), m_picture(picture)
{
}

PictureValidator::State PictureValidator::validate(QString& input, int& position) const
{
    const bool atEnd = position == input.size();
    // The literals after the last character come only while the text grows at its end, so
    // that a slash can be deleted.
    const bool grew = input.size() > m_previous.size();
    const QString shaped = m_picture.filled(input, atEnd && grew);
    if (!m_picture.fitsSoFar(shaped))
        return Invalid;
    position = atEnd ? int(shaped.size()) : position + int(shaped.size() - input.size());
    input = shaped;
    m_previous = shaped;
    return shaped.isEmpty() || m_picture.matches(shaped) ? Acceptable : Intermediate;
}

} // namespace controlprofes
