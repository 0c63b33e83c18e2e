// A whole-file byte buffer shared by reference: copies of a Buffer see the same bytes. Made on
// the main thread or a file reader's thread; not synchronised for concurrent writers.
#pragma once

#include <cstddef>
#include <memory>

namespace mirvo {

class Buffer {
  public:
    // An empty reference with no storage.
    Buffer() = default;
    // Owns `size` freshly allocated bytes; allocated size and data size are both `size`.
    explicit Buffer(std::size_t size);
    // Wraps memory the caller owns and keeps alive; such a buffer ignores resizing.
    Buffer(void* data, std::size_t size);

    explicit operator bool() const { return mObj != nullptr; }

    void* getData() { return mObj ? mObj->mData : nullptr; }
    const void* getData() const { return mObj ? mObj->mData : nullptr; }
    std::size_t getDataSize() const { return mObj ? mObj->mDataSize : 0; }
    std::size_t getAllocatedSize() const { return mObj ? mObj->mAllocatedSize : 0; }
    bool ownsData() const { return mObj && mObj->mOwnsData; }

    // How many of the allocated bytes hold data; never more than the allocation.
    void setDataSize(std::size_t size);
    // Reallocates an owning buffer to `size` bytes, keeping the contents up to the smaller size,
    // and sets both sizes to it. Does nothing to a buffer that does not own its data.
    void resize(std::size_t size);

  private:
    struct Obj {
        Obj(void* data, std::size_t size, bool ownsData);
        ~Obj();
        Obj(const Obj&) = delete;
        Obj& operator=(const Obj&) = delete;

        void* mData;
        std::size_t mAllocatedSize;
        std::size_t mDataSize;
        bool mOwnsData;
    };

    std::shared_ptr<Obj> mObj;
};

} // namespace mirvo
