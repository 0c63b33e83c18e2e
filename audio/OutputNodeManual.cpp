#include "audio/OutputNodeManual.h"

#include "audio/Context.h"
#include "audio/RealtimeScope.h"

#include <cstring>
#include <mutex>

namespace mirvo::audio {

OutputNodeManual::OutputNodeManual(const Format& format, size_t sampleRate, size_t framesPerBlock)
    : OutputNode(format), mSampleRate(sampleRate), mFramesPerBlock(framesPerBlock)
{
    if (mChannelMode != ChannelMode::SPECIFIED) {
        mChannelMode = ChannelMode::SPECIFIED;
        mNumChannels = 2;
    }
}

void OutputNodeManual::initialize()
{
    mOutputBuffer = Buffer(mFramesPerBlock, mNumChannels);
}

void OutputNodeManual::renderBlock()
{
    ContextRef context = getContext();
    if (!context) {
        mOutputBuffer.zero();
        return;
    }
    std::lock_guard<std::mutex> lock(context->getMutex());
    MIRVO_RT_SCOPE();
    mInternalBuffer.zero();
    pullInputs(&mInternalBuffer);
    if (checkClip(mInternalBuffer) || mOutputBuffer.getSize() != mInternalBuffer.getSize()) {
        mOutputBuffer.zero();
    } else if (mOutputBuffer.getSize() > 0) {
        // An output nothing feeds is never initialised, and memcpy must not see its null data.
        std::memcpy(mOutputBuffer.getData(), mInternalBuffer.getData(),
                    mOutputBuffer.getSize() * sizeof(float));
    }
    context->postProcess();
}

} // namespace mirvo::audio
