// The optional overlay of the shaped spectrum: a white line across the window with bin k at
// x = k * width / 512, so only the lower half of a 1024-bin spectrum is on screen. Main thread.
#pragma once

#include "core/Path2d.h"
#include "core/Vec.h"

#include <vector>

namespace mirvo {

// One pixel above the bottom edge for 0, one pixel above the top edge for 1.
void buildSpectrumPath(Path2d& path, const std::vector<float>& spectrum, float width, float height);

// The x position of bin `index` on the overlay, shared by the path and the markers.
inline float spectrumBinX(float index, float width)
{
    return index * (width * 0.001953125f);
}

} // namespace mirvo
