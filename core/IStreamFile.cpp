#include "core/IStreamFile.h"

#include <algorithm>
#include <cassert>
#include <cstring>
#include <sys/stat.h>

namespace mirvo {

IStreamFileRef IStreamFile::create(FILE* file, bool ownsFile, std::size_t bufferSize)
{
    assert(file && "IStreamFile needs an open file");
    return IStreamFileRef(new IStreamFile(file, ownsFile, bufferSize));
}

IStreamFile::IStreamFile(FILE* file, bool ownsFile, std::size_t bufferSize)
    : mFile(file), mOwnsFile(ownsFile), mBufferSize(bufferSize), mBuffer(bufferSize)
{
}

IStreamFile::~IStreamFile()
{
    if (mOwnsFile && mFile) {
        std::fclose(mFile);
    }
    if (mDeleteOnDestroy && !mFileName.empty()) {
        // Nothing useful can be done about a file that will not go away.
        std::remove(mFileName.c_str());
    }
}

std::size_t IStreamFile::readFromFile(void* destination, std::size_t count)
{
    ++mNumFileReads;
    return std::fread(destination, 1, count, mFile);
}

std::size_t IStreamFile::readDataAvailable(void* destination, std::size_t count)
{
    auto* out = static_cast<unsigned char*>(destination);
    std::size_t delivered = 0;

    // The part already in the read-ahead buffer; a read that ends exactly at the buffer's end
    // is served from it too, rather than refilling from the file.
    const int64_t bufferEnd = mBufferFileOffset + static_cast<int64_t>(mBufferedBytes);
    if (mBufferedBytes > 0 && mOffset >= mBufferFileOffset && mOffset < bufferEnd) {
        const auto start = static_cast<std::size_t>(mOffset - mBufferFileOffset);
        const std::size_t fromBuffer = std::min(count, mBufferedBytes - start);
        std::memcpy(out, mBuffer.data() + start, fromBuffer);
        mOffset += static_cast<int64_t>(fromBuffer);
        delivered = fromBuffer;
    }
    const std::size_t remaining = count - delivered;
    if (remaining == 0) {
        return delivered;
    }

    if (fseeko(mFile, mOffset, SEEK_SET) != 0) {
        return delivered;
    }
    if (mBufferSize >= remaining) {
        mBufferFileOffset = mOffset;
        mBufferedBytes = readFromFile(mBuffer.data(), mBufferSize);
        // Near the end of the file the buffer may hold fewer bytes than asked for: report
        // only what was really delivered.
        const std::size_t fromBuffer = std::min(remaining, mBufferedBytes);
        std::memcpy(out + delivered, mBuffer.data(), fromBuffer);
        mOffset = mBufferFileOffset + static_cast<int64_t>(fromBuffer);
        delivered += fromBuffer;
    } else {
        const std::size_t fromFile = readFromFile(out + delivered, remaining);
        mOffset += static_cast<int64_t>(fromFile);
        delivered += fromFile;
    }
    return delivered;
}

int64_t IStreamFile::size()
{
    if (mSizeCached) {
        return mSize;
    }
    mSize = 0;
    struct stat info;
    const int descriptor = fileno(mFile);
    if (descriptor >= 0 && fstat(descriptor, &info) == 0 && S_ISREG(info.st_mode)) {
        // Asking the file system leaves the position and the end-of-file indicator alone.
        mSize = static_cast<int64_t>(info.st_size);
    } else {
        const off_t here = ftello(mFile);
        if (here >= 0 && fseeko(mFile, 0, SEEK_END) == 0) {
            mSize = std::max<int64_t>(ftello(mFile), 0);
            fseeko(mFile, here, SEEK_SET);
        }
    }
    mSizeCached = true;
    return mSize;
}

bool IStreamFile::isEof()
{
    if (mOffset < mBufferFileOffset + static_cast<int64_t>(mBufferedBytes)) {
        return false;
    }
    return std::feof(mFile) != 0;
}

void IStreamFile::seekAbsolute(int64_t position)
{
    if (fseeko(mFile, static_cast<off_t>(position), SEEK_SET) != 0) {
        throw StreamExc();
    }
    mOffset = position;
}

void IStreamFile::seekRelative(int64_t delta)
{
    int64_t target = 0;
    if (__builtin_add_overflow(mOffset, delta, &target) ||
        fseeko(mFile, static_cast<off_t>(target), SEEK_SET) != 0) {
        throw StreamExc();
    }
    const off_t position = ftello(mFile);
    if (position < 0) {
        throw StreamExc();
    }
    mOffset = position;
}

IStreamFileRef loadFileStream(const std::string& path)
{
    FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) {
        return {};
    }
    // Opening a directory for reading succeeds here, but it holds no bytes to stream.
    struct stat info;
    if (fstat(fileno(file), &info) == 0 && S_ISDIR(info.st_mode)) {
        std::fclose(file);
        return {};
    }
    // The stream does its own read-ahead; a second buffer in stdio would only copy twice.
    std::setvbuf(file, nullptr, _IONBF, 0);
    IStreamFileRef stream = IStreamFile::create(file, true, IStreamFile::kDefaultBufferSize);
    stream->setFileName(path);
    return stream;
}

} // namespace mirvo
