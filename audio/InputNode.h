// A source at the head of a graph: it accepts no inputs, follows the channel count of the node
// it feeds unless told otherwise, and starts disabled unless its format says otherwise.
#pragma once

#include "audio/Node.h"

namespace mirvo::audio {

class InputNode : public Node {
  public:
    explicit InputNode(const Format& format = Format());

    // An input node accepts no inputs.
    void connectInput(const NodeRef& input) override {}
};

} // namespace mirvo::audio
