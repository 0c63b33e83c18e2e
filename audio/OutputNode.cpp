#include "audio/OutputNode.h"

#include "audio/Context.h"
#include "audio/dsp/Dsp.h"

#include <cmath>

namespace mirvo::audio {

OutputNode::OutputNode(const Format& format)
    : Node(format), mLastClip(0), mClipDetectionEnabled(true), mClipThreshold(2.0f)
{
    if (!format.isAutoEnableSet()) {
        mAutoEnabled = false;
    }
}

bool OutputNode::checkClip(const Buffer& buffer)
{
    if (!mClipDetectionEnabled) {
        return false;
    }
    // Nearly every block is clean: one vectorised pass decides, and only a block that clipped is
    // scanned again for its first offending frame.
    const float threshold = mClipThreshold;
    if (!dsp::exceedsMagnitude(buffer.getData(), threshold, buffer.getSize())) {
        return false;
    }
    const size_t numFrames = buffer.getNumFrames();
    for (size_t ch = 0; ch < buffer.getNumChannels(); ++ch) {
        const float* channel = buffer.getChannel(ch);
        for (size_t frame = 0; frame < numFrames; ++frame) {
            if (std::fabs(channel[frame]) > threshold) {
                const Context* context = getRenderContext();
                mLastClip.store((context ? context->getNumProcessedFrames() : 0) + frame);
                return true;
            }
        }
    }
    return false;
}

} // namespace mirvo::audio
