// Loop points of the player base.
#include "audio/SamplePlayerNode.h"

#include <algorithm>

namespace mirvo::audio {

void SamplePlayerNode::setLoopBegin(size_t frame)
{
    mLoopBegin = std::min(frame, mNumFrames);
}

void SamplePlayerNode::setLoopEnd(size_t frame)
{
    mLoopEnd = std::min(frame, mNumFrames);
}

} // namespace mirvo::audio
