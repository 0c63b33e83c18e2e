// A node the context pulls itself after every block while nothing downstream pulls it, so
// that an analysis node at the end of a branch still sees every block.
#pragma once

#include "audio/Node.h"

namespace mirvo::audio {

class NodeAutoPullable : public Node {
  public:
    // Main thread.
    void connect(const NodeRef& output) override;
    // Main thread: a node cut loose this way is pulled by nobody until its next connection change.
    void disconnectAllOutputs() override;
    // Main thread.
    void connectInput(const NodeRef& input) override;
    // Main thread.
    void disconnectInput(const NodeRef& input) override;
    // Main thread with the graph lock held (or the context disabled): also lets the context size
    // its scratch block for this node's channel count, which may just have changed.
    void configureConnections() override;

    bool isPulledByContext() const { return mIsPulledByContext; }

  protected:
    explicit NodeAutoPullable(const Format& format);

    // Main thread: joins or leaves the context's auto-pulled set as the live outputs say.
    void updatePullMethod();

  private:
    bool mIsPulledByContext;
};

} // namespace mirvo::audio
