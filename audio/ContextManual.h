// A context without audio devices whose output is an OutputNodeManual: the graph renders only
// when renderBlocks (or the output's renderBlock) is called, on the caller's thread.
#pragma once

#include "audio/Context.h"
#include "audio/OutputNodeManual.h"

#include <memory>

namespace mirvo::audio {

class ContextManual;
using ContextManualRef = std::shared_ptr<ContextManual>;

class ContextManual : public Context {
  public:
    static ContextManualRef create(size_t sampleRate = 48000, size_t framesPerBlock = 512,
                                   size_t numChannels = 2);

    // A manual context opens no device: both throw AudioDeviceExc.
    OutputDeviceNodeRef createOutputDeviceNode(const DeviceRef& device, const Node::Format& format) override;
    InputDeviceNodeRef createInputDeviceNode(const DeviceRef& device, const Node::Format& format) override;

    std::shared_ptr<OutputNodeManual> getManualOutput() const { return mManualOutput; }

    // Renders numBlocks blocks through the manual output.
    void renderBlocks(size_t numBlocks);

  private:
    ContextManual() = default;

    std::shared_ptr<OutputNodeManual> mManualOutput;
};

} // namespace mirvo::audio
