#include "to_yedra/controlprofes/picture.h"

#include <algorithm>

namespace controlprofes {

Picture::Picture(const QString& mask)
{
    bool repeated = false;
    for (QChar c : mask) {
        if (c == QLatin1Char('*')) {
            repeated = true;
            continue;
        }
        m_elements.push_back({c, c == QLatin1Char('#'), repeated});
        repeated = false;
    }
}

QString Picture::filled(const QString& text, bool trailing) const
{
    const bool fixedLength = std::none_of(m_elements.cbegin(), m_elements.cend(),
                                          [](const Element& e) { return e.repeated; });
    if (!fixedLength)
        return text;
    QString out;
    qsizetype e = 0;
    for (QChar c : text) {
        while (e < m_elements.size() && !m_elements[e].digit && m_elements[e].literal != c)
            out += m_elements[e++].literal;
        out += c;
        ++e;
    }
    while (trailing && !out.isEmpty() && e < m_elements.size() && !m_elements[e].digit)
        out += m_elements[e++].literal;
    return out;
}

bool Picture::matchFrom(qsizetype e, const QString& text, qsizetype at, bool prefix) const
{
    if (at == text.size())
        return prefix || std::all_of(m_elements.cbegin() + e, m_elements.cend(),
                                     [](const Element& el) { return el.repeated; });
    if (e == m_elements.size())
        return false;
    const Element& element = m_elements[e];
    if (element.repeated && matchFrom(e + 1, text, at, prefix))
        return true;
    const QChar c = text[at];
    const bool fits =
        element.digit ? (c >= QLatin1Char('0') && c <= QLatin1Char('9')) : c == element.literal;
    return fits && matchFrom(element.repeated ? e : e + 1, text, at + 1, prefix);
}

} // namespace controlprofes
