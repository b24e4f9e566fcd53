#pragma once

#include <QHash>
#include <QSet>
#include <QString>

// The codes a step has given, and the rule that makes the next one new: a code already given
// is cut to its first 9 characters and followed by a counter from 1 upward; a candidate longer
// than 10 characters becomes its first 8 and last 2 characters; the first candidate whose final
// form has not been given wins. Codes are compared as the tables store them (the best-fit form
// of Windows 1252, its first 10 characters, trailing blanks not counting), with or without
// regard to letter case.
class CodeList {
public:
    enum class LetterCase { Sensitive, Ignored };
    // What becomes of a code over 10 characters that needs no number: shortened to its first 8
    // and last 2 characters (subjects, rooms, groups), or kept whole for the table to cut
    // (teachers).
    enum class LongCodes { Shortened, CutByTheTable };

    explicit CodeList(LetterCase letterCase, LongCodes longCodes = LongCodes::Shortened);

    // The code to store for `code`: itself (or its shortened form) when that is new, otherwise
    // the first free numbered candidate. The code returned counts as given. Throws EngineError
    // when no candidate is free (more than 109 codes on one 9-character base). `numbered`, when
    // given, says whether the code is a numbered candidate.
    QString give(const QString& code, bool* numbered = nullptr);
    // The code give() returns for `code` when it is free: itself, or its shortened form.
    QString firstChoice(const QString& code) const;
    // Whether a code with this stored form has been given.
    bool contains(const QString& code) const;
    // Counts `code` as given without giving it: a code that belongs to someone else. Before the
    // first give().
    void reserve(const QString& code);
    void clear();

private:
    QString storedForm(const QString& code) const;

    LetterCase m_letterCase;
    LongCodes m_longCodes;
    QSet<QString> m_given;
    QHash<QString, qint64> m_nextCounter; // by exact base: every candidate below it is taken
};
