#pragma once

#include <QString>
#include <QStringView>
#include <algorithm>
#include <array>
#include <cstdint>
#include <initializer_list>
#include <vector>

// Rows of texts found by a key of one or more texts, kept compact for tables of many rows: each
// row's texts lie together in one block of memory, and an open-addressing index holds each row's
// hash and place, so that finding a row in a large table reads memory twice, where a hash map of
// QStrings reads its bucket, its node and every text of the key apart. The first row added with a
// key is the one found.
class TextRows {
public:
    // Rows of `keyParts` key texts followed by `valueCount` value texts.
    TextRows(int keyParts, int valueCount);

    // Adds a row unless one with the same key is there. Returns the row with that key, added or
    // found.
    qsizetype add(std::initializer_list<QStringView> key,
                  std::initializer_list<QStringView> values);
    // The row with that key, or -1.
    qsizetype find(std::initializer_list<QStringView> key) const;
    // Makes room in the index for `rows` rows in all, so that adding them never rebuilds it.
    void reserve(qsizetype rows);
    // Of a row that add() or find() gave: value `i`, and its number in the order rows were added
    // (from 0).
    QString value(qsizetype row, int i) const;
    qsizetype number(qsizetype row) const;
    // Asks for a row's texts to be brought into the processor's cache ahead of their use.
    void prefetch(qsizetype row) const;

    // Looking up many keys, each in steps apart, so that the waits for memory of one key overlap
    // those of the keys around it: hash() the key, then ahead() to ask for its place in the
    // index, later ahead() again to ask for the texts found there, and last find() or add().
    std::uint64_t hash(std::initializer_list<QStringView> key) const;
    void ahead(std::uint64_t hash, bool texts) const;
    qsizetype find(std::initializer_list<QStringView> key, std::uint64_t hash) const;
    qsizetype add(std::initializer_list<QStringView> key, std::initializer_list<QStringView> values,
                  std::uint64_t hash);
    qsizetype size() const { return m_count; }

private:
    // The row with the key of hash `h`, or -1 with `empty` the free slot where looking ended.
    qsizetype find(std::initializer_list<QStringView> key, std::uint64_t h,
                   std::uint64_t& empty) const;
    bool keyEquals(std::uint64_t offset, std::initializer_list<QStringView> key) const;
    // The index rebuilt with `size` slots (a power of two) from the rows, in the order added.
    void rebuild(std::uint64_t size);
    // The place of a slot's row in the block, plus one (0: an empty slot).
    static std::uint64_t placeOf(std::uint64_t slot) { return slot & 0xFFFFFFFFFFull; }

    int m_keyParts;
    int m_valueCount;
    // Each row: its number in two characters, then for every text its length and its characters.
    std::vector<char16_t> m_texts;
    // The high 24 bits of the row's hash, then its place plus one in the low 40 bits.
    std::vector<std::uint64_t> m_slots;
    qsizetype m_count = 0;
};

// Rows of a large table handled `Lag` rows after they are read, in the order read: what
// handling a row needs from memory is asked for when it is read, and has come when it is handled.
// A lookup of one row after another in a large index would otherwise wait for memory each time.
template <typename Item, int Lag> class Lagging {
public:
    // The place of the row read next; the row it held, read Lag rows ago, is handled first.
    template <typename Handle> Item& next(Handle&& handle)
    {
        Item& item = m_items[m_read % Lag];
        if (m_read >= Lag)
            handle(item);
        ++m_read;
        return item;
    }
    // The row read `back` rows before the last one read, or none.
    const Item* before(int back) const
    {
        return m_read > back ? &m_items[(m_read - 1 - back) % Lag] : nullptr;
    }
    // The rows not yet handled, handled.
    template <typename Handle> void finish(Handle&& handle)
    {
        for (qint64 r = std::max<qint64>(0, m_read - Lag); r < m_read; ++r)
            handle(m_items[r % Lag]);
        m_read = 0;
    }

private:
    std::array<Item, Lag> m_items;
    qint64 m_read = 0;
};
