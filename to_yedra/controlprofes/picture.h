#pragma once

#include <QList>
#include <QString>

namespace controlprofes {

// A picture mask in the syntax of Paradox picture strings, as far as the teacher values use it:
// "#" one digit, "*" the next element any number of times, any other character itself.
class Picture {
public:
    explicit Picture(const QString& mask);

    bool matches(const QString& text) const { return matchFrom(0, text, 0, false); }
    // A beginning of a text that matches: what may stand in a cell while it is being typed.
    bool fitsSoFar(const QString& text) const { return matchFrom(0, text, 0, true); }

    // `text` with the literal characters the mask puts before a typed character filled in and,
    // when `trailing`, those that follow the last one. Only masks of a fixed length get them.
    QString filled(const QString& text, bool trailing) const;

private:
    struct Element {
        QChar literal;
        bool digit;
        bool repeated;
    };

    bool matchFrom(qsizetype e, const QString& text, qsizetype at, bool prefix) const;

    QList<Element> m_elements;
};

} // namespace controlprofes
