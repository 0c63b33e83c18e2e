// Band averaging shared by every scene.
#include "src/scenes/Visualizer.h"

#include <cassert>
#include <utility>

namespace mirvo {

Visualizer::Visualizer(MonitorSpectralNodeRef monitor, std::vector<float>& spectrum)
    : mLowStart(0.0f), mLowEnd(0.2f), mMidStart(0.3f), mMidEnd(0.6f), mHighStart(0.7f), mHighEnd(0.96f),
      mMonitor(std::move(monitor)), mSpectrum(&spectrum)
{
}

float Visualizer::avgMagnitudeInRange(std::size_t startIdx, std::size_t endIdx) const
{
    assert(startIdx < endIdx && "startIdx < endIdx");
    float sum = 0.0f;
    for (std::size_t i = startIdx; i <= endIdx; ++i) {
        sum += mSpectrum->at(i);
    }
    // The divisor is the index distance, one less than the number of bins summed; the
    // scenes' tuning assumes it.
    return sum / static_cast<float>(endIdx - startIdx);
}

float Visualizer::avgMagnitudeInRange(float start, float end) const
{
    assert(start < end && "start < end");
    const float n = static_cast<float>(mSpectrum->size());
    return avgMagnitudeInRange(static_cast<std::size_t>(start * n), static_cast<std::size_t>(end * n));
}

} // namespace mirvo
