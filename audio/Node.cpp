#include "audio/Node.h"

#include "audio/Context.h"
#include "audio/Exception.h"
#include "audio/OutputNode.h"
#include "audio/dsp/Dsp.h"

#include <cxxabi.h>

#include <algorithm>
#include <cassert>
#include <cstdlib>
#include <limits>
#include <mutex>
#include <typeinfo>

namespace mirvo::audio {

Node::Node(const Format& format)
    : mEnabled(false), mInitialized(false), mAutoEnabled(true), mProcessInPlace(true),
      mChannelMode(format.getChannelMode()), mNumChannels(1),
      mLastProcessedFrame(std::numeric_limits<uint64_t>::max()), mRenderContext(nullptr)
{
    if (format.getChannels() != 0) {
        mNumChannels = format.getChannels();
        mChannelMode = ChannelMode::SPECIFIED;
    }
    if (format.isAutoEnableSet()) {
        mAutoEnabled = format.getAutoEnable();
    }
}

Node::~Node() = default;

void Node::setContext(const ContextRef& context)
{
    mContext = context;
    mRenderContext = context.get();
}

std::unique_lock<std::mutex> Node::lockGraph() const
{
    // A node that outlived its context has no render to keep out.
    ContextRef context = getContext();
    return context ? std::unique_lock<std::mutex>(context->getMutex()) : std::unique_lock<std::mutex>();
}

void Node::connect(const NodeRef& output)
{
    NodeRef self = shared_from_this();
    assert(output && "cannot connect to an empty node");
    if (output == self || output->isConnectedToInput(self)) {
        return;
    }
    if (checkCycle(self, output)) {
        throw NodeCycleExc(getName(), output->getName());
    }
    // Recorded before the output configures, so that its configuration sees this new consumer.
    mOutputs.push_back(output);
    output->connectInput(self);
    output->notifyConnectionsDidChange();
}

void Node::disconnect(const NodeRef& output)
{
    if (!output) {
        return;
    }
    auto found = std::find_if(mOutputs.begin(), mOutputs.end(),
                              [&](const std::weak_ptr<Node>& entry) { return entry.lock() == output; });
    if (found != mOutputs.end()) {
        mOutputs.erase(found);
    }
    output->disconnectInput(shared_from_this());
    output->notifyConnectionsDidChange();
}

void Node::disconnectAll()
{
    disconnectAllInputs();
    disconnectAllOutputs();
}

void Node::disconnectAllOutputs()
{
    NodeRef self = shared_from_this();
    for (const NodeRef& output : getOutputs()) {
        disconnect(output);
    }
}

void Node::disconnectAllInputs()
{
    NodeRef self = shared_from_this();
    for (const NodeRef& input : mInputs) {
        input->disconnectOutput(self);
    }
    // The released inputs may be the last references to them; they are destroyed after the
    // lock is let go, so that no destructor runs under it.
    std::set<NodeRef> released;
    {
        std::unique_lock<std::mutex> lock = lockGraph();
        released.swap(mInputs);
    }
    notifyConnectionsDidChange();
}

void Node::connectInput(const NodeRef& input)
{
    std::unique_lock<std::mutex> lock = lockGraph();
    mInputs.insert(input);
    configureConnections();
}

void Node::disconnectInput(const NodeRef& input)
{
    std::set<NodeRef>::node_type released;
    {
        std::unique_lock<std::mutex> lock = lockGraph();
        released = mInputs.extract(input);
    }
}

void Node::disconnectOutput(const NodeRef& output)
{
    std::unique_lock<std::mutex> lock = lockGraph();
    auto found = std::find_if(mOutputs.begin(), mOutputs.end(),
                              [&](const std::weak_ptr<Node>& entry) { return entry.lock() == output; });
    if (found != mOutputs.end()) {
        mOutputs.erase(found);
    }
}

void Node::notifyConnectionsDidChange()
{
    if (ContextRef context = getContext()) {
        context->connectionsDidChange(shared_from_this());
    }
}

bool Node::checkCycle(const NodeRef& source, const NodeRef& dest) const
{
    if (source == dest) {
        return true;
    }
    if (source->supportsCycles() || dest->supportsCycles()) {
        return false;
    }
    for (const NodeRef& input : source->getInputs()) {
        if (checkCycle(input, dest)) {
            return true;
        }
    }
    return false;
}

void Node::configureConnections()
{
    mProcessInPlace = supportsProcessInPlace();
    if (mInputs.size() > 1 || mOutputs.size() > 1) {
        mProcessInPlace = false;
    }
    bool inputChannelsDiffer = false;
    if (!mInputs.empty()) {
        const size_t firstChannels = (*mInputs.begin())->getNumChannels();
        for (const NodeRef& input : mInputs) {
            inputChannelsDiffer = inputChannelsDiffer || input->getNumChannels() != firstChannels;
        }
    }
    // Asked when needed: an earlier input may have just followed this node's count.
    auto maxInputChannels = [this] {
        size_t widest = 0;
        for (const NodeRef& input : mInputs) {
            widest = std::max(widest, input->getNumChannels());
        }
        return widest;
    };

    for (const NodeRef& input : mInputs) {
        bool inputProcessesInPlace = true;
        if (!supportsInputNumChannels(input->getNumChannels())) {
            if (mChannelMode == ChannelMode::MATCHES_INPUT) {
                setNumChannels(maxInputChannels());
            } else if (input->getChannelMode() == ChannelMode::MATCHES_OUTPUT) {
                input->setNumChannels(mNumChannels);
                input->configureConnections();
            } else {
                mProcessInPlace = false;
                inputProcessesInPlace = false;
            }
        }
        // A node that feeds several consumers renders once into its own buffers.
        if (input->getProcessesInPlace() && input->getNumConnectedOutputs() > 1) {
            inputProcessesInPlace = false;
        }
        if (inputChannelsDiffer) {
            inputProcessesInPlace = false;
        }
        if (!inputProcessesInPlace) {
            input->setupProcessWithSumming();
        }
        input->initializeNode();
    }

    for (const std::weak_ptr<Node>& entry : mOutputs) {
        NodeRef output = entry.lock();
        if (!output || output->supportsInputNumChannels(mNumChannels)) {
            continue;
        }
        if (output->getChannelMode() == ChannelMode::MATCHES_INPUT) {
            output->setNumChannels(mNumChannels);
            output->configureConnections();
        } else {
            mProcessInPlace = false;
        }
    }

    if (!mProcessInPlace) {
        setupProcessWithSumming();
    }
    initializeNode();
}

void Node::setupProcessWithSumming()
{
    mProcessInPlace = false;
    const size_t framesPerBlock = getFramesPerBlock();
    mInternalBuffer.setSize(framesPerBlock, mNumChannels);
    mSummingBuffer.setSize(framesPerBlock, mNumChannels);
}

void Node::pullInputs(Buffer* inPlaceBuffer)
{
    if (mProcessInPlace) {
        if (mInputs.empty()) {
            if (mEnabled.load(std::memory_order_relaxed)) {
                process(inPlaceBuffer);
            } else {
                inPlaceBuffer->zero();
            }
            return;
        }
        Node* input = mInputs.begin()->get();
        input->pullInputs(inPlaceBuffer);
        if (!input->getProcessesInPlace()) {
            const Buffer* rendered = input->getInternalBuffer();
            dsp::mixBuffers(rendered, inPlaceBuffer,
                            std::min(rendered->getNumFrames(), inPlaceBuffer->getNumFrames()));
        }
        if (mEnabled.load(std::memory_order_relaxed)) {
            process(inPlaceBuffer);
        }
        return;
    }

    // Several consumers may pull this node in one block; it renders for the first only.
    const uint64_t numProcessedFrames = mRenderContext->getNumProcessedFrames();
    if (numProcessedFrames != mLastProcessedFrame) {
        mLastProcessedFrame = numProcessedFrames;
        sumInputs();
    }
}

void Node::sumInputs()
{
    // The sum starts from silence. When the first input fills the summing buffer channel for
    // channel, copying it is that same sum in one pass instead of a clear and an add.
    bool summingBufferHoldsSum = false;
    for (const NodeRef& inputRef : mInputs) {
        Node* input = inputRef.get();
        input->pullInputs(&mInternalBuffer);
        const Buffer* rendered = input->getProcessesInPlace() ? &mInternalBuffer : input->getInternalBuffer();
        const size_t numFrames = std::min(rendered->getNumFrames(), mSummingBuffer.getNumFrames());
        if (!summingBufferHoldsSum && rendered->getNumChannels() == mSummingBuffer.getNumChannels() &&
            numFrames == mSummingBuffer.getNumFrames()) {
            dsp::mixBuffers(rendered, &mSummingBuffer, numFrames);
        } else {
            if (!summingBufferHoldsSum) {
                mSummingBuffer.zero();
            }
            dsp::sumBuffers(rendered, &mSummingBuffer, numFrames);
        }
        summingBufferHoldsSum = true;
    }
    if (!summingBufferHoldsSum) {
        mSummingBuffer.zero();
    }
    if (mEnabled.load(std::memory_order_relaxed)) {
        process(&mSummingBuffer);
    }
    dsp::mixBuffers(&mSummingBuffer, &mInternalBuffer,
                    std::min(mSummingBuffer.getNumFrames(), mInternalBuffer.getNumFrames()));
}

void Node::enable()
{
    if (!mInitialized) {
        initializeNode();
    }
    if (!mEnabled) {
        mEnabled = true;
        enableProcessing();
    }
}

void Node::disable()
{
    if (mEnabled) {
        mEnabled = false;
        disableProcessing();
    }
}

void Node::setEnabled(bool enable)
{
    if (enable) {
        this->enable();
    } else {
        disable();
    }
}

void Node::initializeNode()
{
    if (mInitialized) {
        return;
    }
    if (mProcessInPlace && !supportsProcessInPlace()) {
        setupProcessWithSumming();
    }
    initialize();
    mInitialized = true;
    if (mAutoEnabled) {
        enable();
    }
}

void Node::uninitializeNode()
{
    if (!mInitialized) {
        return;
    }
    if (mAutoEnabled && mEnabled) {
        mEnabled = false;
        disableProcessing();
    }
    uninitialize();
    mInitialized = false;
}

void Node::setNumChannels(size_t numChannels)
{
    if (numChannels == mNumChannels) {
        return;
    }
    uninitializeNode();
    mNumChannels = numChannels;
}

std::vector<NodeRef> Node::getOutputs() const
{
    std::vector<NodeRef> outputs;
    outputs.reserve(mOutputs.size());
    for (const std::weak_ptr<Node>& entry : mOutputs) {
        if (NodeRef output = entry.lock()) {
            outputs.push_back(std::move(output));
        }
    }
    return outputs;
}

bool Node::isConnectedToInput(const NodeRef& input) const
{
    return mInputs.count(input) > 0;
}

size_t Node::getSampleRate() const
{
    ContextRef context = getContext();
    assert(context && "a node needs a live context for its sample rate");
    return context->getOutput()->getSampleRate();
}

size_t Node::getFramesPerBlock() const
{
    ContextRef context = getContext();
    assert(context && "a node needs a live context for its block size");
    return context->getOutput()->getFramesPerBlock();
}

std::string Node::getName() const
{
    if (!mName.empty()) {
        return mName;
    }
    const char* rawName = typeid(*this).name();
    int status = 0;
    char* demangled = abi::__cxa_demangle(rawName, nullptr, nullptr, &status);
    std::string name = (status == 0 && demangled) ? demangled : rawName;
    std::free(demangled);
    return name;
}

} // namespace mirvo::audio
