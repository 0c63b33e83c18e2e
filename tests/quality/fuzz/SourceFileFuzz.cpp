// Random bytes through audio::load and the reads that follow, from memory: the bytes reach
// both decoders through their stream callbacks, never through a file on disk.
#include "audio/Exception.h"
#include "audio/SourceFile.h"
#include "core/DataSource.h"
#include "core/Stream.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>

namespace {

class IStreamMemory : public mirvo::IStreamMirvo {
  public:
    IStreamMemory(const uint8_t* data, size_t size) : mData(data), mSize(size) {}

    size_t readDataAvailable(void* destination, size_t count) override
    {
        const size_t available = mOffset < int64_t(mSize) ? mSize - size_t(mOffset) : 0;
        const size_t delivered = std::min(count, available);
        std::memcpy(destination, mData + mOffset, delivered);
        mOffset += int64_t(delivered);
        return delivered;
    }
    bool isEof() override { return mOffset >= int64_t(mSize); }
    int64_t size() override { return int64_t(mSize); }
    int64_t tell() const override { return mOffset; }
    void seekAbsolute(int64_t position) override
    {
        if (position < 0) {
            throw mirvo::StreamExc();
        }
        mOffset = position;
    }
    void seekRelative(int64_t delta) override { seekAbsolute(mOffset + delta); }

  private:
    const uint8_t* mData;
    size_t mSize;
    int64_t mOffset = 0;
};

// Bytes in memory under a made-up name, so that load picks a decoder by its extension.
class DataSourceMemory : public mirvo::DataSource {
  public:
    DataSourceMemory(const uint8_t* data, size_t size, const std::string& name)
        : DataSource(name, name, ""), mData(data), mSize(size)
    {
    }
    bool isFilePath() override { return false; }
    bool isUrl() override { return false; }
    mirvo::IStreamMirvoRef createStream() override { return std::make_shared<IStreamMemory>(mData, mSize); }

  protected:
    void createBuffer() override {}

  private:
    const uint8_t* mData;
    size_t mSize;
};

// Whole-file loads of a stated length beyond this are skipped: a header may claim anything,
// and the allocation would say nothing about the decoders.
constexpr size_t kMaxLoadSamples = size_t(1) << 21;
constexpr int kMaxBlockReads = 200;

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // Both decoders see every kind of input: the length's parity picks the name.
    const std::string name = size % 2 ? "fuzz.ogg" : "fuzz.audio";
    const size_t rates[] = {0, 48000, 44100, 8000};
    const size_t rate = rates[size / 2 % 4];
    try {
        auto dataSource = std::make_shared<DataSourceMemory>(data, size, name);
        std::unique_ptr<mirvo::audio::SourceFile> source = mirvo::audio::load(dataSource, rate);
        if (source->getNumChannels() == 0 || source->getNumChannels() > 64) {
            return 0;
        }
        mirvo::audio::Buffer block(1024, source->getNumChannels());
        for (int i = 0; i < kMaxBlockReads && source->read(&block) > 0; ++i) {
        }
        source->seek(source->getNumFrames() / 3);
        source->read(&block);
        if (source->getNumFrames() * source->getNumChannels() <= kMaxLoadSamples) {
            mirvo::audio::BufferRef whole = source->loadBuffer();
            if (whole->getNumFrames() != source->getNumFrames()) {
                __builtin_trap();
            }
        }
    } catch (const mirvo::audio::AudioExc&) {
    }
    return 0;
}
