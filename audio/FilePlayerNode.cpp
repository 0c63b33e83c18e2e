// The file player: rings filled by a read-ahead thread (or by the audio thread itself without
// read-ahead), loop wraps on the reader's side, the end of the file on the audio thread, and
// the swap of prepared playback state while the graph runs.
#include "audio/FilePlayerNode.h"

#include "audio/Context.h"
#include "audio/Exception.h"
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
// The end of a material whose length is not known yet: only the decoder's end ends it.
constexpr size_t kUnknownEnd = SIZE_MAX;
// What the reader keeps decoded ahead. A sound server that wakes up rarely takes a tenth of a
// second and more in one go (a sixth at most of the servers' usual periods), and on a busy
// machine the reader may wake as late again: rings of a few reads ran dry in the middle of such
// a pull. Not more: a hand-off to the queued file is seen, and its track announced, up to this
// long before it is heard.
constexpr size_t kReadAheadMilliseconds = 500;
// A jump crosses from the old audio to the new over this long: short enough to sound like a
// cut, long enough that the cut does not click.
constexpr size_t kJumpFadesPerSecond = 200;

// Where reading source must stop: its length when that is known for certain, otherwise nowhere
// before the decoder runs dry.
size_t endOf(const SourceFile& source)
{
    return source.isNumFramesKnown() ? source.getNumFrames() : kUnknownEnd;
}

} // namespace

FilePlayerNode::FilePlayerNode(const SourceFileRef& sourceFile, bool isReadAsync, const Format& format)
    : SamplePlayerNode(format), mSourceFile(sourceFile), mIsReadAsync(isReadAsync)
{
    if (mSourceFile) {
        mNumFrames = mSourceFile->getNumFrames();
        mEndFrame = endOf(*mSourceFile);
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

std::optional<size_t> FilePlayerNode::getKnownNumFrames() const
{
    const size_t end = mEndFrame;
    return end == kUnknownEnd ? std::nullopt : std::optional<size_t>(end);
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

size_t FilePlayerNode::ringCapacity(size_t maxFramesPerRead, size_t sampleRate) const
{
    const size_t reads = mRingBufferPaddingFactor * maxFramesPerRead;
    // Without read-ahead the audio thread refills the rings itself before it takes from them.
    return mIsReadAsync ? std::max(reads, sampleRate * kReadAheadMilliseconds / 1000) : reads;
}

bool FilePlayerNode::isLooping() const
{
    return mLoopEnabled && mLoopEnd > mLoopBegin;
}

void FilePlayerNode::initialize()
{
    if (mInstallingPlayback) {
        // The swap under way brought its own rings, filled, and the reader keeps running.
        return;
    }
    // The reader needs the rate at a hand-off, when the context may already be going away.
    mGraphSampleRate = getSampleRate();
    if (mSourceFile && mSourceFile->getSampleRate() != mGraphSampleRate) {
        mSourceFile = mSourceFile->cloneWithSampleRate(mGraphSampleRate);
    }
    mNumFrames = mSourceFile ? mSourceFile->getNumFrames() : 0;
    mEndFrame = mSourceFile ? endOf(*mSourceFile) : 0;
    if (mLoopEnd == 0 || mLoopEnd > mNumFrames) {
        mLoopEnd = mNumFrames;
    }
    const size_t maxFramesPerRead = mSourceFile ? mSourceFile->getMaxFramesPerRead() : 4096;
    const size_t capacity = ringCapacity(maxFramesPerRead, mGraphSampleRate);
    // Shaped for the largest refill, so that a refill on the audio thread never grows it.
    mIoBuffer.setSize(capacity, mNumChannels);
    // The reader and the audio thread are both stopped here, so the rings can be replaced.
    mRingBuffers.clear();
    mRingBuffers.reserve(mNumChannels);
    for (size_t ch = 0; ch < mNumChannels; ++ch) {
        mRingBuffers.emplace_back(capacity);
    }
    mBufferFramesThreshold = mRingBuffers.empty() ? 0 : mRingBuffers.front().getSize() / 2;

    if (mIsReadAsync && !mReadThread) {
        mAsyncReadShouldQuit = false;
        mRefillRequested = false;
        mReadThread = std::make_unique<std::thread>(&FilePlayerNode::readAsyncTask, this);
    }
}

void FilePlayerNode::uninitialize()
{
    if (mInstallingPlayback) {
        return;
    }
    stopReadThread();
}

void FilePlayerNode::stopReadThread()
{
    if (!mReadThread) {
        return;
    }
    {
        // The wake mutex, not the player lock: this may run under the graph lock, and the
        // player lock is taken before the graph lock elsewhere.
        std::lock_guard<std::mutex> lock(mWakeMutex);
        mAsyncReadShouldQuit = true;
    }
    mCondition.notify_one();
    mReadThread->join();
    mReadThread.reset();
}

void FilePlayerNode::wakeReader()
{
    if (!mIsReadAsync) {
        return;
    }
    {
        std::lock_guard<std::mutex> lock(mWakeMutex);
        mRefillRequested = true;
    }
    mCondition.notify_one();
}

void FilePlayerNode::enableProcessing()
{
    if (!mSourceFile) {
        disable();
        return;
    }
    mIsEof = false;
}

FilePlayerNode::Playback FilePlayerNode::preparePlayback(const SourceFileRef& source, size_t from)
{
    Playback next;
    next.source = source;
    if (!source) {
        return next;
    }
    next.numFrames = source->getNumFrames();
    const size_t channels = source->getNumChannels();
    const size_t maxFramesPerRead = source->getMaxFramesPerRead();
    const size_t capacity = ringCapacity(maxFramesPerRead, source->getSampleRate());
    // The main thread decodes only the first reads; the reader, woken once the rings are in,
    // fills the rest.
    const size_t prefill = mRingBufferPaddingFactor * maxFramesPerRead;
    next.ioBuffer.setSize(capacity, channels);
    next.rings.reserve(channels);
    for (size_t ch = 0; ch < channels; ++ch) {
        next.rings.emplace_back(capacity);
    }

    // Fill the rings from the first frame, so that the first block after the swap is the
    // file's beginning whenever the reader gets to run. A loop's end is where the reader wraps.
    size_t end = endOf(*source);
    if (mLoopEnabled && mLoopEnd > mLoopBegin && mLoopEnd < end) {
        end = mLoopEnd;
    }
    next.readPos = from;
    try {
        if (source->getReadPosition() != from && from < end) {
            source->seek(from);
        }
        while (next.readPos < std::min(end, from + prefill) &&
               dsp::commonAvailableWrite(next.rings) >= std::min(maxFramesPerRead, end - next.readPos)) {
            next.ioBuffer.setNumFrames(std::min(end - next.readPos, maxFramesPerRead));
            const size_t framesRead = source->read(&next.ioBuffer);
            if (framesRead == 0) {
                next.exhausted = true;
                break;
            }
            for (size_t ch = 0; ch < channels; ++ch) {
                next.rings[ch].write(next.ioBuffer.getChannel(ch), framesRead);
            }
            next.readPos += framesRead;
        }
    } catch (const std::exception& exc) {
        next.exhausted = true;
        next.error = exc.what();
    } catch (...) {
        next.exhausted = true;
        next.error = "unknown decoder failure";
    }
    return next;
}

void FilePlayerNode::installPlayback(Playback& next, bool enable, bool jump)
{
    ContextRef context = getContext();
    std::unique_lock<std::mutex> graphLock;
    if (context) {
        graphLock = std::unique_lock<std::mutex>(context->getMutex());
    }
    // From here to the end nothing reads a file or waits for another thread: the audio thread
    // is held off only for the swap and, when the channel count changes, the reconfiguration.
    if (!isInitialized()) {
        // Initialisation will make empty rings of its own: the material starts over with them.
        next.readPos = 0;
        next.exhausted = false;
    }
    mFadeOutFrames = 0;
    mFadeLength = 0;
    mFadePos = 0;
    if (jump) {
        // The old audio's next frames, faded out under the new: what would have played next,
        // so the block after the jump joins the one before it without a step.
        std::swap(mFadeOut, next.fadeOut);
        const size_t channels = std::min(mFadeOut.getNumChannels(), mRingBuffers.size());
        if (isEnabled() && channels == mRingBuffers.size()) {
            mFadeOutFrames = std::min(dsp::commonAvailableRead(mRingBuffers), mFadeOut.getNumFrames());
            for (size_t ch = 0; ch < channels; ++ch) {
                mRingBuffers[ch].read(mFadeOut.getChannel(ch), mFadeOutFrames);
            }
        }
        mFadeLength = mFadeOut.getNumFrames();
    }
    mSourceFile.swap(next.source);
    mRingBuffers.swap(next.rings);
    std::swap(mIoBuffer, next.ioBuffer);
    std::swap(mNumFrames, next.numFrames);
    // Reading the first frames may already have found the end of a short file.
    mEndFrame = mSourceFile ? endOf(*mSourceFile) : 0;
    // New music drops what was to follow the old; it goes with the replaced state. A jump
    // within the music keeps it.
    if (!jump) {
        next.queued = std::move(mQueuedSource);
    }
    mHandoffPending = mQueuedSource != nullptr;
    // The rings of a hand-off not yet heard are gone: what plays now is the file read now.
    mNumHandoffsHeard = mNumHandoffs.load();
    mBufferFramesThreshold = mRingBuffers.empty() ? 0 : mRingBuffers.front().getSize() / 2;
    mReadPos = next.readPos;
    mSourceExhausted = next.exhausted;
    mIsEof = false;
    mNumUnderruns = 0;
    {
        std::lock_guard<std::mutex> errorLock(mErrorMutex);
        mLastError.swap(next.error);
    }
    if (mLoopEnd == 0 || mLoopEnd > mNumFrames) {
        mLoopEnd = mNumFrames;
    }
    if (mLoopBegin > mNumFrames) {
        mLoopBegin = mNumFrames;
    }
    if (mSourceFile && mSourceFile->getNumChannels() != getNumChannels()) {
        mInstallingPlayback = true;
        try {
            setNumChannels(mSourceFile->getNumChannels());
            configureConnections();
        } catch (...) {
            mInstallingPlayback = false;
            throw;
        }
        mInstallingPlayback = false;
    }
    setEnabled(enable && mSourceFile);
}

void FilePlayerNode::playSourceFile(const SourceFileRef& sourceFile)
{
    replaceSourceFile(sourceFile, true);
}

void FilePlayerNode::setSourceFile(const SourceFileRef& sourceFile)
{
    replaceSourceFile(sourceFile, isEnabled());
}

void FilePlayerNode::replaceSourceFile(const SourceFileRef& sourceFile, bool enable)
{
    // Opening the resampling copy and decoding the first frames read the file: both happen
    // before any lock is taken, and a failure leaves the current music as it is.
    SourceFileRef source = sourceFile;
    if (source && getContext() && source->getSampleRate() != getSampleRate()) {
        source = source->cloneWithSampleRate(getSampleRate());
    }
    Playback next = preparePlayback(source);
    if (source && next.readPos == 0 && !next.error.empty()) {
        throw AudioFileExc(next.error);
    }
    if (source && next.readPos == 0 && next.exhausted) {
        // Its container promised music and the decoder found none: playing it would only end
        // at once, and a queue going round would start it again and again.
        throw AudioFileExc("the file holds no audio", AudioFileExc::Reason::NO_AUDIO);
    }
    {
        std::unique_lock<std::mutex> playerLock(mMutex, std::defer_lock);
        if (mIsReadAsync) {
            // Waits for a refill under way, on this thread only: the graph lock is not held yet.
            playerLock.lock();
        }
        installPlayback(next, enable);
    }
    wakeReader();
    // next now holds the old source and rings, released here on the main thread.
}

FilePlayerNode::Playback FilePlayerNode::emptyPlayback() const
{
    Playback fresh;
    fresh.source = mSourceFile;
    fresh.numFrames = mNumFrames;
    fresh.rings.reserve(mRingBuffers.size());
    for (const auto& ring : mRingBuffers) {
        fresh.rings.emplace_back(ring.getSize());
    }
    fresh.ioBuffer.setSize(mRingBuffers.empty() ? 0 : mRingBuffers.front().getSize(), mNumChannels);
    return fresh;
}

void FilePlayerNode::start()
{
    restartAt(0, true, false);
}

void FilePlayerNode::jumpTo(size_t frame)
{
    restartAt(frame, isEnabled(), true);
}

void FilePlayerNode::restartAt(size_t frame, bool enable, bool jump)
{
    if (!mSourceFile) {
        return;
    }
    Playback fresh;
    {
        // The reader is held off, so the source can be decoded here; it also learns the source's
        // true length as it reads, so the lock comes before the length.
        std::unique_lock<std::mutex> playerLock(mMutex, std::defer_lock);
        if (mIsReadAsync) {
            playerLock.lock();
        }
        // Past an estimated length the decoder finds the end, if it is there.
        const size_t target = std::min(frame, endOf(*mSourceFile));
        if (mIsReadAsync) {
            fresh = preparePlayback(mSourceFile, target);
        } else {
            // Without read-ahead the source belongs to the audio thread; its next block refills
            // from the fresh, empty rings.
            fresh = emptyPlayback();
            fresh.readPos = target;
        }
        if (jump) {
            const size_t rate = getContext() ? getSampleRate() : 0;
            fresh.fadeOut.setSize(rate / kJumpFadesPerSecond, mRingBuffers.size());
        }
        installPlayback(fresh, enable, jump);
    }
    wakeReader();
}

void FilePlayerNode::stop()
{
    disable();
    // Released after the locks, with this function's other locals.
    SourceFileRef queued;
    std::unique_lock<std::mutex> playerLock(mMutex, std::defer_lock);
    if (mIsReadAsync) {
        playerLock.lock();
    }
    // The graph lock keeps a block that was already running from reading the rings while they
    // are cleared; the player lock keeps the reader from writing them.
    std::unique_lock<std::mutex> graphLock;
    if (ContextRef context = getContext()) {
        graphLock = std::unique_lock<std::mutex>(context->getMutex());
    }
    for (auto& ring : mRingBuffers) {
        ring.clear();
    }
    mNumHandoffsHeard = mNumHandoffs.load();
    mIsEof = false;
    mSourceExhausted = false;
    mReadPos = 0;
    mHandoffPending = false;
    queued = std::move(mQueuedSource);
    graphLock.unlock();
    std::lock_guard<std::mutex> errorLock(mErrorMutex);
    mLastError.clear();
}

void FilePlayerNode::seek(size_t frame)
{
    if (!mSourceFile) {
        return;
    }
    std::lock_guard<std::mutex> lock(getPlayerMutex());
    mIsEof = false;
    mSourceExhausted = false;
    // Past an estimated length the decoder finds the end, if it is there.
    mReadPos = std::min(frame, endOf(*mSourceFile));
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

bool FilePlayerNode::queueSourceFile(const SourceFileRef& sourceFile)
{
    SourceFileRef replaced;
    if (!mIsReadAsync) {
        return false;
    }
    {
        std::lock_guard<std::mutex> lock(mMutex);
        replaced = std::move(mQueuedSource);
        if (!sourceFile || !mSourceFile || mIsEof || isLooping() ||
            sourceFile->getNumChannels() != mRingBuffers.size()) {
            mHandoffPending = false;
            return false;
        }
        mQueuedSource = sourceFile;
        mHandoffPending = true;
    }
    // The reader may already have found the current file's end and be waiting: it hands off now,
    // not at its next wake-up, which could come after the rings ran dry.
    wakeReader();
    return true;
}

bool FilePlayerNode::handOffToQueued()
{
    SourceFileRef next = std::move(mQueuedSource);
    try {
        // Not the context's rate: this thread may run while the context is being destroyed.
        const size_t graphRate = mGraphSampleRate;
        if (next->getSampleRate() != graphRate) {
            next = next->cloneWithSampleRate(graphRate);
        }
        if (next->getReadPosition() != 0) {
            next->seek(0);
        }
    } catch (...) {
        mHandoffPending = false;
        return false;
    }
    // The old file is released here, on this thread, when next takes its place.
    mSourceFile.swap(next);
    mNumFrames = mSourceFile->getNumFrames();
    mLoopBegin = 0;
    mLoopEnd = mNumFrames;
    mSourceExhausted = false;
    mReadPos = 0;
    mEndFrame = endOf(*mSourceFile);
    // What the rings hold now is the old file's tail: the new one is heard once it is played.
    const uint64_t handoff = mNumHandoffs.load();
    mHandoffAt[handoff % kHandoffSlots] = dsp::commonAvailableRead(mRingBuffers) + mFramesPlayed.load();
    mNumHandoffs = handoff + 1;
    mHandoffPending = false;
    return true;
}

void FilePlayerNode::readAsyncTask()
{
    for (;;) {
        bool requested = false;
        {
            std::unique_lock<std::mutex> wakeLock(mWakeMutex);
            requested = mCondition.wait_for(wakeLock, kReaderWakeInterval, [this] {
                return mAsyncReadShouldQuit.load() || mRefillRequested.exchange(false);
            });
        }
        std::lock_guard<std::mutex> lock(mMutex);
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
    if (mQueuedSource && !mIsEof && !isLooping() &&
        (mSourceExhausted || (mSourceFile && mReadPos >= endOf(*mSourceFile)))) {
        // The current file is all in the rings: the queued one goes on right behind it.
        mRefillProgressed = handOffToQueued();
    }
    if (!mSourceFile || mRingBuffers.empty() || mSourceExhausted) {
        return;
    }
    size_t pos = mReadPos;
    const bool looping = isLooping();
    const size_t length = endOf(*mSourceFile);
    const size_t end = looping ? std::min(mLoopEnd.load(), length) : length;
    const size_t loopBegin = std::min(mLoopBegin.load(), length);
    // The reader wraps a loop itself, so the frames after the wrap follow in the rings without a
    // gap and only this thread moves the read position.
    if (looping && pos >= end) {
        pos = loopBegin;
        mReadPos = pos;
    }
    const size_t free = dsp::commonAvailableWrite(mRingBuffers);
    const size_t numFrames = end > pos ? std::min(end - pos, free) : 0;
    if (numFrames == 0) {
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
        // or a file cut short): its material ends here, or the loop goes round from here.
        if (looping && pos != loopBegin) {
            mReadPos = loopBegin;
            mRefillProgressed = true;
            return;
        }
        // The decoder's end is the material's: its length is known from here on, and the
        // frames already in the rings are the last.
        mEndFrame = mSourceFile->isNumFramesKnown() ? mSourceFile->getNumFrames() : pos;
        mSourceExhausted = true;
        mLastOverrun = currentFrame();
        // Where only the decoder's end tells the end, the queued file goes on at once: waiting
        // for the reader's next wake-up would let the rings run dry between the two.
        if (mQueuedSource && !mIsEof) {
            mRefillProgressed = handOffToQueued();
        }
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
    // read position at the end of the material for the end of the file.
    mReadPos = pos + framesRead;
}

void FilePlayerNode::crossfade(Buffer* buffer)
{
    const size_t frames = std::min(buffer->getNumFrames(), mFadeLength - mFadePos);
    const size_t channels = std::min(buffer->getNumChannels(), mFadeOut.getNumChannels());
    for (size_t ch = 0; ch < channels; ++ch) {
        float* out = buffer->getChannel(ch);
        const float* old = mFadeOut.getChannel(ch);
        for (size_t f = 0; f < frames; ++f) {
            const size_t at = mFadePos + f;
            const float gain = static_cast<float>(at + 1) / static_cast<float>(mFadeLength + 1);
            const float before = at < mFadeOutFrames ? old[at] : 0.0f;
            out[f] = out[f] * gain + before * (1.0f - gain);
        }
    }
    mFadePos += frames;
}

void FilePlayerNode::process(Buffer* buffer)
{
    MIRVO_RT_SCOPE();
    const size_t numFrames = buffer->getNumFrames();
    if (mRingBuffers.empty()) {
        buffer->zero();
        return;
    }
    if (!mIsReadAsync && dsp::commonAvailableRead(mRingBuffers) < mBufferFramesThreshold) {
        readFile();
    }
    // All are read before the rings are: the reader raises them only after the frames they
    // follow are in the rings, so a finished reader seen here means that what the rings hold
    // now is all that is left. A pending hand-off is read first: the reader lowers it only
    // once the position and the end are the next file's.
    const bool handoffPending = mHandoffPending;
    const bool exhausted = mSourceExhausted;
    const size_t end = mEndFrame;
    const size_t pos = mReadPos;
    const size_t available = getNumBufferedFrames();
    if (mIsReadAsync && available < mBufferFramesThreshold) {
        mRefillRequested = true;
        MIRVO_RT_UNCHECKED(mCondition.notify_one());
    }

    const size_t count = std::min(numFrames, available);
    const size_t channels = std::min(buffer->getNumChannels(), mRingBuffers.size());
    for (size_t ch = 0; ch < channels; ++ch) {
        if (!mRingBuffers[ch].read(buffer->getChannel(ch), count)) {
            mLastUnderrun = currentFrame();
        }
    }
    const uint64_t played = mFramesPlayed.load() + count;
    mFramesPlayed = played;
    for (uint64_t heard = mNumHandoffsHeard.load();
         heard < mNumHandoffs.load() && played >= mHandoffAt[heard % kHandoffSlots].load(); ++heard) {
        mNumHandoffsHeard = heard + 1;
    }
    if (count < numFrames) {
        for (size_t ch = 0; ch < buffer->getNumChannels(); ++ch) {
            std::fill(buffer->getChannel(ch) + count, buffer->getChannel(ch) + numFrames, 0.0f);
        }
    }
    if (mFadePos < mFadeLength) {
        crossfade(buffer);
    }
    if (count == numFrames) {
        return;
    }
    const bool readerFinished = !handoffPending && (exhausted || (!isLooping() && pos >= end));
    if (!readerFinished) {
        // The reader fell behind: this block ends in silence.
        mLastUnderrun = currentFrame();
        ++mNumUnderruns;
    } else {
        mIsEof = true;
        disable();
    }
}

} // namespace mirvo::audio
