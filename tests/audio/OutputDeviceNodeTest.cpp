#include "audio/Exception.h"
#include "tests/audio/DeviceTestSupport.h"
#include "tests/audio/FakeDeviceManager.h"

#include <gtest/gtest.h>

namespace mirvo::audio {
namespace {

using test::DeviceTestContext;
using test::fakeDevice;
using test::FakeDeviceManager;
using test::ManualDeviceInput;
using test::ManualDeviceOutput;

constexpr size_t kFrames = 64;

// Writes one chosen sample into an otherwise silent block.
class SpikeSourceNode : public Node {
  public:
    SpikeSourceNode() : Node(Format().channels(2).autoEnable(true)) {}

    void process(Buffer* buffer) override
    {
        buffer->zero();
        if (mValue != 0.0f) {
            buffer->getChannel(mChannel)[mFrame] = mValue;
        }
    }
    void set(size_t channel, size_t frame, float value)
    {
        mChannel = channel;
        mFrame = frame;
        mValue = value;
    }

  private:
    size_t mChannel = 0;
    size_t mFrame = 0;
    float mValue = 0.0f;
};

class DeviceOutput : public ::testing::Test {
  protected:
    std::shared_ptr<ManualDeviceOutput> makeOutput(size_t deviceChannels, const Node::Format& format = {})
    {
        DeviceRef device =
            mManager.add(fakeDevice("Out").withChannels(deviceChannels).withFormat(48000, kFrames));
        auto output =
            std::dynamic_pointer_cast<ManualDeviceOutput>(mContext->createOutputDeviceNode(device, format));
        mContext->setOutput(output);
        return output;
    }

    FakeDeviceManager mManager;
    std::shared_ptr<DeviceTestContext> mContext = DeviceTestContext::create();
};

TEST_F(DeviceOutput, TakesTheDevicesChannelsUpToTwo)
{
    EXPECT_EQ(makeOutput(2)->getNumChannels(), 2u);
    EXPECT_EQ(makeOutput(6)->getNumChannels(), 2u);
    EXPECT_EQ(makeOutput(1)->getNumChannels(), 1u);
    EXPECT_EQ(makeOutput(6, Node::Format().channels(4))->getNumChannels(), 4u);
}

TEST_F(DeviceOutput, RefusesMoreChannelsThanTheDeviceHasNamingTheDevicesCount)
{
    try {
        makeOutput(2, Node::Format().channels(4));
        FAIL() << "4 channels on a stereo device must be refused";
    } catch (const AudioFormatExc& exc) {
        EXPECT_STREQ(exc.what(), "Device can not accommodate 2 output channels.");
    }
}

TEST_F(DeviceOutput, ReportsTheDevicesFormatAndRunsOnlyWhileTheContextIsEnabled)
{
    auto output = makeOutput(2);
    EXPECT_EQ(output->getSampleRate(), 48000u);
    EXPECT_EQ(output->getFramesPerBlock(), kFrames);
    EXPECT_FALSE(output->isAutoEnabled());

    mContext->enable();
    EXPECT_TRUE(output->isEnabled());
    mContext->disable();
    EXPECT_FALSE(output->isEnabled());
}

TEST_F(DeviceOutput, SilencesABlockThatClipsAndRecordsWhere)
{
    auto output = makeOutput(2);
    auto source = mContext->makeNode(new SpikeSourceNode);
    source->connect(output);
    mContext->enable();

    source->set(0, 5, 2.0f);
    output->renderBlock();
    EXPECT_FLOAT_EQ(output->getDeviceChannel(0)[5], 2.0f) << "2.0 exactly is not a clip";
    EXPECT_EQ(output->getLastClip(), 0u);

    source->set(1, 37, -2.5f);
    output->renderBlock();
    EXPECT_TRUE(output->deviceBlockIsSilent());
    EXPECT_EQ(output->getLastClip(), kFrames + 37);

    source->set(1, 3, 0.5f);
    output->renderBlock();
    EXPECT_FLOAT_EQ(output->getDeviceChannel(1)[3], 0.5f) << "the next block plays again";
    EXPECT_EQ(mContext->getNumProcessedFrames(), 3 * kFrames);
}

TEST_F(DeviceOutput, RendersSilenceOnceItsContextIsGone)
{
    auto output = makeOutput(2);
    auto source = mContext->makeNode(new SpikeSourceNode);
    source->connect(output);
    source->set(0, 0, 1.0f);
    mContext->enable();
    mContext.reset();

    output->renderBlock();
    EXPECT_TRUE(output->deviceBlockIsSilent());
}

TEST_F(DeviceOutput, AFormatChangeRebuildsTheGraphAndResumesOnlyIfItWasRunning)
{
    auto output = makeOutput(2);
    auto source = mContext->makeNode(new SpikeSourceNode);
    source->connect(output);
    mContext->enable();
    const int initializedBefore = output->getInitializeCount();

    output->getDevice()->updateFormat(Device::Format().framesPerBlock(128));
    EXPECT_EQ(output->getInitializeCount(), initializedBefore + 1);
    EXPECT_EQ(output->getFramesPerBlock(), 128u);
    EXPECT_EQ(output->getInternalBuffer()->getNumFrames(), 128u);
    EXPECT_TRUE(mContext->isEnabled());
    EXPECT_TRUE(output->isEnabled());

    source->set(0, 100, 0.25f);
    output->renderBlock();
    EXPECT_FLOAT_EQ(output->getDeviceChannel(0)[100], 0.25f);

    mContext->disable();
    output->getDevice()->updateFormat(Device::Format().sampleRate(44100));
    EXPECT_EQ(output->getSampleRate(), 44100u);
    EXPECT_FALSE(mContext->isEnabled());
    EXPECT_TRUE(output->isInitialized());
}

class DeviceInput : public DeviceOutput {
  protected:
    std::shared_ptr<ManualDeviceInput> makeInput(size_t deviceInputs)
    {
        DeviceRef device =
            mManager.add(fakeDevice("In").withChannels(0, deviceInputs).withFormat(48000, kFrames));
        return std::dynamic_pointer_cast<ManualDeviceInput>(mContext->createInputDeviceNode(device, {}));
    }
};

TEST_F(DeviceInput, TakesTheDevicesInputChannelsUpToTwoAndStartsDisabled)
{
    makeOutput(2);
    EXPECT_EQ(makeInput(1)->getNumChannels(), 1u);
    EXPECT_EQ(makeInput(4)->getNumChannels(), 2u);
    EXPECT_FALSE(makeInput(2)->isAutoEnabled());
}

TEST_F(DeviceInput, CarriesCapturedBlocksThroughTheRingAndRecordsOverrunsAndUnderruns)
{
    auto output = makeOutput(2);
    auto input = makeInput(2);
    input->connect(output);
    input->enable();
    mContext->enable();

    std::vector<float> first(2 * kFrames);
    std::vector<float> second(2 * kFrames);
    for (size_t i = 0; i < first.size(); ++i) {
        first[i] = float(i) / float(first.size());
        second[i] = -first[i];
    }

    // The ring fills to two blocks before the graph reads from it, so that the jitter of two
    // device threads does not starve it.
    input->capture(first, kFrames);
    output->renderBlock();
    EXPECT_TRUE(output->deviceBlockIsSilent());
    input->capture(second, kFrames);
    output->renderBlock();
    EXPECT_FLOAT_EQ(output->getDeviceChannel(0)[3], first[3]);
    EXPECT_FLOAT_EQ(output->getDeviceChannel(1)[3], first[kFrames + 3]);
    output->renderBlock();
    EXPECT_FLOAT_EQ(output->getDeviceChannel(1)[3], second[kFrames + 3]);
    EXPECT_EQ(input->getLastUnderrun(), 0u);

    // Starved: the block is left as the output zeroed it, and the position is recorded.
    output->renderBlock();
    EXPECT_TRUE(output->deviceBlockIsSilent());
    EXPECT_EQ(input->getLastUnderrun(), 3 * kFrames);

    // A reader that stalls: the ring holds four blocks, the fifth is dropped.
    for (int block = 0; block < 4; ++block) {
        input->capture(first, kFrames);
    }
    EXPECT_EQ(input->getLastOverrun(), 0u);
    input->capture(first, kFrames);
    EXPECT_EQ(input->getLastOverrun(), 4 * kFrames);
}

} // namespace
} // namespace mirvo::audio
