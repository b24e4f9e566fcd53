#include "components/text/texthash.h"

#include <QRandomGenerator>
#include <cstdint>

namespace texthash {

std::size_t seed()
{
    static const std::size_t value = [] {
        std::size_t drawn = 0;
        while (drawn == 0)
            drawn = static_cast<std::size_t>(QRandomGenerator::system()->generate64());
        return drawn;
    }();
    return value;
}

namespace {

constexpr std::uint64_t Multiplier = 0x9E3779B97F4A7C15ull;

inline std::uint64_t rotated(std::uint64_t x, int bits)
{
    return (x << bits) | (x >> (64 - bits));
}

// Every step a bijection of the state for a given word; the state starts from the seed, so
// which two texts meet cannot be known without it.
inline std::uint64_t step(std::uint64_t state, std::uint64_t word)
{
    return rotated((state ^ word) * Multiplier, 29) + Multiplier;
}

} // namespace

std::size_t bytes(const void* data, std::size_t size) noexcept
{
    const auto* p = static_cast<const unsigned char*>(data);
    std::uint64_t h = static_cast<std::uint64_t>(seed()) ^ (size * Multiplier);
    while (size >= 8) {
        std::uint64_t word;
        std::memcpy(&word, p, 8);
        h = step(h, word);
        p += 8;
        size -= 8;
    }
    if (size > 0) {
        std::uint64_t word = 0;
        std::memcpy(&word, p, size);
        h = step(h, word ^ (std::uint64_t(size) << 59));
    }
    // The last words reach every bit of the result.
    h ^= h >> 32;
    h *= 0xD6E8FEB86659FD93ull;
    h ^= h >> 32;
    return static_cast<std::size_t>(h);
}

} // namespace texthash
