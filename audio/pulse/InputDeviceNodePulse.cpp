#include "audio/pulse/InputDeviceNodePulse.h"

#include "audio/Context.h"
#include "audio/pulse/PulseServer.h"

#include <pulse/thread-mainloop.h>

#include <algorithm>

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
                                           size_t numChannels, const Format& format)
    : InputDeviceNode(numChannels, format), mServer(std::move(server)), mSourceName(std::move(sourceName))
{
}

InputDeviceNodePulse::~InputDeviceNodePulse()
{
    uninitialize();
}

void InputDeviceNodePulse::initialize()
{
    uninitialize();
    const size_t framesPerBlock = getFramesPerBlock();
    // The server delivers in pieces of its own size, cut to kPieceFrames on the way in.
    allocateRingBuffer(framesPerBlock, kPieceFrames);
    // The sink's monitor runs on the clock of the output the graph plays into, and its
    // fragments come a few milliseconds apart, so what stays queued past them only delays
    // the picture.
    setSteadyQueue(kKeepFrames);
    mPiece = std::make_unique<float[]>(kPieceFrames * mNumChannels);
    if (!mServer->isConnected()) {
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

    const LoopLock lock(mServer->getMainloop());
    mStream = pa_stream_new(mServer->getContext(), "Mirvo live input", &sampleFormat, nullptr);
    if (!mStream) {
        mDeviceLost = true;
        return;
    }
    pa_stream_set_read_callback(mStream, &InputDeviceNodePulse::readCallback, this);
    pa_stream_set_state_callback(mStream, &InputDeviceNodePulse::stateCallback, this);
    // Bound to this source: when it goes away the stream ends rather than being moved to
    // whatever the server picks instead.
    const auto flags = static_cast<pa_stream_flags_t>(PA_STREAM_ADJUST_LATENCY | PA_STREAM_START_CORKED |
                                                      PA_STREAM_DONT_MOVE);
    if (pa_stream_connect_record(mStream, mSourceName.c_str(), &attributes, flags) < 0) {
        pa_stream_unref(mStream);
        mStream = nullptr;
        mDeviceLost = true;
    }
}

void InputDeviceNodePulse::uninitialize()
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
}

void InputDeviceNodePulse::setCorked(bool corked)
{
    if (!mStream) {
        return;
    }
    const LoopLock lock(mServer->getMainloop());
    // Until the stream is ready the wish waits in mRunning, and the state change applies it.
    if (pa_stream_get_state(mStream) == PA_STREAM_READY) {
        if (pa_operation* op = pa_stream_cork(mStream, corked ? 1 : 0, nullptr, nullptr)) {
            pa_operation_unref(op);
        }
    }
}

void InputDeviceNodePulse::enableProcessing()
{
    // What waited in the ring from an earlier run is stale: start from what plays now. The
    // ring is only cleared while the stream is corked and the graph does not take from it.
    mPriming = true;
    mRunning = true;
    setCorked(false);
}

void InputDeviceNodePulse::disableProcessing()
{
    mRunning = false;
    setCorked(true);
}

void InputDeviceNodePulse::readCallback(pa_stream* stream, size_t, void* userData)
{
    auto* self = static_cast<InputDeviceNodePulse*>(userData);
    const size_t channels = self->mNumChannels;
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
    if (state == PA_STREAM_READY && self->mRunning.load()) {
        if (pa_operation* op = pa_stream_cork(stream, 0, nullptr, nullptr)) {
            pa_operation_unref(op);
        }
    }
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
