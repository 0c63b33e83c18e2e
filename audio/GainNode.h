// The volume stage: a multiply node whose parameter is the gain.
#pragma once

#include "audio/MultiplyNode.h"

namespace mirvo::audio {

class GainNode : public MultiplyNode {
  public:
    explicit GainNode(float initialValue = 1.0f, const Format& format = Format())
        : MultiplyNode(initialValue, format)
    {
    }
};

} // namespace mirvo::audio
