// A node carrying one numeric parameter. It renders nothing itself; the arithmetic nodes
// derive from it.
#pragma once

#include "audio/Node.h"
#include "audio/Param.h"

namespace mirvo::audio {

class MathNode : public Node {
  public:
    // Any thread.
    float getValue() const { return mParam.getValue(); }
    // Any thread.
    void setValue(float value) { mParam.setValue(value); }

  protected:
    MathNode(float initialValue, const Format& format);

    Param mParam;
};

} // namespace mirvo::audio
