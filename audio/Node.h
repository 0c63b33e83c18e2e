// The base of every element of the audio graph. Nodes are made by Context::makeNode and owned
// by shared pointers; a node holds its inputs strongly and its outputs weakly, so the graph is
// owned from the output end. The UI thread connects and configures (under the graph lock where
// marked); the audio thread pulls blocks through pullInputs with the graph lock held.
#pragma once

#include "audio/Buffer.h"
#include "audio/BufferDynamic.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace mirvo::audio {

class Context;
class Node;
using ContextRef = std::shared_ptr<Context>;
using NodeRef = std::shared_ptr<Node>;

enum class ChannelMode : int32_t {
    // The node keeps its channel count.
    SPECIFIED = 0,
    // The node takes the largest channel count among its inputs.
    MATCHES_INPUT = 1,
    // The node takes the channel count of the node it feeds.
    MATCHES_OUTPUT = 2
};

class Node : public std::enable_shared_from_this<Node> {
  public:
    // Construction options. A non-zero channel count implies ChannelMode::SPECIFIED.
    struct Format {
        Format() = default;

        Format& channels(size_t numChannels)
        {
            mChannels = numChannels;
            return *this;
        }
        Format& channelMode(ChannelMode mode)
        {
            mChannelMode = mode;
            return *this;
        }
        Format& autoEnable(bool autoEnable = true)
        {
            mAutoEnable = autoEnable;
            return *this;
        }

        size_t getChannels() const { return mChannels; }
        ChannelMode getChannelMode() const { return mChannelMode; }
        bool isAutoEnableSet() const { return mAutoEnable.has_value(); }
        bool getAutoEnable() const { return mAutoEnable.value_or(true); }

      private:
        size_t mChannels = 0;
        ChannelMode mChannelMode = ChannelMode::MATCHES_INPUT;
        std::optional<bool> mAutoEnable;
    };

    explicit Node(const Format& format);
    virtual ~Node();

    Node(const Node&) = delete;
    Node& operator=(const Node&) = delete;

    // Main thread; takes the graph lock. Throws NodeCycleExc when output already lies upstream.
    virtual void connect(const NodeRef& output);
    // Main thread; takes the graph lock.
    virtual void disconnect(const NodeRef& output);
    // Main thread; takes the graph lock.
    virtual void disconnectAll();
    // Main thread; takes the graph lock.
    virtual void disconnectAllOutputs();
    // Main thread; takes the graph lock.
    virtual void disconnectAllInputs();

    // The node's name, or the demangled name of its class when it has none. Allocates.
    virtual std::string getName() const;
    void setName(const std::string& name) { mName = name; }

    // Main thread (under the graph lock when reached from configuration): size buffers here.
    virtual void initialize() {}
    virtual void uninitialize() {}
    virtual void enableProcessing() {}
    virtual void disableProcessing() {}

    // Audio thread: transforms the block in place. The base lets it pass unchanged.
    virtual void process(Buffer* buffer) {}
    // Audio thread: pulls and sums every input into this node's own buffers.
    virtual void sumInputs();

    virtual bool supportsInputNumChannels(size_t numChannels) const { return numChannels == mNumChannels; }
    virtual bool supportsCycles() const { return false; }
    virtual bool supportsProcessInPlace() const { return true; }

    // Audio thread: renders one block into buffer (in place) or into this node's own buffers.
    void pullInputs(Buffer* inPlaceBuffer);

    // Main thread.
    void enable();
    // Main thread.
    void disable();
    // Main thread.
    void setEnabled(bool enable);
    // Any thread.
    bool isEnabled() const { return mEnabled.load(); }

    void initializeNode();
    void uninitializeNode();
    bool isInitialized() const { return mInitialized; }

    // Main thread; an initialised node is uninitialised until the next configuration.
    void setNumChannels(size_t numChannels);
    size_t getNumChannels() const { return mNumChannels; }
    void setChannelMode(ChannelMode mode) { mChannelMode = mode; }
    ChannelMode getChannelMode() const { return mChannelMode; }

    // An empty reference when the context is gone.
    ContextRef getContext() const { return mContext.lock(); }

    const std::set<NodeRef>& getInputs() const { return mInputs; }
    // The outputs still alive, in connection order.
    std::vector<NodeRef> getOutputs() const;
    // Every entry of the output list, expired ones included.
    size_t getNumConnectedOutputs() const { return mOutputs.size(); }
    bool isConnectedToInput(const NodeRef& input) const;

    const BufferDynamic* getInternalBuffer() const { return &mInternalBuffer; }
    BufferDynamic* getInternalBuffer() { return &mInternalBuffer; }
    bool getProcessesInPlace() const { return mProcessInPlace; }

    // Those of the context's output node, asked each time.
    size_t getSampleRate() const;
    size_t getFramesPerBlock() const;

    // Gives this node its own buffers, one block of the output by numChannels.
    void setupProcessWithSumming();

    bool isAutoEnabled() const { return mAutoEnabled; }

    // Main thread; the base takes the graph lock.
    virtual void connectInput(const NodeRef& input);
    // Main thread; the base takes the graph lock.
    virtual void disconnectInput(const NodeRef& input);
    // Main thread; the base takes the graph lock.
    virtual void disconnectOutput(const NodeRef& output);
    // Main thread with the graph lock held: decides channel counts and in-place processing.
    virtual void configureConnections();

  protected:
    void notifyConnectionsDidChange();
    // Main thread: the graph lock, held; not held when the context is gone.
    std::unique_lock<std::mutex> lockGraph() const;
    // True when an edge from source to dest would close a cycle.
    bool checkCycle(const NodeRef& source, const NodeRef& dest) const;

    // Audio thread: the context while it renders; a plain pointer keeps reference counts
    // out of the render path.
    Context* getRenderContext() const { return mRenderContext; }

    std::weak_ptr<Context> mContext;
    std::atomic<bool> mEnabled;
    bool mInitialized;
    bool mAutoEnabled;
    bool mProcessInPlace;
    ChannelMode mChannelMode;
    size_t mNumChannels;
    uint64_t mLastProcessedFrame;
    std::string mName;
    BufferDynamic mInternalBuffer;
    BufferDynamic mSummingBuffer;
    std::set<NodeRef> mInputs;
    std::vector<std::weak_ptr<Node>> mOutputs;

  private:
    friend class Context;
    void setContext(const ContextRef& context);

    Context* mRenderContext;
};

} // namespace mirvo::audio
