#pragma once
#include <cstdint>
#include <initializer_list>
#include <type_traits>

namespace tarsel {

// A set of enum class values, one bit per ordinal (up to 64), like a Pascal set.
template <class E>
class TOrdinalSet {
    static_assert(std::is_enum_v<E>);

public:
    constexpr TOrdinalSet() = default;
    constexpr TOrdinalSet(std::initializer_list<E> items)
    {
        for (E e : items)
            Include(e);
    }
    static constexpr TOrdinalSet FromBits(std::uint64_t bits)
    {
        TOrdinalSet s;
        s.m_bits = bits;
        return s;
    }

    constexpr bool Contains(E e) const { return (m_bits & bit(e)) != 0; }
    constexpr TOrdinalSet &Include(E e)
    {
        m_bits |= bit(e);
        return *this;
    }
    constexpr TOrdinalSet &Exclude(E e)
    {
        m_bits &= ~bit(e);
        return *this;
    }
    constexpr bool Empty() const { return m_bits == 0; }
    constexpr void Clear() { m_bits = 0; }
    constexpr std::uint64_t Bits() const { return m_bits; }

    constexpr TOrdinalSet operator+(const TOrdinalSet &o) const { return FromBits(m_bits | o.m_bits); }
    constexpr TOrdinalSet operator-(const TOrdinalSet &o) const { return FromBits(m_bits & ~o.m_bits); }
    constexpr TOrdinalSet operator*(const TOrdinalSet &o) const { return FromBits(m_bits & o.m_bits); }
    constexpr bool operator==(const TOrdinalSet &o) const = default;

private:
    static constexpr std::uint64_t bit(E e) { return std::uint64_t(1) << static_cast<unsigned>(e); }
    std::uint64_t m_bits = 0;
};

} // namespace tarsel
