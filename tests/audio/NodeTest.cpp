#include "audio/ContextManual.h"
#include "audio/Exception.h"
#include "audio/GainNode.h"
#include "audio/InputNode.h"
#include "tests/audio/TestNodes.h"

#include <gtest/gtest.h>

namespace mirvo::audio {
namespace {

using test::ConstantSourceNode;
using test::LoggingNode;

class NodeGraph : public ::testing::Test {
  protected:
    ContextManualRef mContext = ContextManual::create(48000, 64, 2);
};

TEST_F(NodeGraph, RefusesACycleNamingBothNodesAndLeavesTheGraphAlone)
{
    auto a = mContext->makeNode(new GainNode(1.0f));
    auto b = mContext->makeNode(new GainNode(1.0f));
    a->setName("first");
    b->setName("second");
    a->connect(b);
    try {
        b->connect(a);
        FAIL() << "a cycle was accepted";
    } catch (const NodeCycleExc& exc) {
        EXPECT_STREQ(exc.what(), "cyclical connection between source: second and dest: first");
    }
    EXPECT_TRUE(a->getInputs().empty());
    EXPECT_EQ(b->getNumConnectedOutputs(), 0u);

    // A longer loop is found as well.
    auto c = mContext->makeNode(new GainNode(1.0f));
    b->connect(c);
    EXPECT_THROW(c->connect(a), NodeCycleExc);
}

TEST_F(NodeGraph, IgnoresASelfConnectionAndASecondIdenticalOne)
{
    auto a = mContext->makeNode(new GainNode(1.0f));
    auto b = mContext->makeNode(new GainNode(1.0f));
    a->connect(a);
    EXPECT_TRUE(a->getInputs().empty());
    EXPECT_EQ(a->getNumConnectedOutputs(), 0u);

    a->connect(b);
    a->connect(b);
    EXPECT_EQ(b->getInputs().size(), 1u);
    EXPECT_EQ(a->getNumConnectedOutputs(), 1u);
}

TEST_F(NodeGraph, DisconnectingRemovesBothSidesOfTheEdge)
{
    auto source = mContext->makeNode(new ConstantSourceNode({1.0f}));
    auto a = mContext->makeNode(new GainNode(1.0f));
    auto b = mContext->makeNode(new GainNode(1.0f));
    source->connect(a);
    a->connect(b);

    a->disconnect(b);
    EXPECT_TRUE(b->getInputs().empty());
    EXPECT_TRUE(a->getOutputs().empty());

    a->connect(b);
    a->disconnectAll();
    EXPECT_TRUE(a->getInputs().empty());
    EXPECT_TRUE(source->getOutputs().empty());
    EXPECT_TRUE(b->getInputs().empty());
}

TEST_F(NodeGraph, OutputsAreHeldWeaklyAndInputsStrongly)
{
    auto source = mContext->makeNode(new ConstantSourceNode({1.0f}));
    std::weak_ptr<Node> weakSource = source;
    {
        auto gain = mContext->makeNode(new GainNode(1.0f));
        source->connect(gain);
        source.reset();
        EXPECT_FALSE(weakSource.expired());
    }
    EXPECT_TRUE(weakSource.expired());
}

TEST_F(NodeGraph, NamesANodeAfterItsClassUnlessItHasAName)
{
    auto gain = mContext->makeNode(new GainNode(0.5f));
    EXPECT_EQ(gain->getName(), "mirvo::audio::GainNode");
    gain->setName("volume");
    EXPECT_EQ(gain->getName(), "volume");
}

TEST_F(NodeGraph, AFormatChannelCountMeansSpecifiedAndSourcesFollowTheirConsumer)
{
    auto specified = mContext->makeNode(new GainNode(1.0f, Node::Format().channels(3)));
    EXPECT_EQ(specified->getChannelMode(), ChannelMode::SPECIFIED);
    EXPECT_EQ(specified->getNumChannels(), 3u);

    auto input = mContext->makeNode(new InputNode());
    EXPECT_EQ(input->getChannelMode(), ChannelMode::MATCHES_OUTPUT);
    EXPECT_FALSE(input->isAutoEnabled());
    EXPECT_FALSE(mContext->getOutput()->isAutoEnabled());
}

TEST_F(NodeGraph, AMonoSourceFollowingItsOutputBecomesStereo)
{
    auto source = mContext->makeNode(
        new ConstantSourceNode({0.25f}, Node::Format().channelMode(ChannelMode::MATCHES_OUTPUT)));
    source->connect(mContext->getOutput());
    EXPECT_EQ(source->getNumChannels(), 2u);
    EXPECT_TRUE(source->getProcessesInPlace());

    mContext->renderBlocks(1);
    const Buffer& block = mContext->getManualOutput()->getOutputBuffer();
    EXPECT_EQ(block.getChannel(0)[0], 0.25f);
    EXPECT_EQ(block.getChannel(1)[63], 0.25f);
}

TEST_F(NodeGraph, AMonoSourceThatKeepsItsCountIsSummedIntoBothOutputChannels)
{
    auto source =
        mContext->makeNode(new ConstantSourceNode({0.25f}, Node::Format().channels(1).autoEnable(true)));
    source->connect(mContext->getOutput());
    EXPECT_EQ(source->getNumChannels(), 1u);
    EXPECT_FALSE(source->getProcessesInPlace());
    EXPECT_EQ(source->getInternalBuffer()->getNumChannels(), 1u);

    mContext->renderBlocks(1);
    const Buffer& block = mContext->getManualOutput()->getOutputBuffer();
    EXPECT_EQ(block.getChannel(0)[0], 0.25f);
    EXPECT_EQ(block.getChannel(1)[63], 0.25f);
}

TEST_F(NodeGraph, AMatchesInputNodeWidensToItsWidestInput)
{
    auto mono = mContext->makeNode(new ConstantSourceNode({1.0f}, Node::Format().channels(1)));
    auto wide = mContext->makeNode(new ConstantSourceNode({1.0f}, Node::Format().channels(4)));
    auto gain = mContext->makeNode(new GainNode(1.0f));
    mono->connect(gain);
    EXPECT_EQ(gain->getNumChannels(), 1u);
    wide->connect(gain);
    EXPECT_EQ(gain->getNumChannels(), 4u);
    // Inputs of different widths are summed, never rendered in place.
    EXPECT_FALSE(gain->getProcessesInPlace());
    EXPECT_FALSE(mono->getProcessesInPlace());
}

TEST_F(NodeGraph, InitialisingAnAutoEnabledNodeEnablesItAndAChannelChangeUninitialisesIt)
{
    std::vector<std::string> log;
    auto node = mContext->makeNode(new LoggingNode("node", &log));
    auto manual = mContext->makeNode(new LoggingNode("manual", &log, Node::Format().autoEnable(false)));
    node->initializeNode();
    manual->initializeNode();
    EXPECT_TRUE(node->isEnabled());
    EXPECT_FALSE(manual->isEnabled());

    node->setNumChannels(2);
    EXPECT_FALSE(node->isInitialized());
    EXPECT_FALSE(node->isEnabled());
    EXPECT_EQ(log, (std::vector<std::string>{"node initialize", "node enable", "manual initialize",
                                             "node disable", "node uninitialize"}));

    // enable initialises first.
    log.clear();
    node->enable();
    EXPECT_EQ(log, (std::vector<std::string>{"node initialize", "node enable"}));
}

TEST(ContextLifetime, NodesThatOutliveTheirContextCanStillBeTakenApart)
{
    ContextManualRef context = ContextManual::create(48000, 64, 2);
    auto source = context->makeNode(new ConstantSourceNode({1.0f}));
    auto gain = context->makeNode(new GainNode(1.0f));
    source->connect(gain);
    gain->connect(context->getOutput());
    context.reset();

    EXPECT_FALSE(gain->getContext());
    EXPECT_FALSE(gain->isInitialized());
    gain->disconnectAll();
    EXPECT_TRUE(gain->getInputs().empty());
    EXPECT_TRUE(source->getOutputs().empty());
}

class LoggingOutputNode : public OutputNodeManual {
  public:
    LoggingOutputNode(std::vector<std::string>* log) : OutputNodeManual(Format(), 48000, 64), mLog(log) {}
    void disableProcessing() override { mLog->push_back("output disable"); }

  private:
    std::vector<std::string>* mLog;
};

TEST(ContextLifetime, StopsTheOutputBeforeUninitialisingTheGraph)
{
    std::vector<std::string> log;
    {
        ContextManualRef context = ContextManual::create(48000, 64, 2);
        auto output = context->makeNode(new LoggingOutputNode(&log));
        context->setOutput(output);
        auto node = context->makeNode(new LoggingNode("node", &log));
        node->connect(output);
        context->enable();
        EXPECT_TRUE(output->isEnabled());
        log.clear();
    }
    ASSERT_FALSE(log.empty());
    EXPECT_EQ(log.front(), "output disable");
    EXPECT_NE(std::find(log.begin(), log.end(), "node uninitialize"), log.end());
}

TEST(ContextLifetime, EnableAndDisableDriveTheOutputNode)
{
    ContextManualRef context = ContextManual::create();
    EXPECT_FALSE(context->isEnabled());
    context->enable();
    EXPECT_TRUE(context->getOutput()->isInitialized());
    EXPECT_TRUE(context->getOutput()->isEnabled());
    context->disable();
    EXPECT_FALSE(context->getOutput()->isEnabled());
    EXPECT_TRUE(context->getOutput()->isInitialized());
}

} // namespace
} // namespace mirvo::audio
