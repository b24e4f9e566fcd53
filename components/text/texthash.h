#pragma once

#include <QByteArrayView>
#include <QString>
#include <QStringView>
#include <cstddef>
#include <cstring>
#include <unordered_map>
#include <unordered_set>
#include <utility>

// The hash of the steps' own sets and maps of texts, which look up a long text (a subject's
// name and code) for every record of a large document. It reads eight bytes a step, where Qt's
// hash of a text costs several times as much on this build; like Qt's, it starts from a seed
// drawn once per run, so that a document cannot be made to put its texts on one hash.
namespace texthash {

std::size_t seed();
std::size_t bytes(const void* data, std::size_t size) noexcept;

// Not declared noexcept on purpose: the standard containers then keep each key's hash beside it,
// instead of hashing the keys they pass again on every lookup.
struct Hash {
    std::size_t operator()(QStringView text) const
    {
        return bytes(text.data(), static_cast<std::size_t>(text.size()) * sizeof(QChar));
    }
    std::size_t operator()(const QString& text) const { return (*this)(QStringView(text)); }
    std::size_t operator()(QByteArrayView text) const
    {
        return bytes(text.data(), static_cast<std::size_t>(text.size()));
    }
    std::size_t operator()(const QByteArray& text) const { return (*this)(QByteArrayView(text)); }
    template <typename A, typename B> std::size_t operator()(const std::pair<A, B>& pair) const
    {
        const std::size_t first = (*this)(pair.first);
        return first ^ ((*this)(pair.second) + 0x9E3779B97F4A7C15ull + (first << 6) + (first >> 2));
    }
};

} // namespace texthash

// Sets and maps of texts (QString, QByteArray, or pairs of them) hashed as above.
template <typename Key> using TextSet = std::unordered_set<Key, texthash::Hash>;
template <typename Key, typename Value>
using TextMap = std::unordered_map<Key, Value, texthash::Hash>;
