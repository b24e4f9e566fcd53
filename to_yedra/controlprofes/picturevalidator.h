#pragma once

#include <QValidator>

namespace controlprofes {

class Picture;

// Keeps a cell editor to its picture mask whichever way text comes in (keys, paste, drop,
// input methods): a change that cannot lead to a fitting value is refused, and the mask's
// literal characters are filled in. A value that did not fit to begin with (one written by
// another program) can be changed freely, as the line edit only refuses a change from a value
// the validator accepted; the mask is enforced when the row is saved.
class PictureValidator : public QValidator {
public:
    PictureValidator(const Picture& picture, QObject* parent);

    State validate(QString& input, int& position) const override;

private:
    const Picture& m_picture;
    mutable QString m_previous; // the text last let through
};

} // namespace controlprofes
