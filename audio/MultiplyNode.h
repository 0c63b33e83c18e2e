// Multiplies every sample passing through it by its parameter.
#pragma once

#include "audio/MathNode.h"

namespace mirvo::audio {

class MultiplyNode : public MathNode {
  public:
    explicit MultiplyNode(float initialValue = 1.0f, const Format& format = Format());

    // Audio thread.
    void process(Buffer* buffer) override;
};

} // namespace mirvo::audio
