#include "core/Stream.h"

#include <algorithm>

namespace mirvo {

void IStreamMirvo::readData(void* destination, std::size_t count)
{
    if (readDataAvailable(destination, count) < count) {
        throw StreamExc();
    }
}

namespace {

constexpr std::size_t kUnsizedReadChunk = 4096;

} // namespace

Buffer loadStreamBuffer(const IStreamMirvoRef& stream)
{
    if (!stream) {
        throw StreamExc();
    }

    const int64_t size = stream->size();
    if (size > 0) {
        const auto expected = static_cast<std::size_t>(size);
        Buffer buffer(expected);
        const std::size_t delivered = stream->readDataAvailable(buffer.getData(), expected);
        if (delivered < expected) {
            // Short at the end (the stream was not at its start, or the file shrank) is the
            // remaining content; short anywhere else is a failed read, not a smaller file.
            if (!stream->isEof()) {
                throw StreamExc();
            }
            buffer.setDataSize(delivered);
        }
        return buffer;
    }

    // The stream cannot tell its length: grow by at least a chunk and by half each time.
    Buffer buffer(kUnsizedReadChunk);
    buffer.setDataSize(0);
    std::size_t count = 0;
    while (!stream->isEof()) {
        if (count + kUnsizedReadChunk > buffer.getAllocatedSize()) {
            const auto grown = static_cast<std::size_t>(static_cast<float>(buffer.getAllocatedSize()) * 1.5f);
            buffer.resize(std::max(grown, count + kUnsizedReadChunk));
        }
        auto* destination = static_cast<unsigned char*>(buffer.getData()) + count;
        const std::size_t delivered = stream->readDataAvailable(destination, kUnsizedReadChunk);
        count += delivered;
        buffer.setDataSize(count);
        if (delivered == 0 && !stream->isEof()) {
            // Nothing delivered and not at the end: a read error, which would otherwise spin here.
            throw StreamExc();
        }
    }
    return buffer;
}

} // namespace mirvo
