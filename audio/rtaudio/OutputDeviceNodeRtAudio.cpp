#include "audio/rtaudio/OutputDeviceNodeRtAudio.h"

#include "app/App.h"
#include "audio/Context.h"
#include "audio/SoundServer.h"
#include "audio/rtaudio/DeviceManagerRtAudio.h"
#include "audio/rtaudio/RtAudioStream.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <stdexcept>

namespace mirvo::audio {
namespace {

// RtAudio's error callback carries no user pointer, but it is called on the stream's own thread
// right after a render callback, so the node that rendered last on this thread is the one whose
// device failed. Failures on the main thread (opening, starting) show as an exception or as a
// stream that is not open or not running afterwards, and are handled there.
thread_local OutputDeviceNodeRtAudio* tRenderingNode = nullptr;

// Blocks in a row whose delivery failed before the device counts as lost; a single failed
// write (an xrun the driver recovers from) does not switch the output away.
constexpr int kFailedBlocksBeforeLoss = 4;
// Standby polls without a single callback before a running device counts as lost: two seconds,
// well beyond any server's start-up or scheduling delay.
constexpr int kPollsWithoutCallbackBeforeLoss = 20;
// How often a lost device is tried again: a restarted server is played to within about this.
constexpr auto kDeviceRetry = std::chrono::seconds(1);

} // namespace

OutputDeviceNodeRtAudio::OutputDeviceNodeRtAudio(const DeviceRef& device, const Format& format)
    : OutputDeviceNode(device, format)
{
    // A loss seen on a device thread is told from the main thread, once a frame at the latest.
    if (app::App* application = app::App::get()) {
        mUpdateConnection = application->getSignalUpdate().connect([this] { reportDeviceEvents(); });
    }
}

OutputDeviceNodeRtAudio::~OutputDeviceNodeRtAudio()
{
    uninitialize();
}

void OutputDeviceNodeRtAudio::initialize()
{
    const size_t sampleRate = getSampleRate();
    const size_t framesPerBlock = getFramesPerBlock();
    mDeviceLost = false;
    mOnFallback = false;
    mLossReported = false;
    mErrorsSinceLastBlock = 0;
    mFailedBlocksInARow = 0;
    mFallbackStream.open(mNumChannels, sampleRate, framesPerBlock);
    mChannelPointers.assign(mNumChannels, nullptr);
    mPendingStorage.assign(mNumChannels * framesPerBlock, 0.0f);
    mPendingChannels.resize(mNumChannels);
    for (size_t ch = 0; ch < mNumChannels; ++ch) {
        mPendingChannels[ch] = mPendingStorage.data() + ch * framesPerBlock;
    }
    mPendingFrames = 0;
    mPendingReadPosition = 0;

    try {
        openDeviceStream();
    } catch (const std::exception& exc) {
        fallBack(exc.what());
    }
}

void OutputDeviceNodeRtAudio::openDeviceStream()
{
    auto* manager = dynamic_cast<DeviceManagerRtAudio*>(Context::deviceManager());
    if (!manager) {
        throw std::runtime_error("no RtAudio device manager");
    }
    const DeviceManagerRtAudio::DeviceInfo& info = manager->getDeviceInfo(mDevice);

    mRtAudio = std::make_unique<RtAudio>(info.api);
    mRtAudio->showWarnings(false);
    RtAudio::StreamParameters output;
    output.deviceId = info.index;
    output.nChannels = unsigned(mNumChannels);
    RtAudio::StreamParameters input;
    input.deviceId = info.index;
    input.nChannels = unsigned(mSynchronousInputChannels);
    RtAudio::StreamOptions options;
    options.flags = RTAUDIO_NONINTERLEAVED;
    options.streamName = "Mirvo";
    unsigned int deviceFrames = unsigned(getFramesPerBlock());
    mRtAudio->openStream(&output, mSynchronousInputChannels > 0 ? &input : nullptr, RTAUDIO_FLOAT32,
                         unsigned(getSampleRate()), &deviceFrames, &OutputDeviceNodeRtAudio::renderCallback,
                         this, &options, &OutputDeviceNodeRtAudio::errorCallback);
    if (!mRtAudio->isStreamOpen()) {
        throw std::runtime_error("the stream did not open");
    }
}

void OutputDeviceNodeRtAudio::uninitialize()
{
    disableProcessing();
    closeStreamQuietly(mRtAudio);
}

void OutputDeviceNodeRtAudio::enableProcessing()
{
    if (!mOnFallback && mRtAudio) {
        try {
            mGate.open();
            mRtAudio->startStream();
            if (!mRtAudio->isStreamRunning()) {
                throw std::runtime_error("the stream did not start");
            }
            // Waits, costing nothing, until the device callback hands over after a loss or the
            // callbacks stop coming.
            mCallbacksAtLastPoll = mNumCallbacks.load();
            mPollsWithoutCallback = 0;
            mFallbackStream.startStandby(this);
            return;
        } catch (const std::exception& exc) {
            fallBack(exc.what());
        }
    }
    mFallbackStream.start(this);
}

void OutputDeviceNodeRtAudio::disableProcessing()
{
    mGate.close();
    if (mRtAudio) {
        abortStreamQuietly(*mRtAudio);
    }
    mFallbackStream.stop();
    reportDeviceEvents();
}

void OutputDeviceNodeRtAudio::reportDeviceEvents()
{
    if (mPendingLossReports.exchange(0) > 0) {
        mLastDeviceTry = std::chrono::steady_clock::now();
        reportLoss("the device stopped responding");
    }
    if (mOnFallback.load() && isEnabled() &&
        std::chrono::steady_clock::now() - mLastDeviceTry >= kDeviceRetry) {
        tryDeviceAgain();
    }
}

bool OutputDeviceNodeRtAudio::tryDeviceAgain()
{
    if (!mOnFallback.load() || !isEnabled()) {
        return false;
    }
    mLastDeviceTry = std::chrono::steady_clock::now();
    auto* manager = dynamic_cast<DeviceManagerRtAudio*>(Context::deviceManager());
    if (!manager || !manager->isRtAudioDevice(mDevice)) {
        return false;
    }
    // Opening a stream on a server that takes the connection and never answers blocks for good.
    if (manager->getDeviceInfo(mDevice).api == RtAudio::LINUX_PULSE &&
        !SoundServer::answers(std::chrono::milliseconds(250))) {
        return false;
    }
    // The lost stream's thread has ended or answers silence; it is let go before a new one.
    mGate.close();
    closeStreamQuietly(mRtAudio);
    try {
        openDeviceStream();
    } catch (const std::exception&) {
        closeStreamQuietly(mRtAudio);
        return false;
    }
    // The null stream renders until here; from the device's first callback on, the device does.
    mFallbackStream.stop();
    mDeviceLost = false;
    mErrorsSinceLastBlock = 0;
    mFailedBlocksInARow = 0;
    mPendingLossReports = 0;
    try {
        mGate.open();
        mRtAudio->startStream();
        if (!mRtAudio->isStreamRunning()) {
            throw std::runtime_error("the stream did not start");
        }
    } catch (const std::exception&) {
        mGate.close();
        closeStreamQuietly(mRtAudio);
        mFallbackStream.start(this);
        return false;
    }
    mOnFallback = false;
    mLossReported = false;
    mCallbacksAtLastPoll = mNumCallbacks.load();
    mPollsWithoutCallback = 0;
    mFallbackStream.startStandby(this);
    std::fprintf(stderr, "Audio output device \"%s\" is back; output continues on it.\n",
                 mDevice->getKey().c_str());
    return true;
}

void OutputDeviceNodeRtAudio::fallBack(const std::string& reason)
{
    mOnFallback = true;
    mLastDeviceTry = std::chrono::steady_clock::now();
    reportLoss(reason);
}

void OutputDeviceNodeRtAudio::reportLoss(const std::string& reason)
{
    if (mLossReported) {
        return;
    }
    mLossReported = true;
    std::fprintf(stderr, "Audio output device \"%s\" failed (%s); output continues on the null device.\n",
                 mDevice->getKey().c_str(), reason.c_str());
}

int OutputDeviceNodeRtAudio::renderCallback(void* outputBuffer, void* inputBuffer, unsigned int numFrames,
                                            double streamTime, RtAudioStreamStatus status, void* userData)
{
    auto* node = static_cast<OutputDeviceNodeRtAudio*>(userData);
    if (!node->mGate.enter()) {
        std::memset(outputBuffer, 0, sizeof(float) * numFrames * node->mNumChannels);
        return 0;
    }
    tRenderingNode = node;
    const int result =
        node->render(static_cast<float*>(outputBuffer), static_cast<const float*>(inputBuffer), numFrames);
    node->mGate.leave();
    return result;
}

void OutputDeviceNodeRtAudio::errorCallback(RtAudioError::Type type, const std::string& message)
{
    if (tRenderingNode && type != RtAudioError::DEBUG_WARNING) {
        ++tRenderingNode->mErrorsSinceLastBlock;
    }
}

int OutputDeviceNodeRtAudio::render(float* output, const float* input, unsigned int numFrames)
{
    mNumCallbacks.fetch_add(1, std::memory_order_relaxed);
    mFailedBlocksInARow = mErrorsSinceLastBlock > 0 ? mFailedBlocksInARow + 1 : 0;
    mErrorsSinceLastBlock = 0;
    if (mFailedBlocksInARow >= kFailedBlocksBeforeLoss) {
        mDeviceLost = true;
    }

    if (mDeviceLost.load(std::memory_order_relaxed)) {
        std::memset(output, 0, sizeof(float) * numFrames * mNumChannels);
        mFallbackStream.takeOver();
        // Abort: the stream stops without draining into a device that no longer listens.
        return 2;
    }

    const size_t framesPerBlock = mPendingStorage.size() / std::max<size_t>(mNumChannels, 1);
    if (numFrames == framesPerBlock && mPendingFrames == 0) {
        mCurrentInput = input;
        for (size_t ch = 0; ch < mNumChannels; ++ch) {
            mChannelPointers[ch] = output + ch * numFrames;
        }
        renderToDevice(mChannelPointers.data(), mNumChannels, numFrames);
    } else {
        // Captured input no longer lines up with our blocks; the input node sees none.
        mCurrentInput = nullptr;
        renderInPieces(output, numFrames);
    }
    mCurrentInput = nullptr;
    return 0;
}

void OutputDeviceNodeRtAudio::renderInPieces(float* output, unsigned int numFrames)
{
    const size_t framesPerBlock = mPendingStorage.size() / std::max<size_t>(mNumChannels, 1);
    size_t framesDone = 0;
    while (framesDone < numFrames) {
        if (mPendingFrames == 0) {
            renderToDevice(mPendingChannels.data(), mNumChannels, framesPerBlock);
            mPendingFrames = framesPerBlock;
            mPendingReadPosition = 0;
        }
        const size_t frames = std::min<size_t>(numFrames - framesDone, mPendingFrames);
        for (size_t ch = 0; ch < mNumChannels; ++ch) {
            std::memcpy(output + ch * numFrames + framesDone, mPendingChannels[ch] + mPendingReadPosition,
                        frames * sizeof(float));
        }
        framesDone += frames;
        mPendingFrames -= frames;
        mPendingReadPosition += frames;
    }
}

bool OutputDeviceNodeRtAudio::isStalled()
{
    const uint64_t callbacks = mNumCallbacks.load(std::memory_order_relaxed);
    if (callbacks != mCallbacksAtLastPoll) {
        mCallbacksAtLastPoll = callbacks;
        mPollsWithoutCallback = 0;
        return false;
    }
    if (++mPollsWithoutCallback < kPollsWithoutCallbackBeforeLoss) {
        return false;
    }
    // A callback that comes after all finds the device lost, answers silence and aborts.
    mDeviceLost = true;
    return true;
}

void OutputDeviceNodeRtAudio::renderNullBlock(float* const* channels, size_t numChannels, size_t numFrames)
{
    // Counted here, told by the main thread: a render thread does no I/O.
    if (!mOnFallback.exchange(true)) {
        mPendingLossReports.fetch_add(1, std::memory_order_relaxed);
    }
    renderToDevice(channels, numChannels, numFrames);
}

double OutputDeviceNodeRtAudio::getLatencySeconds() const
{
    if (!mRtAudio || !mRtAudio->isStreamOpen() || getSampleRate() == 0) {
        return 0.0;
    }
    try {
        return static_cast<double>(mRtAudio->getStreamLatency()) / static_cast<double>(getSampleRate());
    } catch (const RtAudioError&) {
        return 0.0;
    }
}

} // namespace mirvo::audio
