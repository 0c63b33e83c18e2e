// Replaces the global allocation functions of the program that links this file and interposes
// glibc's malloc family, so that the allocations of a chosen thread can be counted.
#include "tests/audio/alloc/AllocationCounter.h"

#include <atomic>
#include <cstdlib>
#include <new>

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

} // namespace

namespace mirvo::audio::test {

void countAllocationsOnThisThread(bool counting)
{
    tWatching = counting;
}

long countedAllocations()
{
    return gAllocations.load();
}

} // namespace mirvo::audio::test

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
