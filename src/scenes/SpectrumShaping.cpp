// Gain ramp and clamp of the shared spectrum.
#include "src/scenes/SpectrumShaping.h"

#include <algorithm>

namespace mirvo {

void shapeSpectrum(std::vector<float>& spectrum, float gain, float rampStart, float rampEnd)
{
    const float base = rampStart * gain;
    const float slope = gain * (rampEnd - rampStart);
    const float last = static_cast<float>(spectrum.size()) - 1.0f;
    // A one-bin spectrum would divide 0 by 0; it gets the ramp's start.
    const float divisor = last > 0.0f ? last : 1.0f;
    float i = 0.0f;
    for (float& value : spectrum) {
        value = std::min((i / divisor * slope + base) * value, 1.0f);
        i += 1.0f;
    }
}

} // namespace mirvo
