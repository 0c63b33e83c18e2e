#include "audio/ContextManual.h"

#include "audio/Exception.h"

namespace mirvo::audio {

ContextManualRef ContextManual::create(size_t sampleRate, size_t framesPerBlock, size_t numChannels)
{
    ContextManualRef context(new ContextManual());
    context->mManualOutput = context->makeNode(
        new OutputNodeManual(Node::Format().channels(numChannels), sampleRate, framesPerBlock));
    context->setOutput(context->mManualOutput);
    return context;
}

OutputDeviceNodeRef ContextManual::createOutputDeviceNode(const DeviceRef& device, const Node::Format& format)
{
    throw AudioDeviceExc("a manual context has no audio devices");
}

InputDeviceNodeRef ContextManual::createInputDeviceNode(const DeviceRef& device, const Node::Format& format)
{
    throw AudioDeviceExc("a manual context has no audio devices");
}

void ContextManual::renderBlocks(size_t numBlocks)
{
    for (size_t block = 0; block < numBlocks; ++block) {
        mManualOutput->renderBlock();
    }
}

} // namespace mirvo::audio
