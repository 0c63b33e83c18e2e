// The file player: rings filled by a read-ahead thread (or by the audio thread itself without
// read-ahead), end-of-file and loop handling on the audio thread, and the swap of the source
// while the graph runs.
#include "audio/FilePlayerNode.h"

#include "audio/Context.h"
#include "audio/RealtimeScope.h"

#include <algorithm>
#include <cassert>
#include <chrono>
#include <exception>

namespace mirvo::audio {

namespace {

// A backstop for a signal that arrives while the reader is between its check and its wait:
// the reader looks at the rings at least this often.
constexpr auto kReaderWakeInterval = std::chrono::milliseconds(50);

} // namespace

FilePlayerNode::FilePlayerNode(const SourceFileRef& sourceFile, bool isReadAsync, const Format& format)
    : SamplePlayerNode(format), mSourceFile(sourceFile), mIsReadAsync(isReadAsync)
{
    if (mSourceFile) {
        mNumFrames = mSourceFile->getNumFrames();
        mChannelMode = ChannelMode::SPECIFIED;
        mNumChannels = mSourceFile->getNumChannels();
    } else if (format.getChannels() > 0) {
        mChannelMode = ChannelMode::SPECIFIED;
    }
}

FilePlayerNode::~FilePlayerNode()
{
    stopReadThread();
}

std::mutex& FilePlayerNode::getPlayerMutex()
{
    if (mIsReadAsync) {
        return mMutex;
    }
    ContextRef context = getContext();
    assert(context && "a player without read-ahead needs its context for the player lock");
    return context->getMutex();
}

uint64_t FilePlayerNode::currentFrame() const
{
    if (const Context* context = getRenderContext()) {
        return context->getNumProcessedFrames();
    }
    return 0;
}

size_t FilePlayerNode::getNumBufferedFrames() const
{
    return dsp::commonAvailableRead(mRingBuffers);
}

std::string FilePlayerNode::getLastError() const
{
    std::lock_guard<std::mutex> lock(mErrorMutex);
    return mLastError;
}

void FilePlayerNode::recordFailure(const char* message)
{
    // Without read-ahead this runs on the audio thread, which must not wait: a failure that
    // cannot be written down at once is still a failure, only without its text.
    std::unique_lock<std::mutex> lock(mErrorMutex, std::try_to_lock);
    if (lock.owns_lock()) {
        try {
            mLastError = message;
        } catch (...) {
        }
    }
    mSourceExhausted = true;
}

void FilePlayerNode::initialize()
{
    if (mSourceFile && mSourceFile->getSampleRate() != getSampleRate()) {
        mSourceFile = mSourceFile->cloneWithSampleRate(getSampleRate());
    }
    mNumFrames = mSourceFile ? mSourceFile->getNumFrames() : 0;
    if (mLoopEnd == 0 || mLoopEnd > mNumFrames) {
        mLoopEnd = mNumFrames;
    }
    const size_t maxFramesPerRead = mSourceFile ? mSourceFile->getMaxFramesPerRead() : 4096;
    mIoBuffer.setSize(maxFramesPerRead, mNumChannels);
    // The reader and the audio thread are both stopped here, so the rings can be replaced.
    mRingBuffers.clear();
    for (size_t ch = 0; ch < mNumChannels; ++ch) {
        mRingBuffers.emplace_back(mRingBufferPaddingFactor * maxFramesPerRead);
    }
    mBufferFramesThreshold = mRingBuffers.empty() ? 0 : mRingBuffers.front().getSize() / 2;

    if (mIsReadAsync) {
        mAsyncReadShouldQuit = false;
        mRefillRequested = false;
        mReadThread = std::make_unique<std::thread>(&FilePlayerNode::readAsyncTask, this);
    }
}

void FilePlayerNode::uninitialize()
{
    stopReadThread();
}

void FilePlayerNode::stopReadThread()
{
    if (!mReadThread) {
        return;
    }
    {
        std::lock_guard<std::mutex> lock(mMutex);
        mAsyncReadShouldQuit = true;
    }
    mCondition.notify_one();
    mReadThread->join();
    mReadThread.reset();
}

void FilePlayerNode::enableProcessing()
{
    if (!mSourceFile) {
        disable();
        return;
    }
    mIsEof = false;
}

void FilePlayerNode::start()
{
    mNumUnderruns = 0;
    seek(0);
    enable();
    // Start decoding now rather than when the first block finds the rings empty.
    mRefillRequested = true;
    mCondition.notify_one();
}

void FilePlayerNode::stop()
{
    disable();
    // The graph lock keeps a block that was already running from reading the rings while they
    // are cleared; the player lock keeps the reader from writing them.
    if (ContextRef context = getContext()) {
        std::lock_guard<std::mutex> graphLock(context->getMutex());
        std::unique_lock<std::mutex> playerLock(mMutex, std::defer_lock);
        if (mIsReadAsync) {
            playerLock.lock();
        }
        for (auto& ring : mRingBuffers) {
            ring.clear();
        }
    }
    seek(0);
}

void FilePlayerNode::seek(size_t frame)
{
    if (!mSourceFile) {
        return;
    }
    std::lock_guard<std::mutex> lock(getPlayerMutex());
    mIsEof = false;
    mSourceExhausted = false;
    mReadPos = std::min(frame, mNumFrames);
    {
        std::lock_guard<std::mutex> errorLock(mErrorMutex);
        mLastError.clear();
    }
    if (!mIsReadAsync) {
        try {
            mSourceFile->seek(mReadPos);
        } catch (const std::exception& exc) {
            recordFailure(exc.what());
        }
    }
}

void FilePlayerNode::setSourceFile(const SourceFileRef& sourceFile)
{
    ContextRef context = getContext();
    assert(context && "setSourceFile needs the node's context");
    // Opening the resampling copy reads the file: do it before the graph lock is taken, so the
    // audio thread does not wait for the disk.
    SourceFileRef next = sourceFile;
    if (next && next->getSampleRate() != getSampleRate()) {
        next = next->cloneWithSampleRate(getSampleRate());
    }

    std::lock_guard<std::mutex> graphLock(context->getMutex());
    const bool wasEnabled = isEnabled();
    disable();
    {
        // The reader must not be inside the old source while it is replaced.
        std::unique_lock<std::mutex> playerLock(mMutex, std::defer_lock);
        if (mIsReadAsync) {
            playerLock.lock();
        }
        mSourceFile = next;
        mNumFrames = mSourceFile ? mSourceFile->getNumFrames() : 0;
        mSourceExhausted = false;
        std::lock_guard<std::mutex> errorLock(mErrorMutex);
        mLastError.clear();
    }
    if (mSourceFile && mSourceFile->getNumChannels() != getNumChannels()) {
        // Uninitialises (the reader ends) and initialises again with new rings and a new reader.
        setNumChannels(mSourceFile->getNumChannels());
        configureConnections();
    }
    if (mLoopEnd == 0 || mLoopEnd > mNumFrames) {
        mLoopEnd = mNumFrames;
    }
    if (wasEnabled) {
        enable();
    }
}

void FilePlayerNode::readAsyncTask()
{
    for (;;) {
        std::unique_lock<std::mutex> lock(mMutex);
        const bool requested = mCondition.wait_for(lock, kReaderWakeInterval, [this] {
            return mAsyncReadShouldQuit.load() || mRefillRequested.exchange(false);
        });
        if (mAsyncReadShouldQuit) {
            return;
        }
        if (!requested && getNumBufferedFrames() >= mBufferFramesThreshold) {
            continue;
        }
        // Top the rings up while a whole read still fits, so that a reader the scheduler kept
        // waiting catches up in one wake.
        const size_t readSize = mSourceFile ? mSourceFile->getMaxFramesPerRead() : 0;
        do {
            readFile();
        } while (mRefillProgressed && !mAsyncReadShouldQuit && !mRingBuffers.empty() &&
                 dsp::commonAvailableWrite(mRingBuffers) >= readSize);
    }
}

void FilePlayerNode::readFile()
{
    mRefillProgressed = false;
    if (!mSourceFile || mRingBuffers.empty()) {
        return;
    }
    const size_t pos = mReadPos;
    const size_t free = dsp::commonAvailableWrite(mRingBuffers);
    const size_t end = mLoopEnabled ? mLoopEnd.load() : mNumFrames;
    const size_t numFrames = end > pos ? std::min(end - pos, free) : 0;
    if (numFrames == 0 || mSourceExhausted) {
        mLastOverrun = currentFrame();
        return;
    }

    size_t framesRead = 0;
    try {
        if (mSourceFile->getReadPosition() != pos) {
            mSourceFile->seek(pos);
        }
        mIoBuffer.setNumFrames(numFrames);
        framesRead = mSourceFile->read(&mIoBuffer);
    } catch (const std::exception& exc) {
        recordFailure(exc.what());
        mLastOverrun = currentFrame();
        return;
    } catch (...) {
        recordFailure("unknown decoder failure");
        mLastOverrun = currentFrame();
        return;
    }
    if (framesRead == 0) {
        // The file holds less than its stated length (a length the container only estimated,
        // or a file cut short): its material ends here.
        mSourceExhausted = true;
        mLastOverrun = currentFrame();
        return;
    }
    mRefillProgressed = true;
    for (size_t ch = 0; ch < mRingBuffers.size(); ++ch) {
        if (!mRingBuffers[ch].write(mIoBuffer.getChannel(ch), framesRead)) {
            mLastOverrun = currentFrame();
            mRefillProgressed = false;
            break;
        }
    }
    // Only now that the frames are in the rings: the audio thread takes a short block with the
    // read position at the end of the material for the end of the file, and would drop the
    // last read while its channels were still being written.
    mReadPos += framesRead;
}

void FilePlayerNode::process(Buffer* buffer)
{
    MIRVO_RT_SCOPE();
    const size_t numFrames = buffer->getNumFrames();
    if (mRingBuffers.empty()) {
        buffer->zero();
        return;
    }
    const size_t pos = mReadPos;
    const size_t available = getNumBufferedFrames();
    if (available < mBufferFramesThreshold) {
        if (mIsReadAsync) {
            mRefillRequested = true;
            MIRVO_RT_UNCHECKED(mCondition.notify_one());
        } else {
            readFile();
        }
    }

    const size_t count = std::min(numFrames, available);
    const size_t channels = std::min(buffer->getNumChannels(), mRingBuffers.size());
    for (size_t ch = 0; ch < channels; ++ch) {
        if (!mRingBuffers[ch].read(buffer->getChannel(ch), count)) {
            mLastUnderrun = currentFrame();
        }
    }
    if (count == numFrames) {
        return;
    }

    for (size_t ch = 0; ch < buffer->getNumChannels(); ++ch) {
        std::fill(buffer->getChannel(ch) + count, buffer->getChannel(ch) + numFrames, 0.0f);
    }
    const size_t end = pos + count;
    const bool exhausted = mSourceExhausted;
    if (mLoopEnabled && (end >= mLoopEnd || exhausted)) {
        mSourceExhausted = false;
        mReadPos = std::min(mLoopBegin.load(), mNumFrames);
        if (!mIsReadAsync) {
            try {
                mSourceFile->seek(mReadPos);
            } catch (const std::exception& exc) {
                recordFailure(exc.what());
            }
        }
    } else if (end < mNumFrames && !exhausted) {
        // The reader fell behind: this block ends in silence.
        mLastUnderrun = currentFrame();
        ++mNumUnderruns;
    } else {
        mIsEof = true;
        disable();
    }
}

} // namespace mirvo::audio
