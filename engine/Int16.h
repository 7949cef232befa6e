#pragma once

#include "Failure.h"

#include <cstdint>

// A 16-bit signed counter that fails instead of wrapping: any step or
// assignment that leaves -32,768..32,767 throws OverflowFailure and leaves the
// value as it was.
class Int16
{
public:
    static constexpr long long kMin = -32768;
    static constexpr long long kMax = 32767;

    constexpr Int16() = default;
    constexpr Int16(std::int16_t value) : value_(value) {}

    static Int16 Checked(long long value)
    {
        if (value < kMin || value > kMax)
            throw OverflowFailure(QStringLiteral("Overflow: %1 is beyond a 16-bit whole number").arg(value));
        return Int16(static_cast<std::int16_t>(value));
    }

    constexpr operator int() const { return value_; }

    Int16 &operator+=(long long step) { return *this = Checked(value_ + step); }
    Int16 &operator-=(long long step) { return *this = Checked(value_ - step); }
    Int16 &operator*=(long long factor) { return *this = Checked(value_ * factor); }

private:
    std::int16_t value_ = 0;
};
