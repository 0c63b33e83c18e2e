#include "src/render/ffmpeg/GuardedFileOutput.h"

extern "C" {
#include <libavformat/avio.h>
#include <libavutil/mem.h>
}

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <system_error>

namespace mirvo::render {

namespace {

constexpr int kBufferBytes = 1 << 16;

} // namespace

GuardedFileOutput::GuardedFileOutput(const std::string& path)
{
    mFd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (mFd < 0) {
        throw std::system_error(errno, std::generic_category());
    }
    auto* buffer = static_cast<unsigned char*>(av_malloc(kBufferBytes));
    if (buffer != nullptr) {
        mContext = avio_alloc_context(buffer, kBufferBytes, 1, this, nullptr, &GuardedFileOutput::write,
                                      &GuardedFileOutput::seek);
    }
    if (mContext == nullptr) {
        av_free(buffer);
        ::close(mFd);
        throw std::system_error(ENOMEM, std::generic_category());
    }
}

GuardedFileOutput::~GuardedFileOutput()
{
    close();
}

int GuardedFileOutput::close()
{
    if (mContext != nullptr) {
        avio_flush(mContext);
        av_freep(&mContext->buffer);
        avio_context_free(&mContext);
    }
    if (mFd < 0) {
        return 0;
    }
    const int closed = ::close(mFd);
    mFd = -1;
    return closed == 0 ? 0 : errno;
}

int GuardedFileOutput::write(void* opaque, std::uint8_t* data, int size)
{
    auto* self = static_cast<GuardedFileOutput*>(opaque);
    self->land(data, size, self->mPosition);
    // The muxer is told every byte went: its offsets stay true for what did, and it goes on to
    // write its index.
    self->mPosition += size;
    self->mLogicalEnd = std::max(self->mLogicalEnd, self->mPosition);
    return size;
}

void GuardedFileOutput::land(const std::uint8_t* data, std::int64_t size, std::int64_t at)
{
    // After a failure nothing lands past the end of what was written: a later write that
    // found room would leave a hole of zeros in the middle of the file.
    while (size > 0 && (mFailure == 0 || at < mWrittenEnd)) {
        const std::int64_t chunk = mFailure == 0 ? size : std::min(size, mWrittenEnd - at);
        const ssize_t written = ::pwrite(mFd, data, static_cast<std::size_t>(chunk), at);
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written <= 0) {
            if (mFailure == 0) {
                mFailure = written < 0 ? errno : ENOSPC;
            }
            return;
        }
        data += written;
        size -= written;
        at += written;
        mWrittenEnd = std::max(mWrittenEnd, at);
    }
}

void GuardedFileOutput::fillTo(std::int64_t end)
{
    static const std::array<std::uint8_t, kBufferBytes> zeros{};
    while (mFailure == 0 && mWrittenEnd < end) {
        land(zeros.data(), std::min<std::int64_t>(end - mWrittenEnd, kBufferBytes), mWrittenEnd);
    }
}

std::int64_t GuardedFileOutput::seek(void* opaque, std::int64_t offset, int whence)
{
    auto* self = static_cast<GuardedFileOutput*>(opaque);
    switch (whence & ~AVSEEK_FORCE) {
    case SEEK_SET:
        self->mPosition = offset;
        break;
    case SEEK_CUR:
        self->mPosition += offset;
        break;
    case SEEK_END:
        self->mPosition = self->mLogicalEnd + offset;
        break;
    case AVSEEK_SIZE:
        return self->mLogicalEnd;
    default:
        return AVERROR(EINVAL);
    }
    if (self->mPosition < 0) {
        self->mPosition = 0;
        return AVERROR(EINVAL);
    }
    // Room skipped over (the MP4 index's, kept at the front) is written now: left as a hole, it
    // would need new blocks at the very end, when a full disk has none to give.
    self->fillTo(self->mPosition);
    self->mLogicalEnd = std::max(self->mLogicalEnd, self->mWrittenEnd);
    return self->mPosition;
}

} // namespace mirvo::render
