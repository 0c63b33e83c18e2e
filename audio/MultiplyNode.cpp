#include "audio/MultiplyNode.h"

#include "audio/dsp/Dsp.h"

#include <algorithm>

namespace mirvo::audio {

MultiplyNode::MultiplyNode(float initialValue, const Format& format) : MathNode(initialValue, format)
{
}

void MultiplyNode::process(Buffer* buffer)
{
    if (mParam.isVaryingThisBlock()) {
        const float* values = mParam.getValueArray();
        const size_t channels = std::min(getNumChannels(), buffer->getNumChannels());
        for (size_t ch = 0; ch < channels; ++ch) {
            dsp::mul(buffer->getChannel(ch), values, buffer->getChannel(ch), buffer->getNumFrames());
        }
        return;
    }
    dsp::mul(buffer->getData(), mParam.getValue(), buffer->getData(), buffer->getSize());
}

} // namespace mirvo::audio
