#include "components/text/textrows.h"

#include "components/platform/engineerror.h"
#include "components/platform/platform.h"
#include "components/text/texthash.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr std::uint64_t PlaceBits = 40;
constexpr std::uint64_t HashMask = ~((std::uint64_t(1) << PlaceBits) - 1);

template <typename Parts> std::uint64_t hashParts(const Parts& parts)
{
    std::uint64_t h = 0;
    for (const QStringView part : parts)
        h = (h ^ texthash::Hash()(part)) * 0x9E3779B97F4A7C15ull + std::uint64_t(part.size());
    return h ^ (h >> 29);
}

} // namespace

TextRows::TextRows(int keyParts, int valueCount)
    : m_keyParts(keyParts), m_valueCount(valueCount), m_slots(16, 0)
{
}

std::uint64_t TextRows::hash(std::initializer_list<QStringView> key) const
{
    return hashParts(key);
}

bool TextRows::keyEquals(std::uint64_t offset, std::initializer_list<QStringView> key) const
{
    const char16_t* p = m_texts.data() + offset + 2;
    for (const QStringView part : key) {
        const qsizetype length = *p++;
        if (length != part.size() ||
            (length > 0 &&
             std::memcmp(p, part.utf16(), static_cast<size_t>(length) * sizeof(char16_t)) != 0))
            return false;
        p += length;
    }
    return true;
}

qsizetype TextRows::find(std::initializer_list<QStringView> key) const
{
    return find(key, hash(key));
}

qsizetype TextRows::find(std::initializer_list<QStringView> key, std::uint64_t h,
                         std::uint64_t& empty) const
{
    const std::uint64_t mask = m_slots.size() - 1;
    for (std::uint64_t i = h & mask;; i = (i + 1) & mask) {
        const std::uint64_t slot = m_slots[i];
        if (slot == 0) {
            empty = i;
            return -1;
        }
        if ((slot & HashMask) == (h & HashMask) && keyEquals(placeOf(slot) - 1, key))
            return static_cast<qsizetype>(placeOf(slot) - 1);
    }
}

qsizetype TextRows::find(std::initializer_list<QStringView> key, std::uint64_t hash) const
{
    std::uint64_t empty = 0;
    return find(key, hash, empty);
}

void TextRows::ahead(std::uint64_t hash, bool texts) const
{
    const std::uint64_t* slot = m_slots.data() + (hash & (m_slots.size() - 1));
    if (!texts)
        platform::prefetch(slot);
    else if (*slot != 0 && (*slot & HashMask) == (hash & HashMask))
        platform::prefetch(m_texts.data() + placeOf(*slot) - 1);
}

qsizetype TextRows::add(std::initializer_list<QStringView> key,
                        std::initializer_list<QStringView> values)
{
    return add(key, values, hash(key));
}

qsizetype TextRows::add(std::initializer_list<QStringView> key,
                        std::initializer_list<QStringView> values, std::uint64_t h)
{
    if (static_cast<int>(key.size()) != m_keyParts ||
        static_cast<int>(values.size()) != m_valueCount)
        throw EngineError(QStringLiteral("Fila de textos con un número de datos equivocado."));
    std::uint64_t i = 0; // the slot the row takes: where looking for its key ended
    if (const qsizetype found = find(key, h, i); found >= 0)
        return found;
    const std::uint64_t place = m_texts.size();
    if (place + 1 >= (std::uint64_t(1) << PlaceBits) || m_count >= 0xFFFFFFFF)
        throw EngineError(QStringLiteral("Demasiados textos en una tabla de búsqueda."));
    // A table's text is at most 254 characters: its length fits one character.
    for (const std::initializer_list<QStringView>& texts : {key, values}) {
        for (const QStringView text : texts) {
            if (text.size() > 0xFFFF)
                throw EngineError(
                    QStringLiteral("Texto demasiado largo para una tabla de búsqueda."));
        }
    }
    if ((m_count + 1) * 2 > static_cast<qsizetype>(m_slots.size())) {
        rebuild(m_slots.size() * 2);
        const std::uint64_t mask = m_slots.size() - 1;
        for (i = h & mask; m_slots[i] != 0; i = (i + 1) & mask) {
        }
    }
    m_texts.push_back(static_cast<char16_t>(m_count & 0xFFFF));
    m_texts.push_back(static_cast<char16_t>(m_count >> 16));
    for (const std::initializer_list<QStringView>& texts : {key, values}) {
        for (const QStringView text : texts) {
            m_texts.push_back(static_cast<char16_t>(text.size()));
            m_texts.insert(m_texts.end(), text.utf16(), text.utf16() + text.size());
        }
    }
    ++m_count;
    m_slots[i] = (h & HashMask) | (place + 1);
    return static_cast<qsizetype>(place);
}

void TextRows::reserve(qsizetype rows)
{
    std::uint64_t size = m_slots.size();
    while (size < std::uint64_t(rows) * 2)
        size *= 2;
    if (size > m_slots.size())
        rebuild(size);
}

void TextRows::rebuild(std::uint64_t size)
{
    m_slots.assign(size, 0);
    const std::uint64_t mask = size - 1;
    // The rows are read in the order they lie, the texts of one after those of the one before.
    std::vector<QStringView> parts(static_cast<size_t>(m_keyParts));
    const char16_t* const start = m_texts.data();
    const char16_t* p = start;
    for (qsizetype row = 0; row < m_count; ++row) {
        const std::uint64_t place = static_cast<std::uint64_t>(p - start);
        p += 2;
        for (QStringView& part : parts) {
            const qsizetype length = *p++;
            part = QStringView(p, length);
            p += length;
        }
        for (int v = 0; v < m_valueCount; ++v)
            p += *p + 1;
        const std::uint64_t h = hashParts(parts);
        std::uint64_t i = h & mask;
        while (m_slots[i] != 0)
            i = (i + 1) & mask;
        m_slots[i] = (h & HashMask) | (place + 1);
    }
}

void TextRows::prefetch(qsizetype row) const
{
    platform::prefetch(m_texts.data() + row);
}

qsizetype TextRows::number(qsizetype row) const
{
    const char16_t* p = m_texts.data() + row;
    return static_cast<qsizetype>(p[0]) | (static_cast<qsizetype>(p[1]) << 16);
}

QString TextRows::value(qsizetype row, int i) const
{
    const char16_t* p = m_texts.data() + row + 2;
    for (int k = 0; k < m_keyParts + i; ++k)
        p += *p + 1;
    return QString(reinterpret_cast<const QChar*>(p + 1), *p);
}
