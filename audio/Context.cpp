#include "audio/Context.h"

#include "audio/OutputNode.h"
#include "audio/dsp/Dsp.h"

#include <algorithm>
#include <cassert>

namespace mirvo::audio {

Context::Context()
    : mNumProcessedFrames(0), mAutoPullRequired(false), mAutoPullCacheDirty(false), mEnabled(false)
{
}

Context::~Context()
{
    // The device stops before anything it renders is torn down.
    if (mEnabled) {
        mEnabled = false;
        if (mOutput) {
            mOutput->disable();
        }
    }
    // Released after the lock is let go, should one of them be the last reference.
    std::vector<NodeRef> unreached;
    std::lock_guard<std::mutex> lock(mMutex);
    uninitializeAllNodes();
    // A node the graph no longer reaches may still be initialised, a file player's reader
    // still running: every thread a node of this context started ends before the context goes.
    for (const std::weak_ptr<Node>& entry : mMadeNodes) {
        if (NodeRef node = entry.lock()) {
            node->uninitializeNode();
            unreached.push_back(std::move(node));
        }
    }
}

void Context::rememberNode(const NodeRef& node)
{
    if (mMadeNodes.size() >= mMadeNodesPruneAt) {
        mMadeNodes.erase(std::remove_if(mMadeNodes.begin(), mMadeNodes.end(),
                                        [](const std::weak_ptr<Node>& entry) { return entry.expired(); }),
                         mMadeNodes.end());
        mMadeNodesPruneAt = std::max<size_t>(64, 2 * mMadeNodes.size());
    }
    mMadeNodes.push_back(node);
}

void Context::setOutput(const OutputNodeRef& output)
{
    mOutput = output;
}

const OutputNodeRef& Context::getOutput()
{
    if (!mOutput) {
        mOutput = makeDefaultOutput();
    }
    return mOutput;
}

OutputNodeRef Context::makeDefaultOutput()
{
    assert(false && "this context has no default output; give it one with setOutput");
    return {};
}

void Context::enable()
{
    if (mEnabled) {
        return;
    }
    const OutputNodeRef& output = getOutput();
    if (!output->isInitialized()) {
        output->initializeNode();
    }
    mEnabled = true;
    output->enable();
}

void Context::disable()
{
    if (!mEnabled) {
        return;
    }
    mEnabled = false;
    if (mOutput) {
        mOutput->disable();
    }
}

void Context::setEnabled(bool enable)
{
    if (enable) {
        this->enable();
    } else {
        disable();
    }
}

void Context::walkGraph(const std::function<void(const NodeRef&)>& action)
{
    std::set<Node*> visited;
    // Inputs are handled before the nodes they feed.
    std::function<void(const NodeRef&)> visit = [&](const NodeRef& node) {
        if (!node || !visited.insert(node.get()).second) {
            return;
        }
        const std::set<NodeRef> inputs = node->getInputs();
        for (const NodeRef& input : inputs) {
            visit(input);
        }
        action(node);
    };
    visit(mOutput);
    const std::set<NodeRef> autoPulled = mAutoPulledNodes;
    for (const NodeRef& node : autoPulled) {
        visit(node);
    }
}

void Context::initializeAllNodes()
{
    walkGraph([](const NodeRef& node) { node->configureConnections(); });
    // After a format change the scratch block must match the new block size before the device
    // renders again; the nodes' own buffers were resized by their configuration above.
    if (mOutput) {
        size_t channels = 0;
        for (const NodeRef& node : mAutoPulledNodes) {
            channels = std::max(channels, node->getNumChannels());
        }
        sizeAutoPullBuffer(mOutput->getFramesPerBlock(), channels);
    }
}

void Context::uninitializeAllNodes()
{
    walkGraph([](const NodeRef& node) { node->uninitializeNode(); });
}

void Context::disconnectAllNodes()
{
    walkGraph([](const NodeRef& node) { node->disconnectAllInputs(); });
}

void Context::addAutoPulledNode(const NodeRef& node)
{
    // Asked before locking: making a default output must not happen under the graph lock.
    const size_t framesPerBlock = getOutput()->getFramesPerBlock();

    std::lock_guard<std::mutex> lock(mMutex);
    mAutoPulledNodes.insert(node);
    mAutoPullRequired = true;
    mAutoPullCacheDirty = true;
    // The audio thread rebuilds the cache and reshapes the scratch block; both are sized here
    // so that it never has to allocate.
    mAutoPullCache.reserve(mAutoPulledNodes.size());
    sizeAutoPullBuffer(framesPerBlock, node->getNumChannels());
}

void Context::autoPulledNodeConfigured(const Node& node)
{
    // Configuration already asked the output for its block size, so it exists by now.
    if (mOutput) {
        sizeAutoPullBuffer(mOutput->getFramesPerBlock(), node.getNumChannels());
    }
}

void Context::sizeAutoPullBuffer(size_t framesPerBlock, size_t numChannels)
{
    mAutoPullChannels = std::max(mAutoPullChannels, numChannels);
    // Exactly one block: a longer one would hand the monitors frames this block never rendered.
    mAutoPullBuffer.setSize(framesPerBlock, mAutoPullChannels);
}

void Context::removeAutoPulledNode(const NodeRef& node)
{
    std::set<NodeRef>::node_type released;
    std::lock_guard<std::mutex> lock(mMutex);
    released = mAutoPulledNodes.extract(node);
    mAutoPullCacheDirty = true;
    if (mAutoPulledNodes.empty()) {
        mAutoPullRequired = false;
    }
}

void Context::processAutoPulledNodes()
{
    if (!mAutoPullRequired) {
        return;
    }
    if (mAutoPullCacheDirty) {
        mAutoPullCache.clear();
        for (const NodeRef& node : mAutoPulledNodes) {
            mAutoPullCache.push_back(node.get());
        }
        mAutoPullCacheDirty = false;
    }
    // The scratch block's storage was sized on the UI thread for the widest auto-pulled node; a
    // node that grew without its configuration telling the context renders fewer channels
    // rather than allocating here.
    const size_t framesPerBlock = std::max<size_t>(mAutoPullBuffer.getNumFrames(), 1);
    const size_t channelCapacity = mAutoPullBuffer.getAllocatedSize() / framesPerBlock;
    for (Node* node : mAutoPullCache) {
        mAutoPullBuffer.setNumChannels(std::min(node->getNumChannels(), channelCapacity));
        node->pullInputs(&mAutoPullBuffer);
        if (!node->getProcessesInPlace()) {
            const Buffer* rendered = node->getInternalBuffer();
            dsp::mixBuffers(rendered, &mAutoPullBuffer,
                            std::min(rendered->getNumFrames(), mAutoPullBuffer.getNumFrames()));
        }
    }
}

void Context::postProcess()
{
    processAutoPulledNodes();
    mNumProcessedFrames.fetch_add(mOutput->getFramesPerBlock());
}

} // namespace mirvo::audio
