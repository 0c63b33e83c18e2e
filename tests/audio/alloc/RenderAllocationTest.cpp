// Proves that rendering allocates nothing: the allocation counter counts every call made by the
// thread under watch while the application's graph renders.
#include "audio/ContextManual.h"
#include "audio/GainNode.h"
#include "audio/MonitorSpectralNode.h"
#include "tests/audio/TestNodes.h"
#include "tests/audio/alloc/AllocationCounter.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>
#include <vector>

namespace mirvo::audio {
namespace {

using test::AllocationWatch;

constexpr size_t kFramesPerBlock = 512;

// Each pointer escapes through it, so the compiler may not drop an allocation it sees freed unused.
void* volatile gEscaped = nullptr;

TEST(AllocationWatch, SeesAnAllocationOnThisThread)
{
    AllocationWatch watch;
    std::vector<float>* heapVector = new std::vector<float>(16);
    gEscaped = heapVector;
    delete heapVector;
    void* raw = std::malloc(8);
    gEscaped = raw;
    std::free(raw);
    EXPECT_EQ(watch.count(), 3);
}

TEST(RenderAllocation, TheApplicationGraphRendersTenThousandBlocksWithoutAllocating)
{
    test::OfflineAppGraph graph(kFramesPerBlock);
    const ContextManualRef& context = graph.context;
    const auto& player = graph.player;
    const auto& monitor = graph.monitor;
    ASSERT_TRUE(monitor->isPulledByContext());

    std::vector<float> block(kFramesPerBlock);
    for (size_t i = 0; i < block.size(); ++i) {
        block[i] = 0.1f * static_cast<float>(i % 64) / 64.0f;
    }
    auto renderOne = [&](size_t blockIndex) {
        player->queue(block.data(), kFramesPerBlock);
        context->renderBlocks(1);
        if (blockIndex % 4 == 0) {
            monitor->getMagSpectrum();
        }
    };
    for (size_t warmUp = 0; warmUp < 16; ++warmUp) {
        renderOne(warmUp);
    }

    long allocations = 0;
    {
        AllocationWatch watch;
        for (size_t blockIndex = 0; blockIndex < 10000; ++blockIndex) {
            renderOne(blockIndex);
        }
        allocations = watch.count();
    }
    EXPECT_EQ(allocations, 0);
    EXPECT_FLOAT_EQ(context->getManualOutput()->getOutputBuffer().getChannel(1)[63], 0.9f * block[63]);
    EXPECT_GT(monitor->getMagSpectrum()[0], 0.0f);
}

} // namespace
} // namespace mirvo::audio
