#include "audio/MathNode.h"

namespace mirvo::audio {

MathNode::MathNode(float initialValue, const Format& format) : Node(format), mParam(this, initialValue)
{
}

} // namespace mirvo::audio
