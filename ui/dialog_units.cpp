// Dialog units to pixels.
#include "dialog_units.h"

#include <cstdint>
#include <limits>

int MulDivRounded(int number, int numerator, int denominator)
{
    if (denominator == 0)
        return -1;
    std::int64_t product = std::int64_t{number} * numerator;
    std::int64_t divisor = denominator;
    if (divisor < 0) {
        product = -product;
        divisor = -divisor;
    }
    const std::int64_t half = divisor / 2;
    const std::int64_t result = product >= 0 ? (product + half) / divisor : (product - half) / divisor;
    // Windows reserves -1 for failure and gives it for anything out of range.
    if (result > std::numeric_limits<int>::max() || result < -std::numeric_limits<int>::max())
        return -1;
    return static_cast<int>(result);
}

DialogRect DialogUnitsToPixels(const DialogRect& units, DialogBaseUnits base)
{
    return DialogRect{MulDivRounded(units.x, base.x, 4), MulDivRounded(units.y, base.y, 8),
                      MulDivRounded(units.width, base.x, 4), MulDivRounded(units.height, base.y, 8)};
}
