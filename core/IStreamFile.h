// Input stream over a stdio file with a read-ahead buffer, so that decoders reading a few
// bytes at a time cost one file read per buffer fill. Not safe for concurrent use; each
// stream belongs to one thread at a time (main thread or a file player's read thread).
#pragma once

#include "core/Stream.h"

#include <cstdio>
#include <limits>
#include <vector>

namespace mirvo {

class IStreamFile;
using IStreamFileRef = std::shared_ptr<IStreamFile>;

class IStreamFile : public IStreamMirvo {
  public:
    static constexpr std::size_t kDefaultBufferSize = 2048;

    // A stream over `file`, which must be open for binary reading; closes it on destruction
    // when `ownsFile`.
    static IStreamFileRef create(FILE* file, bool ownsFile = true,
                                 std::size_t bufferSize = kDefaultBufferSize);
    ~IStreamFile() override;

    std::size_t readDataAvailable(void* destination, std::size_t count) override;
    int64_t size() override;
    bool isEof() override;
    int64_t tell() const override { return mOffset; }
    void seekAbsolute(int64_t position) override;
    void seekRelative(int64_t delta) override;

    FILE* getFile() const { return mFile; }
    // How many reads this stream has made on its file handle; shows the read-ahead at work.
    std::size_t getNumFileReads() const { return mNumFileReads; }

  protected:
    IStreamFile(FILE* file, bool ownsFile, std::size_t bufferSize);

  private:
    static constexpr int64_t kEmptyBufferOffset = std::numeric_limits<int64_t>::min();

    std::size_t readFromFile(void* destination, std::size_t count);

    FILE* mFile;
    bool mOwnsFile;
    std::size_t mBufferedBytes = 0;
    std::size_t mBufferSize;
    std::vector<unsigned char> mBuffer;
    int64_t mOffset = 0;
    int64_t mBufferFileOffset = kEmptyBufferOffset;
    int64_t mSize = 0;
    bool mSizeCached = false;
    std::size_t mNumFileReads = 0;
};

// Opens `path` for binary reading. Empty when the file cannot be opened or is not a file
// that can be read as a byte stream (a directory, for example).
IStreamFileRef loadFileStream(const std::string& path);

} // namespace mirvo
