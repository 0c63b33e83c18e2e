// A node's numeric parameter: one value the UI thread writes and the audio thread reads each
// block, atomically and without the graph lock. No automation drives it in this engine, so it
// never supplies per-sample values; the storage for them is kept for nodes that ask.
#pragma once

#include "audio/BufferDynamic.h"

#include <atomic>

namespace mirvo::audio {

class Node;

class Param {
  public:
    Param(Node* parentNode, float initialValue) : mValue(initialValue), mParentNode(parentNode) {}

    // Any thread.
    float getValue() const { return mValue.load(std::memory_order_relaxed); }
    // Any thread; takes effect at the next block at the latest.
    void setValue(float value) { mValue.store(value, std::memory_order_relaxed); }

    // Audio thread: whether this block has per-sample values (never, without automation).
    bool isVaryingThisBlock() const { return false; }
    // Audio thread: the per-sample values of this block, valid when isVaryingThisBlock.
    const float* getValueArray() const { return mInternalBuffer.getData(); }

    Node* getParentNode() const { return mParentNode; }

  private:
    std::atomic<float> mValue;
    Node* mParentNode;
    BufferDynamic mInternalBuffer;
};

} // namespace mirvo::audio
