// Plays a SourceFile into the graph. A read-ahead thread decodes into one lock-free ring per
// channel and the audio thread only copies out of the rings and, when they run low, signals
// the reader. The player lock (the node's mutex with read-ahead, the graph lock without)
// serialises every use of the source: refills, seeks, stop and replacing the file.
// A decoder failure during a refill ends playback cleanly; getLastError tells what happened.
#pragma once

#include "audio/BufferDynamic.h"
#include "audio/SamplePlayerNode.h"
#include "audio/SourceFile.h"
#include "audio/dsp/RingBuffer.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace mirvo::audio {

class FilePlayerNode;
using FilePlayerNodeRef = std::shared_ptr<FilePlayerNode>;

class FilePlayerNode : public SamplePlayerNode {
  public:
    // The node takes the source's channel count. isReadAsync true decodes on a thread of the
    // node's own; false decodes on the audio thread.
    explicit FilePlayerNode(const SourceFileRef& sourceFile = {}, bool isReadAsync = true,
                            const Format& format = Format());
    ~FilePlayerNode() override;

    void start() override;
    void stop() override;
    // With read-ahead the reader repositions the source at its next refill; up to one ring of
    // audio from the old position still plays.
    void seek(size_t frame) override;

    // Main thread; takes the graph lock. Plays sourceFile next (resampled to the graph's rate
    // when needed); the caller follows up with start.
    void setSourceFile(const SourceFileRef& sourceFile);
    // Main thread.
    const SourceFileRef& getSourceFile() const { return mSourceFile; }

    bool isReadAsync() const { return mIsReadAsync; }
    // Any thread: the context's frame count when a block last found the rings short, and when
    // a refill last found no room or nothing left to read; 0 until it happens.
    uint64_t getLastUnderrun() const { return mLastUnderrun.load(); }
    uint64_t getLastOverrun() const { return mLastOverrun.load(); }
    // Any thread: blocks that found the rings short in mid-material since the last start.
    uint64_t getNumUnderruns() const { return mNumUnderruns.load(); }
    // Any thread: frames buffered ahead of the audio thread, in every channel's ring.
    size_t getNumBufferedFrames() const;
    // Main thread: why the decoder stopped playback, empty while nothing failed. Kept until the
    // next start, seek or setSourceFile.
    std::string getLastError() const;

  protected:
    void initialize() override;
    void uninitialize() override;
    void enableProcessing() override;
    void disableProcessing() override {}
    // Audio thread.
    void process(Buffer* buffer) override;

  private:
    // Read thread: sleeps until the audio thread asks for more, then refills.
    void readAsyncTask();
    // Fills the rings from the source; the player lock is held. Never throws: a decoder failure
    // is recorded and ends the material.
    void readFile();
    void recordFailure(const char* message);
    void stopReadThread();
    std::mutex& getPlayerMutex();
    uint64_t currentFrame() const;

    std::vector<dsp::RingBuffer> mRingBuffers;
    BufferDynamic mIoBuffer;
    SourceFileRef mSourceFile;
    size_t mBufferFramesThreshold = 0;
    size_t mRingBufferPaddingFactor = 2;
    std::atomic<uint64_t> mLastUnderrun{0};
    std::atomic<uint64_t> mLastOverrun{0};
    std::atomic<uint64_t> mNumUnderruns{0};
    std::unique_ptr<std::thread> mReadThread;
    std::mutex mMutex;
    std::condition_variable mCondition;
    bool mIsReadAsync;
    std::atomic<bool> mAsyncReadShouldQuit{false};
    // Set by the audio thread before it signals, so that a signal sent while the reader is
    // busy is not lost.
    std::atomic<bool> mRefillRequested{false};
    // The source returned nothing (or failed) before its stated length: the material ends
    // where the rings run dry.
    std::atomic<bool> mSourceExhausted{false};
    // Whether the last readFile moved frames into the rings; read thread only.
    bool mRefillProgressed = false;
    mutable std::mutex mErrorMutex;
    std::string mLastError;
};

} // namespace mirvo::audio
