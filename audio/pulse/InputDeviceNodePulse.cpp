#include "audio/pulse/InputDeviceNodePulse.h"

#include "audio/Context.h"
#include "audio/pulse/PulseServer.h"

#include <pulse/thread-mainloop.h>

#include <algorithm>
#include <chrono>

namespace mirvo::audio {

namespace {

// Holds the server's loop for the scope: every call into libpulse off its thread needs it.
class LoopLock {
  public:
    explicit LoopLock(pa_threaded_mainloop* loop) : mLoop(loop) { pa_threaded_mainloop_lock(mLoop); }
    ~LoopLock() { pa_threaded_mainloop_unlock(mLoop); }
    LoopLock(const LoopLock&) = delete;
    LoopLock& operator=(const LoopLock&) = delete;

  private:
    pa_threaded_mainloop* mLoop;
};

} // namespace

InputDeviceNodePulse::InputDeviceNodePulse(std::shared_ptr<PulseServer> server, std::string sourceName,
                                           size_t numChannels, const Format& format, uint32_t monitoredStream)
    : InputDeviceNode(numChannels, format), mServer(std::move(server)), mSourceName(std::move(sourceName)),
      mMonitoredStream(monitoredStream)
{
}

InputDeviceNodePulse::~InputDeviceNodePulse()
{
    closeStream();
}

void InputDeviceNodePulse::initialize()
{
    closeStream();
    mGraphFrames = getFramesPerBlock();
    mSampleRate = getSampleRate();
    mSizedDelivery = std::max(mSizedDelivery, kFragmentFrames);
    // The sink's monitor runs on the clock of the output the graph plays into, and its
    // fragments come a few milliseconds apart, so what stays queued past them only delays
    // the picture.
    setSteadyQueue(kKeepFrames);
    resizeRingBuffer(mGraphFrames, mSizedDelivery);
    mPiece = std::make_unique<float[]>(kPieceFrames * mNumChannels);
    // A re-initialisation (a format change) of a node that records goes on recording.
    if (isEnabled()) {
        openStream();
    }
}

void InputDeviceNodePulse::uninitialize()
{
    closeStream();
}

void InputDeviceNodePulse::enableProcessing()
{
    if (isInitialized()) {
        openStream();
    }
}

void InputDeviceNodePulse::disableProcessing()
{
    closeStream();
}

void InputDeviceNodePulse::openStream()
{
    if (mStream) {
        return;
    }
    const LoopLock lock(mServer->getMainloop());
    // What waited in the ring from an earlier run is stale: start from what plays now.
    resizeRingBuffer(mGraphFrames, mSizedDelivery);
    mSurplus = 0;
    mLastDelivery = std::chrono::steady_clock::now();
    mRecentSince = mLastDelivery;
    mRecentLargest = 0;
    mOverrunsSeen = getNumOverruns();
    mOverrunSeenAt = getLastOverrun();
    mUnderrunsSeen = getNumUnderruns();
    mDeviceLost = false;
    pa_context* context = mServer->getContext();
    if (!mServer->isConnected() || !context) {
        mDeviceLost = true;
        return;
    }

    pa_sample_spec sampleFormat{};
    sampleFormat.format = PA_SAMPLE_FLOAT32NE;
    sampleFormat.rate = static_cast<uint32_t>(getSampleRate());
    sampleFormat.channels = static_cast<uint8_t>(mNumChannels);
    // Small fragments: what reaches the spectrum late is seen late, and the server's thread
    // wakes only a few hundred times a second for them.
    pa_buffer_attr attributes{};
    attributes.maxlength = static_cast<uint32_t>(-1);
    attributes.fragsize = static_cast<uint32_t>(kFragmentFrames * mNumChannels * sizeof(float));
    attributes.tlength = attributes.prebuf = attributes.minreq = static_cast<uint32_t>(-1);

    mStream = pa_stream_new(context, "Mirvo live input", &sampleFormat, nullptr);
    if (!mStream) {
        mDeviceLost = true;
        return;
    }
    mStreamContext = pa_context_ref(context);
    pa_stream_set_read_callback(mStream, &InputDeviceNodePulse::readCallback, this);
    pa_stream_set_state_callback(mStream, &InputDeviceNodePulse::stateCallback, this);
    if (mMonitoredStream != PA_INVALID_INDEX && pa_stream_set_monitor_stream(mStream, mMonitoredStream) < 0) {
        mDeviceLost = true;
        return;
    }
    // Bound to this source: when it goes away the stream ends rather than being moved to
    // whatever the server picks instead.
    const auto flags = static_cast<pa_stream_flags_t>(PA_STREAM_ADJUST_LATENCY | PA_STREAM_DONT_MOVE);
    if (pa_stream_connect_record(mStream, mSourceName.c_str(), &attributes, flags) < 0) {
        mDeviceLost = true;
    }
}

void InputDeviceNodePulse::closeStream()
{
    if (!mStream) {
        return;
    }
    const LoopLock lock(mServer->getMainloop());
    pa_stream_set_read_callback(mStream, nullptr, nullptr);
    pa_stream_set_state_callback(mStream, nullptr, nullptr);
    pa_stream_disconnect(mStream);
    pa_stream_unref(mStream);
    mStream = nullptr;
    pa_context_unref(mStreamContext);
    mStreamContext = nullptr;
}

void InputDeviceNodePulse::readCallback(pa_stream* stream, size_t, void* userData)
{
    auto* self = static_cast<InputDeviceNodePulse*>(userData);
    const size_t channels = self->mNumChannels;
    // What the source hands over at once: this callback's frames, or, for a source that hands
    // over seconds at a time in a run of chunks (or a server sending a large quantum so), how
    // far the run got ahead of the clock. Small fragments at their pace add up to nothing.
    const size_t delivery = pa_stream_readable_size(stream) / (channels * sizeof(float));
    const auto now = std::chrono::steady_clock::now();
    const double paced = std::chrono::duration<double>(now - self->mLastDelivery).count() *
                         static_cast<double>(self->mSampleRate);
    self->mLastDelivery = now;
    // A callback that did not come ahead of the clock ends the run: otherwise what a run once
    // got ahead (a server catching up after it was starved) would stay counted for good, as
    // steady pieces at the clock's pace never take anything off it.
    const double ahead = static_cast<double>(delivery) - paced;
    self->mSurplus = ahead > 0.0 ? self->mSurplus + static_cast<size_t>(ahead) : 0;
    // The ring must take all of that beside what the graph keeps queued, or the excess of every
    // such delivery would be lost, for good: it grows to the delivery's size, keeping what it
    // holds. A delivery too large for the ring counts once such deliveries come again and again
    // (a server's large quantum, a source's runs of chunks) or one holds more than lateness
    // explains: a callback, or a run of them, that was merely late (a busy machine) is taken as
    // it is, rather than raising for good the queue the graph keeps, which is the picture's
    // delay.
    const size_t atOnce = std::max(delivery, self->mSurplus);
    if (atOnce > self->getRoomBesidePriming()) {
        if (now - self->mLargeSince > std::chrono::seconds(1)) {
            self->mLargeSince = now;
            self->mLargeCount = 0;
            self->mLargest = 0;
        }
        self->mLargest = std::max(self->mLargest, atOnce);
        // A fifth of a second at once is more than any late callback gathers.
        const bool sourceDeliversSo =
            ++self->mLargeCount >= kLargeDeliveriesToGrow || atOnce > self->mSampleRate / 5;
        if (sourceDeliversSo && self->mLargest > self->mSizedDelivery) {
            self->mSizedDelivery = self->mLargest;
            self->resizeRingBuffer(self->mGraphFrames, self->mSizedDelivery, true);
        }
    }
    // A graph that takes its blocks in bursts (an output whose server asks for a long stretch at
    // a time, as a sink that nothing needs early does) lets the ring overflow between two
    // bursts, however small the deliveries, and a burst larger than the queue the graph starts
    // from empties it: when either happens again and again, the ring doubles until it holds
    // what comes between two bursts, and keeps that size. The overruns of one stretch in which
    // the graph takes nothing at all (its output starting, a stalled moment) count once: they
    // tell of that stall, not of the graph's pattern, and counted one by one they grew the ring
    // of a capture opened at start-up, and the picture's delay with it, for good.
    const uint64_t overrunAt = self->getLastOverrun();
    const bool newOverrun =
        self->getNumOverruns() != self->mOverrunsSeen && overrunAt != self->mOverrunSeenAt;
    self->mOverrunsSeen = self->getNumOverruns();
    const bool newUnderrun = self->getNumUnderruns() != self->mUnderrunsSeen;
    self->mUnderrunsSeen = self->getNumUnderruns();
    if (newOverrun) {
        self->mOverrunSeenAt = overrunAt;
    }
    if (newOverrun || newUnderrun) {
        if (now - self->mMissSince > std::chrono::seconds(1)) {
            self->mMissSince = now;
            self->mMissCount = 0;
        }
        if (++self->mMissCount >= kLargeDeliveriesToGrow && self->mSizedDelivery < self->mSampleRate) {
            self->mMissCount = 0;
            self->mGraphBurstFrames = std::min(2 * self->mSizedDelivery, self->mSampleRate);
            self->mSizedDelivery = self->mGraphBurstFrames;
            self->resizeRingBuffer(self->mGraphFrames, self->mSizedDelivery, true);
        }
    }
    // A server that was starved for a moment (a busy machine) hands its backlog over at once, as
    // such a source would; sized for it for good, the ring would keep that much queued, the
    // picture as far behind the sound, long after small pieces came again.
    self->mRecentLargest = std::max(self->mRecentLargest, atOnce);
    if (now - self->mRecentSince >= kShrinkAfter) {
        const size_t recent = std::max({self->mRecentLargest, kFragmentFrames, self->mGraphBurstFrames});
        if (2 * recent < self->mSizedDelivery) {
            self->mSizedDelivery = recent;
            self->resizeRingBuffer(self->mGraphFrames, self->mSizedDelivery, true);
        }
        self->mRecentSince = now;
        self->mRecentLargest = 0;
    }
    for (;;) {
        const void* data = nullptr;
        size_t bytes = 0;
        if (pa_stream_peek(stream, &data, &bytes) < 0 || bytes == 0) {
            return;
        }
        // A hole in the recording (data null) is dropped: the ring never gets a gap filled
        // with made-up frames, the graph just reads on.
        if (data) {
            const auto* samples = static_cast<const float*>(data);
            size_t frames = bytes / (channels * sizeof(float));
            while (frames > 0) {
                const size_t piece = std::min(frames, kPieceFrames);
                float* planar = self->mPiece.get();
                for (size_t frame = 0; frame < piece; ++frame) {
                    for (size_t ch = 0; ch < channels; ++ch) {
                        planar[ch * piece + frame] = samples[frame * channels + ch];
                    }
                }
                self->writeCapturedFrames(planar, channels, piece);
                samples += piece * channels;
                frames -= piece;
            }
        }
        pa_stream_drop(stream);
    }
}

void InputDeviceNodePulse::stateCallback(pa_stream* stream, void* userData)
{
    auto* self = static_cast<InputDeviceNodePulse*>(userData);
    const pa_stream_state_t state = pa_stream_get_state(stream);
    if (state == PA_STREAM_FAILED || state == PA_STREAM_TERMINATED) {
        self->mDeviceLost = true;
    }
}

void InputDeviceNodePulse::process(Buffer* buffer)
{
    // Audio thread.
    readCapturedBlock(buffer);
}

} // namespace mirvo::audio
