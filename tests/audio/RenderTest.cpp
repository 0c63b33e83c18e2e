#include "audio/ContextManual.h"
#include "audio/GainNode.h"
#include "tests/audio/TestNodes.h"

#include <gtest/gtest.h>

namespace mirvo::audio {
namespace {

using test::ConstantSourceNode;

constexpr size_t kFrames = 64;

class BlockRendering : public ::testing::Test {
  protected:
    const Buffer& render()
    {
        mContext->renderBlocks(1);
        return mContext->getManualOutput()->getOutputBuffer();
    }

    ContextManualRef mContext = ContextManual::create(48000, kFrames, 2);
    OutputNodeRef mOutput = mContext->getOutput();
};

TEST_F(BlockRendering, ALinearChainRendersInOneBufferWithoutSumming)
{
    auto source = mContext->makeNode(new ConstantSourceNode({1.0f, -1.0f}, Node::Format().channels(2)));
    auto gain = mContext->makeNode(new GainNode(0.9f));
    source->connect(gain);
    gain->connect(mOutput);

    EXPECT_TRUE(source->getProcessesInPlace());
    EXPECT_TRUE(gain->getProcessesInPlace());
    EXPECT_EQ(gain->getInternalBuffer()->getAllocatedSize(), 0u);
    EXPECT_EQ(source->getInternalBuffer()->getAllocatedSize(), 0u);

    const Buffer& block = render();
    EXPECT_FLOAT_EQ(block.getChannel(0)[0], 0.9f);
    EXPECT_FLOAT_EQ(block.getChannel(1)[kFrames - 1], -0.9f);
}

TEST_F(BlockRendering, SumsTwoInputs)
{
    auto a = mContext->makeNode(new ConstantSourceNode({0.25f}, Node::Format().channels(2)));
    auto b = mContext->makeNode(new ConstantSourceNode({0.5f}, Node::Format().channels(2)));
    a->connect(mOutput);
    b->connect(mOutput);
    const Buffer& block = render();
    EXPECT_FLOAT_EQ(block.getChannel(0)[10], 0.75f);
    EXPECT_FLOAT_EQ(block.getChannel(1)[10], 0.75f);
}

// The first input starts the sum, copied when it matches the output's shape and added to
// silence when it does not; either way no block may carry the previous block's sum.
TEST_F(BlockRendering, SumsInputsOfMixedWidthsAfreshEveryBlock)
{
    for (const bool monoFirst : {true, false}) {
        ContextManualRef context = ContextManual::create(48000, kFrames, 2);
        auto mono = context->makeNode(new ConstantSourceNode({0.25f}, Node::Format().channels(1)));
        auto stereo = context->makeNode(new ConstantSourceNode({0.5f, -0.5f}, Node::Format().channels(2)));
        auto gain = context->makeNode(new GainNode(2.0f));
        (monoFirst ? mono : stereo)->connect(gain);
        (monoFirst ? stereo : mono)->connect(gain);
        gain->connect(context->getOutput());

        for (int block = 0; block < 3; ++block) {
            context->renderBlocks(1);
            const Buffer& rendered = context->getManualOutput()->getOutputBuffer();
            EXPECT_FLOAT_EQ(rendered.getChannel(0)[0], 1.5f) << "mono first: " << monoFirst;
            EXPECT_FLOAT_EQ(rendered.getChannel(1)[kFrames - 1], -0.5f) << "mono first: " << monoFirst;
        }
    }
}

TEST_F(BlockRendering, ANodeWithTwoConsumersRendersOncePerBlockForBoth)
{
    auto source = mContext->makeNode(new ConstantSourceNode({1.0f}, Node::Format().channels(2)));
    auto half = mContext->makeNode(new GainNode(0.5f));
    auto quarter = mContext->makeNode(new GainNode(0.25f));
    source->connect(half);
    source->connect(quarter);
    half->connect(mOutput);
    quarter->connect(mOutput);
    EXPECT_FALSE(source->getProcessesInPlace());

    for (int block = 1; block <= 3; ++block) {
        const Buffer& rendered = render();
        EXPECT_EQ(source->getProcessCount(), block);
        EXPECT_FLOAT_EQ(rendered.getChannel(0)[0], 0.75f);
        EXPECT_FLOAT_EQ(rendered.getChannel(1)[kFrames - 1], 0.75f);
    }
    EXPECT_EQ(mContext->getNumProcessedFrames(), 3 * kFrames);
}

TEST_F(BlockRendering, ADisabledSourceIsSilentAndADisabledGainPassesTheBlockUnscaled)
{
    auto source = mContext->makeNode(new ConstantSourceNode({0.5f}, Node::Format().channels(2)));
    auto gain = mContext->makeNode(new GainNode(0.1f));
    source->connect(gain);
    gain->connect(mOutput);

    gain->disable();
    EXPECT_FLOAT_EQ(render().getChannel(0)[3], 0.5f);

    source->disable();
    EXPECT_EQ(render().getChannel(0)[3], 0.0f);

    source->enable();
    gain->enable();
    EXPECT_FLOAT_EQ(render().getChannel(1)[3], 0.05f);
}

TEST_F(BlockRendering, GainOfZeroSilencesAndGainOfOneLeavesTheBlock)
{
    auto source = mContext->makeNode(new ConstantSourceNode({0.3f, 0.7f}, Node::Format().channels(2)));
    auto gain = mContext->makeNode(new GainNode(1.0f));
    source->connect(gain);
    gain->connect(mOutput);
    EXPECT_EQ(render().getChannel(1)[0], 0.7f);
    gain->setValue(0.0f);
    EXPECT_EQ(gain->getValue(), 0.0f);
    EXPECT_EQ(render().getChannel(1)[0], 0.0f);
}

TEST_F(BlockRendering, AClippedBlockIsSilencedAndItsPositionRecorded)
{
    auto source = mContext->makeNode(new ConstantSourceNode({0.2f}, Node::Format().channels(2)));
    auto gain = mContext->makeNode(new GainNode(10.9f));
    source->connect(gain);
    gain->connect(mOutput);
    render();
    const Buffer& block = render();
    EXPECT_EQ(block.getChannel(0)[0], 0.0f);
    auto* output = mContext->getManualOutput().get();
    EXPECT_EQ(output->getLastClip(), kFrames);

    gain->setValue(10.0f); // exactly 2.0 is not a clip
    EXPECT_FLOAT_EQ(render().getChannel(0)[0], 2.0f);
}

} // namespace
} // namespace mirvo::audio
