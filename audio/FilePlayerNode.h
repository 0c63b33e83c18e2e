// Plays a SourceFile into the graph. A read-ahead thread decodes into one lock-free ring per
// channel and the audio thread only copies out of the rings and, when they run low, signals
// the reader. The player lock (the node's mutex with read-ahead, the graph lock without)
// serialises every use of the source: refills, seeks, start, stop and replacing the file.
// Starting and replacing the file prepare the new rings on the main thread and only swap them
// in under the graph lock, so the audio thread never waits for a decoder.
// A decoder failure during a refill ends playback cleanly; getLastError tells what happened.
#pragma once

#include "audio/BufferDynamic.h"
#include "audio/SamplePlayerNode.h"
#include "audio/SourceFile.h"
#include "audio/dsp/RingBuffer.h"

#include <array>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
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

    // Main thread; takes the player lock, then the graph lock. Plays from the first frame: the
    // first block rendered after the call carries it, with nothing of what played before.
    void start() override;
    // Main thread; takes the player lock, then the graph lock.
    void stop() override;
    // Main thread. With read-ahead the reader repositions the source at its next refill; what it
    // read ahead from the old position (up to half a second) still plays.
    void seek(size_t frame) override;
    // Main thread; takes the player lock, then the graph lock. Moves what is heard to frame at
    // once (clamped to a known length): the rings are filled from there on this thread and
    // swapped in, the old audio fades out over a few milliseconds as the new fades in, and a
    // queued file still follows. At a known end the material ends, or the queued file goes on.
    void jumpTo(size_t frame);

    // Main thread; takes the player lock, then the graph lock. Replaces the music and plays it
    // from its first frame: the first block the audio thread renders afterwards is the new
    // file's first frames. Throws AudioFileExc when the file cannot be prepared (its resampling
    // copy does not open, or its first frames do not decode; reason NO_AUDIO when it turns out
    // to hold not one frame); the current music then plays on untouched.
    void playSourceFile(const SourceFileRef& sourceFile);
    // Main thread; takes the player lock, then the graph lock. Like playSourceFile, but keeps
    // the node enabled or disabled as it was.
    void setSourceFile(const SourceFileRef& sourceFile);
    // Main thread; takes the player lock. Lets sourceFile follow the current file without a
    // gap: the reader moves on to it once it has read the current file's last frame, into the
    // same rings, so its first frame plays straight after the current file's last. False, with
    // nothing queued, when it cannot follow that way (no read-ahead, a loop, another channel
    // count); the caller then plays it when the current file ends. A later call replaces the
    // queued file, a null one withdraws it; starting, stopping or replacing the music drops it.
    bool queueSourceFile(const SourceFileRef& sourceFile);
    // Any thread: a queued file waits for the reader to move on to it.
    bool isHandoffPending() const { return mHandoffPending.load(); }
    // Any thread: how often the reader has moved on to a queued file.
    uint64_t getNumHandoffs() const { return mNumHandoffs.load(); }
    // Any thread: of those, how many the audio thread has played into: the reader moves on as
    // soon as the current file is all in the rings, up to their length before it is heard.
    uint64_t getNumHandoffsHeard() const { return mNumHandoffsHeard.load(); }
    // Main thread. Once a queued file has followed, the reader has changed it.
    const SourceFileRef& getSourceFile() const { return mSourceFile; }

    bool isReadAsync() const { return mIsReadAsync; }
    // Any thread: the context's frame count when a block last found the rings short, and when
    // a refill last found no room or nothing left to read; 0 until it happens.
    uint64_t getLastUnderrun() const { return mLastUnderrun.load(); }
    uint64_t getLastOverrun() const { return mLastOverrun.load(); }
    // Any thread: blocks that found the rings short in mid-material since the last start.
    uint64_t getNumUnderruns() const { return mNumUnderruns.load(); }
    // Main thread: frames buffered ahead of the audio thread, in every channel's ring.
    size_t getNumBufferedFrames() const;
    // Any thread: the length in frames of the material now being read (the file a hand-off
    // moved to, from getNumHandoffs' change on), once it is certain: at once where the file
    // states it exactly, otherwise when the reader reaches the decoder's end, which may be
    // before or after the estimate getNumFrames gave. nullopt until then.
    std::optional<size_t> getKnownNumFrames() const;
    // Main thread: why the decoder stopped playback, empty while nothing failed. Kept until the
    // next start, seek or change of file.
    std::string getLastError() const;

  protected:
    void initialize() override;
    void uninitialize() override;
    void enableProcessing() override;
    void disableProcessing() override {}
    // Audio thread.
    void process(Buffer* buffer) override;

  private:
    // Everything a source needs to play, made ready away from the audio thread and swapped in
    // whole; after the swap it holds what was replaced, to be released on the main thread.
    struct Playback {
        SourceFileRef source;
        std::vector<dsp::RingBuffer> rings;
        BufferDynamic ioBuffer;
        size_t numFrames = 0;
        size_t readPos = 0;
        bool exhausted = false;
        std::string error;
        SourceFileRef queued;
        // For a jump: room for the old audio's fade, swapped in with the rest.
        BufferDynamic fadeOut;
    };

    // Main thread. Rings and buffers for source, with the rings filled from its first frame.
    // Takes no lock: source must not be in use by the reader, or the caller holds the player
    // lock. Decoder failures are recorded in the result, not thrown.
    Playback preparePlayback(const SourceFileRef& source, size_t from = 0);
    // start and jumpTo: fresh rings from `frame`, swapped in; a jump fades the old sound out.
    void restartAt(size_t frame, bool enable, bool jump);
    // Main thread. Empty rings shaped like the installed ones, for a player without read-ahead:
    // its audio thread refills them from the read position.
    Playback emptyPlayback() const;
    // Main thread; takes the player lock, then the graph lock.
    void replaceSourceFile(const SourceFileRef& sourceFile, bool enable);
    // Main thread, holding the player lock; takes the graph lock. Swaps next in, with the
    // position and the enabled state, and leaves the replaced state in next. A jump keeps the
    // queued file and crosses from the old audio to the new.
    void installPlayback(Playback& next, bool enable, bool jump = false);
    // Audio thread: the crossfade of a jump over the block's first frames.
    void crossfade(Buffer* buffer);
    // Main thread, after the locks are let go.
    void wakeReader();
    // Read thread: sleeps until the audio thread asks for more, then refills.
    void readAsyncTask();
    // Fills the rings from the source; the player lock is held. Never throws: a decoder failure
    // is recorded and ends the material.
    void readFile();
    void recordFailure(const char* message);
    // Frames each ring holds: a few of the source's reads, and with read-ahead enough to ride
    // out a device that takes much at once and a reader that wakes late.
    size_t ringCapacity(size_t maxFramesPerRead, size_t sampleRate) const;
    // Read thread, holding the player lock: makes the queued file the one read from its first
    // frame on. False when it cannot be read from there; the material then ends as it would.
    bool handOffToQueued();
    void stopReadThread();
    std::mutex& getPlayerMutex();
    uint64_t currentFrame() const;
    bool isLooping() const;

    std::vector<dsp::RingBuffer> mRingBuffers;
    BufferDynamic mIoBuffer;
    SourceFileRef mSourceFile;
    size_t mBufferFramesThreshold = 0;
    size_t mRingBufferPaddingFactor = 2;
    std::atomic<uint64_t> mLastUnderrun{0};
    std::atomic<uint64_t> mLastOverrun{0};
    std::atomic<uint64_t> mNumUnderruns{0};
    std::unique_ptr<std::thread> mReadThread;
    // The player lock: serialises every use of the source, the rings' producer side and the
    // read position between the read thread and the main thread.
    std::mutex mMutex;
    // Only the reader's sleep uses it, so that ending the reader under the graph lock never
    // waits for the player lock.
    std::mutex mWakeMutex;
    std::condition_variable mCondition;
    bool mIsReadAsync;
    std::atomic<bool> mAsyncReadShouldQuit{false};
    // Set by the audio thread before it signals, so that a signal sent while the reader is
    // busy is not lost.
    std::atomic<bool> mRefillRequested{false};
    // The source returned nothing (or failed) before its stated length: the material ends
    // where the rings run dry. Raised only after the last frames are in the rings.
    std::atomic<bool> mSourceExhausted{false};
    // Whether the last readFile moved frames into the rings; read thread only.
    bool mRefillProgressed = false;
    // Main thread: a swap is reconfiguring the graph, so initialize and uninitialize leave the
    // installed rings and the running reader alone.
    bool mInstallingPlayback = false;
    // The file to follow the current one, under the player lock.
    SourceFileRef mQueuedSource;
    // Raised while a file is queued: the audio thread takes the end of the current material
    // for a short read until the reader has moved on. Lowered last by the hand-off.
    std::atomic<bool> mHandoffPending{false};
    // The material's length as the audio thread sees it, SIZE_MAX while only the decoder's end
    // can tell it; the reader changes it at a hand-off and when it finds that end.
    std::atomic<size_t> mEndFrame{0};
    // The graph's rate, for the reader: it may need it while the context is going away.
    std::atomic<size_t> mGraphSampleRate{0};
    std::atomic<uint64_t> mNumHandoffs{0};
    // Frames the audio thread has taken from the rings since the node was made, and for the
    // last hand-offs the count at which their file's first frame comes out. A file queued
    // ahead follows only once the hand-off before it is seen, so a few slots are plenty.
    static constexpr size_t kHandoffSlots = 8;
    std::atomic<uint64_t> mFramesPlayed{0};
    std::array<std::atomic<uint64_t>, kHandoffSlots> mHandoffAt{};
    std::atomic<uint64_t> mNumHandoffsHeard{0};
    // A jump's crossfade: the old audio's next frames, and how far the fade has gone. Written
    // under the graph lock, read by process under it.
    BufferDynamic mFadeOut;
    size_t mFadeOutFrames = 0;
    size_t mFadeLength = 0;
    size_t mFadePos = 0;
    mutable std::mutex mErrorMutex;
    std::string mLastError;
};

} // namespace mirvo::audio
