// Proves that rendering allocates nothing: this binary replaces the global operator new and
// interposes glibc's malloc family, counting every call made by the thread under watch while
// the application's graph renders.
#include "audio/ContextManual.h"
#include "audio/GainNode.h"
#include "audio/MonitorSpectralNode.h"
#include "tests/audio/TestNodes.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>
#include <vector>

extern "C" {
void* __libc_malloc(size_t size);
void* __libc_calloc(size_t count, size_t size);
void* __libc_realloc(void* pointer, size_t size);
void* __libc_memalign(size_t alignment, size_t size);
void __libc_free(void* pointer);
}

namespace {

thread_local bool tWatching = false;
std::atomic<long> gAllocations{0};

void noteAllocation()
{
    if (tWatching) {
        gAllocations.fetch_add(1, std::memory_order_relaxed);
    }
}

void* allocateOrThrow(size_t size)
{
    noteAllocation();
    if (void* pointer = __libc_malloc(size == 0 ? 1 : size)) {
        return pointer;
    }
    throw std::bad_alloc();
}

void* allocateAlignedOrThrow(size_t size, std::align_val_t alignment)
{
    noteAllocation();
    if (void* pointer = __libc_memalign(static_cast<size_t>(alignment), size == 0 ? 1 : size)) {
        return pointer;
    }
    throw std::bad_alloc();
}

// Counts the allocations made on this thread while it lives.
class AllocationWatch {
  public:
    AllocationWatch() : mStart(gAllocations.load()) { tWatching = true; }
    ~AllocationWatch() { tWatching = false; }
    long count() const { return gAllocations.load() - mStart; }

  private:
    long mStart;
};

} // namespace

extern "C" {
void* malloc(size_t size) noexcept
{
    noteAllocation();
    return __libc_malloc(size);
}
void* calloc(size_t count, size_t size) noexcept
{
    noteAllocation();
    return __libc_calloc(count, size);
}
void* realloc(void* pointer, size_t size) noexcept
{
    noteAllocation();
    return __libc_realloc(pointer, size);
}
}

void* operator new(size_t size)
{
    return allocateOrThrow(size);
}
void* operator new[](size_t size)
{
    return allocateOrThrow(size);
}
void* operator new(size_t size, std::align_val_t alignment)
{
    return allocateAlignedOrThrow(size, alignment);
}
void* operator new[](size_t size, std::align_val_t alignment)
{
    return allocateAlignedOrThrow(size, alignment);
}
void operator delete(void* pointer) noexcept
{
    __libc_free(pointer);
}
void operator delete[](void* pointer) noexcept
{
    __libc_free(pointer);
}
void operator delete(void* pointer, size_t) noexcept
{
    __libc_free(pointer);
}
void operator delete[](void* pointer, size_t) noexcept
{
    __libc_free(pointer);
}
void operator delete(void* pointer, std::align_val_t) noexcept
{
    __libc_free(pointer);
}
void operator delete[](void* pointer, std::align_val_t) noexcept
{
    __libc_free(pointer);
}
void operator delete(void* pointer, size_t, std::align_val_t) noexcept
{
    __libc_free(pointer);
}
void operator delete[](void* pointer, size_t, std::align_val_t) noexcept
{
    __libc_free(pointer);
}

namespace mirvo::audio {
namespace {

constexpr size_t kFramesPerBlock = 512;

TEST(AllocationWatch, SeesAnAllocationOnThisThread)
{
    AllocationWatch watch;
    std::vector<float>* heapVector = new std::vector<float>(16);
    delete heapVector;
    void* raw = std::malloc(8);
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
