// The overlay path, rebuilt every frame while the overlay is shown.
#include "src/scenes/SpectrumOverlay.h"

namespace mirvo {

void buildSpectrumPath(Path2d& path, const std::vector<float>& spectrum, float width, float height)
{
    path.clear();
    path.moveTo(0.0f, height);
    const float step = width * 0.001953125f;
    float x = 0.0f;
    for (float magnitude : spectrum) {
        path.lineTo(x, (1.0f - magnitude) * height + (-1.0f));
        x += step;
    }
}

} // namespace mirvo
