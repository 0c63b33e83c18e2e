// Fuzzes the read-ahead file stream against a plain model of a file: the input is a file's
// contents followed by a script of reads and seeks, and after every step the stream must have
// delivered the same bytes and stand at the same position as the model.
#include "core/IStreamFile.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

// A mismatch with the model is a finding: stop the way a sanitizer does.
void check(bool condition, const char* what)
{
    if (!condition) {
        std::fprintf(stderr, "stream_file: %s\n", what);
        std::abort();
    }
}

class Input {
  public:
    Input(const uint8_t* data, size_t size) : mData(data), mSize(size) {}
    bool empty() const { return mPos >= mSize; }
    uint8_t byte() { return mPos < mSize ? mData[mPos++] : 0; }
    uint16_t word() { return static_cast<uint16_t>(byte() | byte() << 8); }

  private:
    const uint8_t* mData;
    size_t mSize;
    size_t mPos = 0;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    Input input(data, size);
    const size_t contentSize = input.word() % 4096;
    const size_t bufferSize = 1 + input.byte() % 64;
    input.byte(); // spare, so stored inputs keep their layout
    std::vector<uint8_t> content;
    while (content.size() < contentSize && !input.empty()) {
        content.push_back(input.byte());
    }
    const auto length = static_cast<int64_t>(content.size());

    FILE* file = std::tmpfile();
    if (!file) {
        return 0;
    }
    if (!content.empty()) {
        check(std::fwrite(content.data(), 1, content.size(), file) == content.size(), "write");
        std::rewind(file);
    }
    mirvo::IStreamFileRef stream = mirvo::IStreamFile::create(file, true, bufferSize);

    int64_t position = 0;
    std::vector<uint8_t> got;
    while (!input.empty()) {
        switch (input.byte() % 4) {
        case 0: {
            const size_t count = input.byte() * (1 + input.byte() % 8);
            got.assign(count + 1, 0xA5);
            const size_t delivered = stream->readDataAvailable(got.data(), count);
            const size_t expected =
                position >= length ? 0 : std::min<size_t>(count, size_t(length - position));
            check(delivered == expected, "read delivered a different count");
            check(delivered == 0 || std::memcmp(got.data(), content.data() + position, delivered) == 0,
                  "read delivered other bytes");
            check(got[count] == 0xA5, "read wrote past the count");
            position += static_cast<int64_t>(delivered);
            break;
        }
        case 1: {
            const int64_t target = int64_t(input.word() % (length + 64)) - 16;
            try {
                stream->seekAbsolute(target);
                check(target >= 0, "seek to a negative position succeeded");
                position = target;
            } catch (const mirvo::StreamExc&) {
                check(target < 0, "seek to a reachable position failed");
            }
            break;
        }
        case 2: {
            const int64_t delta = static_cast<int16_t>(input.word());
            try {
                stream->seekRelative(delta);
                check(position + delta >= 0, "relative seek before the start succeeded");
                position += delta;
            } catch (const mirvo::StreamExc&) {
                check(position + delta < 0, "relative seek to a reachable position failed");
            }
            break;
        }
        default:
            check(stream->size() == length, "size differs from the file's");
            check(!stream->isEof() || position >= length, "end of file reported early");
            break;
        }
        check(stream->tell() == position, "position differs from the model's");
    }
    return 0;
}
