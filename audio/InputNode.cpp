#include "audio/InputNode.h"

namespace mirvo::audio {

InputNode::InputNode(const Format& format) : Node(format)
{
    if (mChannelMode == ChannelMode::MATCHES_INPUT) {
        mChannelMode = ChannelMode::MATCHES_OUTPUT;
    }
    if (!format.isAutoEnableSet()) {
        mAutoEnabled = false;
    }
}

} // namespace mirvo::audio
