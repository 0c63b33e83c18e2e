#include "core/DataSource.h"
#include "core/IStreamFile.h"

#include "TempDir.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <vector>

namespace mirvo {
namespace {

using test::patternBytes;
using test::TempDir;

std::string bytesOf(const Buffer& buffer)
{
    return std::string(static_cast<const char*>(buffer.getData()), buffer.getDataSize());
}

class IStreamFileTest : public ::testing::Test {
  protected:
    IStreamFileRef open(std::size_t size)
    {
        mContent = patternBytes(size);
        IStreamFileRef stream = loadFileStream(mDir.write("data.bin", mContent));
        EXPECT_TRUE(stream);
        return stream;
    }

    TempDir mDir;
    std::string mContent;
};

TEST_F(IStreamFileTest, TwoSmallReadsCostOneFileRead)
{
    IStreamFileRef stream = open(5000);
    char first[10];
    char second[10];
    EXPECT_EQ(stream->readDataAvailable(first, 10), 10u);
    EXPECT_EQ(stream->readDataAvailable(second, 10), 10u);
    EXPECT_EQ(stream->getNumFileReads(), 1u);
    EXPECT_EQ(std::string(first, 10), mContent.substr(0, 10));
    EXPECT_EQ(std::string(second, 10), mContent.substr(10, 10));
    EXPECT_EQ(stream->tell(), 20);
}

TEST_F(IStreamFileTest, ReadsLargerThanTheBufferBypassItAndLeaveItIntact)
{
    IStreamFileRef stream = open(5000);
    char small[10];
    stream->readData(small, 10);
    std::vector<char> large(4096);
    EXPECT_EQ(stream->readDataAvailable(large.data(), large.size()), 4096u);
    EXPECT_EQ(stream->getNumFileReads(), 2u);
    EXPECT_EQ(std::string(large.data(), large.size()), mContent.substr(10, 4096));

    // Seeking back inside the first fill reuses it.
    stream->seekAbsolute(2000);
    char tail[48];
    stream->readData(tail, sizeof(tail));
    EXPECT_EQ(stream->getNumFileReads(), 2u);
    EXPECT_EQ(std::string(tail, sizeof(tail)), mContent.substr(2000, sizeof(tail)));
}

TEST_F(IStreamFileTest, AReadStraddlingTheBufferEndCombinesBufferAndFile)
{
    IStreamFileRef stream = open(5000);
    stream->seekAbsolute(100);
    char probe[1];
    stream->readData(probe, 1); // fills 100..2147
    stream->seekAbsolute(2140);
    char straddle[20];
    EXPECT_EQ(stream->readDataAvailable(straddle, sizeof(straddle)), sizeof(straddle));
    EXPECT_EQ(std::string(straddle, sizeof(straddle)), mContent.substr(2140, sizeof(straddle)));
    EXPECT_EQ(stream->tell(), 2160);
}

TEST_F(IStreamFileTest, IsNotAtEndWhileBufferedBytesRemain)
{
    IStreamFileRef stream = open(20);
    char half[10];
    stream->readData(half, 10);
    EXPECT_NE(std::feof(stream->getFile()), 0);
    EXPECT_FALSE(stream->isEof());
    stream->readData(half, 10);
    EXPECT_TRUE(stream->isEof());
}

TEST_F(IStreamFileTest, ReadsNearTheEndReportOnlyTheBytesDelivered)
{
    IStreamFileRef stream = open(5000);
    char small[10];
    stream->seekAbsolute(4995);
    EXPECT_EQ(stream->readDataAvailable(small, sizeof(small)), 5u);
    EXPECT_EQ(stream->tell(), 5000);
    std::vector<char> large(4096);
    stream->seekAbsolute(4000);
    EXPECT_EQ(stream->readDataAvailable(large.data(), large.size()), 1000u);
    EXPECT_EQ(stream->tell(), 5000);

    stream->seekAbsolute(4995);
    EXPECT_THROW(stream->readData(small, sizeof(small)), StreamExc);
}

TEST_F(IStreamFileTest, SeeksMoveTheOffsetAndRefuseImpossiblePositions)
{
    IStreamFileRef stream = open(100);
    stream->seekAbsolute(40);
    stream->seekRelative(-15);
    EXPECT_EQ(stream->tell(), 25);
    char byte;
    stream->readData(&byte, 1);
    EXPECT_EQ(byte, mContent[25]);
    EXPECT_THROW(stream->seekAbsolute(-1), StreamExc);
    EXPECT_THROW(stream->seekRelative(-100), StreamExc);
    EXPECT_THROW(stream->seekRelative(std::numeric_limits<int64_t>::max()), StreamExc);
    EXPECT_EQ(stream->tell(), 26);
}

TEST_F(IStreamFileTest, SizeIsTheFileLengthAndLeavesPositionAndEndAlone)
{
    IStreamFileRef stream = open(20);
    char all[20];
    stream->readData(all, 20);
    EXPECT_TRUE(stream->isEof());
    EXPECT_EQ(stream->size(), 20);
    EXPECT_TRUE(stream->isEof());
    EXPECT_EQ(stream->tell(), 20);
}

TEST(LoadFileStream, OpensAwkwardNamesAndRefusesWhatIsNotAFile)
{
    TempDir dir;
    for (const char* name : {"with space.ogg", "100% pure.mp3", "latin1-\xe9\xff.wav"}) {
        IStreamFileRef stream = loadFileStream(dir.write(name, "abc"));
        ASSERT_TRUE(stream) << name;
        EXPECT_EQ(stream->getFileName(), (dir.path() / name).string());
        EXPECT_EQ(bytesOf(loadStreamBuffer(stream)), "abc");
    }
    EXPECT_FALSE(loadFileStream((dir.path() / "missing").string()));
    EXPECT_FALSE(loadFileStream(dir.path().string()));
    EXPECT_FALSE(loadFileStream(""));
}

TEST(LoadFileStream, UnreadableFileGivesAnEmptyStream)
{
    if (geteuid() == 0) {
        GTEST_SKIP() << "permissions do not stop root";
    }
    TempDir dir;
    const std::string path = dir.write("secret.bin", "abc");
    std::filesystem::permissions(path, std::filesystem::perms::none);
    EXPECT_FALSE(loadFileStream(path));
    EXPECT_THROW(loadFile(path)->getBuffer(), StreamExc);
}

TEST(IStreamFile, DeleteOnDestroyRemovesTheFile)
{
    TempDir dir;
    const std::string path = dir.write("scratch.bin", "abc");
    loadFileStream(path)->setDeleteOnDestroy();
    EXPECT_FALSE(std::filesystem::exists(path));
}

// An in-memory stream that cannot tell its length, as a network stream would.
class UnsizedStream : public IStreamMirvo {
  public:
    explicit UnsizedStream(std::string content, bool failing = false)
        : mContent(std::move(content)), mFailing(failing)
    {
    }
    std::size_t readDataAvailable(void* destination, std::size_t count) override
    {
        if (mFailing) {
            return 0;
        }
        const std::size_t delivered = std::min(count, mContent.size() - mPosition);
        std::memcpy(destination, mContent.data() + mPosition, delivered);
        mPosition += delivered;
        mReachedEnd = delivered < count;
        return delivered;
    }
    bool isEof() override { return mReachedEnd; }
    int64_t size() override { return 0; }
    int64_t tell() const override { return static_cast<int64_t>(mPosition); }
    void seekAbsolute(int64_t) override { throw StreamExc(); }
    void seekRelative(int64_t) override { throw StreamExc(); }

  private:
    std::string mContent;
    bool mFailing;
    std::size_t mPosition = 0;
    bool mReachedEnd = false;
};

TEST(LoadStreamBuffer, GrowsToHoldAStreamThatDoesNotReportItsSize)
{
    const std::string content = patternBytes(10000);
    const Buffer buffer = loadStreamBuffer(std::make_shared<UnsizedStream>(content));
    EXPECT_EQ(bytesOf(buffer), content);
    // 4096, then max(6144, 8192), then max(12288, 12288).
    EXPECT_EQ(buffer.getAllocatedSize(), 12288u);

    EXPECT_EQ(loadStreamBuffer(std::make_shared<UnsizedStream>("")).getDataSize(), 0u);
}

TEST(LoadStreamBuffer, RefusesAnEmptyReferenceAndAStreamThatStopsDelivering)
{
    EXPECT_THROW(loadStreamBuffer(nullptr), StreamExc);
    EXPECT_THROW(loadStreamBuffer(std::make_shared<UnsizedStream>("abc", true)), StreamExc);
}

TEST(LoadStreamBuffer, ReadsTheRemainingContentOfASizedStream)
{
    TempDir dir;
    const std::string content = patternBytes(3000);
    IStreamFileRef stream = loadFileStream(dir.write("a.bin", content));
    EXPECT_EQ(bytesOf(loadStreamBuffer(stream)), content);

    stream->seekAbsolute(1000);
    EXPECT_EQ(bytesOf(loadStreamBuffer(stream)), content.substr(1000));
}

TEST(DataSourcePath, MissingFileShowsOnlyWhenItsBytesAreAskedFor)
{
    TempDir dir;
    const std::string path = (dir.path() / "gone.mp3").string();
    DataSourcePathRef source = loadFile(path);
    ASSERT_TRUE(source);
    EXPECT_TRUE(source->isFilePath());
    EXPECT_FALSE(source->isUrl());
    EXPECT_EQ(source->getFilePath(), path);
    EXPECT_EQ(source->getFilePathHint(), path);
    EXPECT_TRUE(source->getUrl().empty());
    EXPECT_FALSE(source->createStream());
    EXPECT_THROW(source->getBuffer(), StreamExc);
    EXPECT_THROW(loadFile(dir.path().string())->getBuffer(), StreamExc);
}

TEST(DataSourcePath, ReadsItsBufferOnceAndKeepsIt)
{
    TempDir dir;
    const std::string path = dir.write("init.bin", "hello");
    DataSourcePathRef source = loadFile(path);
    Buffer first = source->getBuffer();
    std::filesystem::remove(path);
    Buffer second = source->getBuffer();
    EXPECT_EQ(bytesOf(second), "hello");
    EXPECT_EQ(first.getData(), second.getData());
}

TEST(Buffer, ResizeKeepsContentsAndCopiesShareTheBytes)
{
    Buffer buffer(4);
    std::memcpy(buffer.getData(), "abcd", 4);
    Buffer alias = buffer;
    alias.resize(8);
    EXPECT_EQ(buffer.getAllocatedSize(), 8u);
    EXPECT_EQ(buffer.getDataSize(), 8u);
    EXPECT_EQ(std::memcmp(buffer.getData(), "abcd", 4), 0);
    buffer.setDataSize(100);
    EXPECT_EQ(buffer.getDataSize(), 8u);

    char external[3] = {'x', 'y', 'z'};
    Buffer wrapped(external, sizeof(external));
    wrapped.resize(100);
    EXPECT_EQ(wrapped.getAllocatedSize(), 3u);
    EXPECT_EQ(wrapped.getData(), external);
}

} // namespace
} // namespace mirvo
