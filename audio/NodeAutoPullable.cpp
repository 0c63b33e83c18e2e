#include "audio/NodeAutoPullable.h"

#include "audio/Context.h"

namespace mirvo::audio {

NodeAutoPullable::NodeAutoPullable(const Format& format) : Node(format), mIsPulledByContext(false)
{
}

void NodeAutoPullable::connect(const NodeRef& output)
{
    Node::connect(output);
    updatePullMethod();
}

void NodeAutoPullable::disconnectAllOutputs()
{
    Node::disconnectAllOutputs();
    if (mIsPulledByContext) {
        mIsPulledByContext = false;
        if (ContextRef context = getContext()) {
            context->removeAutoPulledNode(shared_from_this());
        }
    }
}

void NodeAutoPullable::connectInput(const NodeRef& input)
{
    Node::connectInput(input);
    updatePullMethod();
}

void NodeAutoPullable::disconnectInput(const NodeRef& input)
{
    Node::disconnectInput(input);
    updatePullMethod();
}

void NodeAutoPullable::configureConnections()
{
    Node::configureConnections();
    if (mIsPulledByContext) {
        if (ContextRef context = getContext()) {
            context->autoPulledNodeConfigured(*this);
        }
    }
}

void NodeAutoPullable::updatePullMethod()
{
    ContextRef context = getContext();
    if (!context) {
        return;
    }
    const bool hasOutputs = !getOutputs().empty();
    if (hasOutputs && mIsPulledByContext) {
        mIsPulledByContext = false;
        context->removeAutoPulledNode(shared_from_this());
    } else if (!hasOutputs && !mIsPulledByContext) {
        mIsPulledByContext = true;
        context->addAutoPulledNode(shared_from_this());
    }
}

} // namespace mirvo::audio
