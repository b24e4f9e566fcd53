#pragma once

#include <QByteArray>
#include <QString>
#include <QStringView>
#include <vector>

// A single-byte code page of dBase tables: bytes 0x00-0x7F are ASCII, the upper half comes
// from the code page's table.
class CodePage {
public:
    // The code page a table's language driver byte names; 0x00 and unknown drivers read as
    // Windows 1252, the page Oranel's tables are written in.
    static const CodePage& forLanguageDriver(quint8 driver);
    // The code page a level-7 table's language driver name ("DBWINUS0", "DB437US0") names,
    // or nullptr when the name says nothing known.
    static const CodePage* forDriverName(const QByteArray& name);
    static const CodePage& windows1252();

    int number() const { return m_number; }
    QString decode(const char* bytes, qsizetype size) const;
    // Whether the page holds every character of the text.
    bool holds(QStringView text) const;
    // The text as the page holds it, converted the way Windows' best-fit conversion does, one
    // character for one: a character the page lacks loses its marks (compatibility
    // decomposition, combining marks dropped: 'ș' gives 's'), a letter without a decomposition
    // takes its plain form from a short table ('Ł' gives 'L', 'ı' gives 'i'), and only what still
    // has no form becomes '?'. A letter written as a base and combining marks is composed first
    // ("a" and U+0301 give 'á'); a mark with no letter is dropped. A text the page holds whole
    // comes back unchanged.
    QString bestFit(QStringView text) const;
    // One byte per character of the best-fit form.
    QByteArray encode(const QString& text) const;
    // Encodes into `out` at most `width` characters of the best-fit form, then fills the rest of
    // the `width` bytes with blanks. Returns the number of bytes the text took; `heldWhole`, when
    // given, says whether the page holds every character of the text (past the width too), as
    // holds() would.
    qsizetype encodeInto(QStringView text, char* out, qsizetype width,
                         bool* heldWhole = nullptr) const;

private:
    CodePage(int number, const char16_t* upperHalf);
    static const CodePage* numbered(int number);

    int m_number;
    const char16_t* m_upperHalf;
    std::vector<char> m_reverse; // for every character of the Basic Multilingual Plane
    // Likewise: whether the page has a byte for it (a byte each, read on every character written).
    std::vector<unsigned char> m_holds;
};
