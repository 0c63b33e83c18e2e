// The owner of an audio graph: its output node, the nodes it pulls itself after every block,
// the graph lock and the count of rendered frames. The UI thread builds and changes the graph;
// the device thread renders it with the graph lock held. The process-wide master context and
// device manager are made by the platform layer on first use and torn down at app shutdown.
#pragma once

#include "audio/BufferDynamic.h"
#include "audio/Node.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <set>
#include <vector>

namespace mirvo::audio {

class Device;
class DeviceManager;
class OutputNode;
class OutputDeviceNode;
class InputDeviceNode;
using DeviceRef = std::shared_ptr<Device>;
using OutputNodeRef = std::shared_ptr<OutputNode>;
using OutputDeviceNodeRef = std::shared_ptr<OutputDeviceNode>;
using InputDeviceNodeRef = std::shared_ptr<InputDeviceNode>;

class Context : public std::enable_shared_from_this<Context> {
  public:
    virtual ~Context();

    Context(const Context&) = delete;
    Context& operator=(const Context&) = delete;

    // The platform's context, made on first use; its teardown is hooked to app shutdown.
    // Main thread. Defined by the platform device layer.
    static Context* master();
    // The platform's device manager, made on first use. Main thread. Defined by the platform
    // device layer.
    static DeviceManager* deviceManager();
    // Hooks the teardown of both statics to the application's shutdown signal.
    static void registerClearStatics();

    // Main thread.
    virtual OutputDeviceNodeRef createOutputDeviceNode(const DeviceRef& device,
                                                       const Node::Format& format = Node::Format()) = 0;
    // Main thread.
    virtual InputDeviceNodeRef createInputDeviceNode(const DeviceRef& device,
                                                     const Node::Format& format = Node::Format()) = 0;

    // Main thread: replaces the output reference and nothing else.
    virtual void setOutput(const OutputNodeRef& output);
    // Main thread: the output node, made for the default output device on first use.
    virtual const OutputNodeRef& getOutput();

    // Main thread: starts rendering (the output node starts its device).
    virtual void enable();
    // Main thread.
    virtual void disable();
    void setEnabled(bool enable);
    bool isEnabled() const { return mEnabled; }

    // Main thread; reached after every connection change.
    virtual void connectionsDidChange(const NodeRef& node) {}

    // Main thread: takes ownership of a freshly constructed node and binds it to this context.
    // Throws std::bad_weak_ptr when this context is not owned by a shared pointer.
    template <typename NodeT> std::shared_ptr<NodeT> makeNode(NodeT* node)
    {
        std::shared_ptr<NodeT> result(node);
        result->setContext(shared_from_this());
        rememberNode(result);
        return result;
    }

    std::mutex& getMutex() { return mMutex; }
    // Any thread.
    uint64_t getNumProcessedFrames() const { return mNumProcessedFrames.load(); }

    // Main thread, not under the graph lock (the context is disabled around these). Initialising
    // also reshapes the auto-pull scratch block to the output's current block size.
    void initializeAllNodes();
    void uninitializeAllNodes();
    virtual void disconnectAllNodes();

    // Main thread; take the graph lock.
    void addAutoPulledNode(const NodeRef& node);
    void removeAutoPulledNode(const NodeRef& node);
    const std::set<NodeRef>& getAutoPulledNodes() const { return mAutoPulledNodes; }
    // Main thread, with the graph lock held or the context disabled: an auto-pulled node has
    // been configured, perhaps with a new channel count. The scratch block is made ready for it
    // here, so that the audio thread never has to grow it.
    void autoPulledNodeConfigured(const Node& node);
    // The scratch block the auto-pulled nodes render into (for inspection).
    const BufferDynamic& getAutoPullBuffer() const { return mAutoPullBuffer; }

    // Audio thread, with the graph lock held: pulls the nodes nobody downstream pulls.
    void processAutoPulledNodes();
    // Audio thread, with the graph lock held: once at the end of every rendered block.
    void postProcess();

  protected:
    Context();

    // The output getOutput makes when none is set. The platform context makes one for the
    // default output device; a context without devices has none to offer.
    virtual OutputNodeRef makeDefaultOutput();

  private:
    // Main thread: keeps a weak reference to every node made here, so that teardown can stop
    // the ones the graph no longer reaches.
    void rememberNode(const NodeRef& node);
    void walkGraph(const std::function<void(const NodeRef&)>& action);
    // Main thread, with the graph lock held or the context disabled: one block of the output's
    // size by the widest channel count seen so far (and at least numChannels).
    void sizeAutoPullBuffer(size_t framesPerBlock, size_t numChannels);

    std::atomic<uint64_t> mNumProcessedFrames;
    OutputNodeRef mOutput;
    std::set<NodeRef> mAutoPulledNodes;
    std::vector<Node*> mAutoPullCache;
    bool mAutoPullRequired;
    bool mAutoPullCacheDirty;
    BufferDynamic mAutoPullBuffer;
    // The widest auto-pulled node so far: the scratch block's storage holds that many channels.
    size_t mAutoPullChannels = 2;
    std::mutex mMutex;
    bool mEnabled;
    // Every node made by makeNode that may still live; expired entries are dropped as it grows.
    std::vector<std::weak_ptr<Node>> mMadeNodes;
    size_t mMadeNodesPruneAt = 64;
};

} // namespace mirvo::audio
