// The controller's per-frame treatment of the monitor's spectrum: a gain that ramps
// linearly from the lowest to the highest bin, then a clamp to 1, so every scene reads
// values in 0..1 with the treble lifted. Main thread.
#pragma once

#include <vector>

namespace mirvo {

// Bin i is multiplied by gain * (rampStart + (rampEnd - rampStart) * i / (N - 1)) and
// capped at 1.0. An empty spectrum is left as it is.
void shapeSpectrum(std::vector<float>& spectrum, float gain, float rampStart, float rampEnd);

} // namespace mirvo
