#include "core/Buffer.h"

#include <algorithm>
#include <cstdlib>
#include <new>

namespace mirvo {

Buffer::Obj::Obj(void* data, std::size_t size, bool ownsData)
    : mData(data), mAllocatedSize(size), mDataSize(size), mOwnsData(ownsData)
{
}

Buffer::Obj::~Obj()
{
    if (mOwnsData) {
        std::free(mData);
    }
}

namespace {

// malloc(0) may return null; a zero-byte buffer still gets a distinct, freeable block.
void* allocateBytes(std::size_t size)
{
    void* data = std::malloc(std::max<std::size_t>(size, 1));
    if (!data) {
        throw std::bad_alloc();
    }
    return data;
}

} // namespace

Buffer::Buffer(std::size_t size)
{
    void* data = allocateBytes(size);
    try {
        mObj = std::make_shared<Obj>(data, size, true);
    } catch (...) {
        std::free(data);
        throw;
    }
}

Buffer::Buffer(void* data, std::size_t size) : mObj(std::make_shared<Obj>(data, size, false))
{
}

void Buffer::setDataSize(std::size_t size)
{
    if (mObj) {
        mObj->mDataSize = std::min(size, mObj->mAllocatedSize);
    }
}

void Buffer::resize(std::size_t size)
{
    if (!mObj || !mObj->mOwnsData) {
        return;
    }
    void* data = std::realloc(mObj->mData, std::max<std::size_t>(size, 1));
    if (!data) {
        throw std::bad_alloc();
    }
    mObj->mData = data;
    mObj->mAllocatedSize = size;
    mObj->mDataSize = size;
}

} // namespace mirvo
