// TSet<E>: a set of up to 64 values of an unscoped enumeration, as the components' flag sets use.
#pragma once

#include <bit>
#include <cassert>
#include <cstdint>
#include <initializer_list>
#include <type_traits>

namespace kestrel {

template <typename E> class TSet {
    static_assert(std::is_enum_v<E>, "TSet holds enumeration values");

public:
    using TBits = std::uint64_t;

    constexpr TSet() = default;
    constexpr TSet(std::initializer_list<E> Values) {
        for (E Value : Values)
            Include(Value);
    }

    static constexpr TSet FromBits(TBits Bits) {
        TSet Result;
        Result.FBits = Bits;
        return Result;
    }
    constexpr TBits ToBits() const { return FBits; }

    constexpr bool Contains(E Value) const { return (FBits & Bit(Value)) != 0; }
    constexpr bool Empty() const { return FBits == 0; }
    constexpr int Count() const { return std::popcount(FBits); }

    constexpr TSet& Include(E Value) {
        FBits |= Bit(Value);
        return *this;
    }
    constexpr TSet& Exclude(E Value) {
        FBits &= ~Bit(Value);
        return *this;
    }

    /// Union, difference and intersection, as the framework's set operators.
    friend constexpr TSet operator+(TSet A, TSet B) { return FromBits(A.FBits | B.FBits); }
    friend constexpr TSet operator-(TSet A, TSet B) { return FromBits(A.FBits & ~B.FBits); }
    friend constexpr TSet operator*(TSet A, TSet B) { return FromBits(A.FBits & B.FBits); }
    friend constexpr TSet operator+(TSet A, E B) { return A.Include(B); }
    friend constexpr TSet operator-(TSet A, E B) { return A.Exclude(B); }
    friend constexpr bool operator==(TSet A, TSet B) = default;
    TSet& operator+=(TSet B) { return *this = *this + B; }
    TSet& operator-=(TSet B) { return *this = *this - B; }

private:
    static constexpr TBits Bit(E Value) {
        const auto Index = static_cast<std::uint64_t>(Value);
        assert(Index < 64 && "enumeration value outside a TSet");
        return TBits{1} << Index;
    }

    TBits FBits = 0;
};

} // namespace kestrel
