#include "core/Color.h"

#include <cmath>

namespace mirvo {

Color hsvToRgb(float h, float s, float v)
{
    if (h == 1.f) {
        h = 0.f;
    }
    const float h6 = h * 6.f;
    const float sectorFloor = std::floor(h6);
    const float f = h6 - sectorFloor;
    const float p = v * (1.f - s);
    const float q = v * (1.f - s * f);
    const float t = v * (1.f - s * (1.f - f));
    // Compare as float first: a NaN or huge hue must not reach the int conversion.
    if (!(sectorFloor >= 0.f && sectorFloor <= 5.f)) {
        return {0.f, 0.f, 0.f};
    }
    switch (static_cast<int>(sectorFloor)) {
    case 0:
        return {v, t, p};
    case 1:
        return {q, v, p};
    case 2:
        return {p, v, t};
    case 3:
        return {p, q, v};
    case 4:
        return {t, p, v};
    default:
        return {v, p, q};
    }
}

} // namespace mirvo
