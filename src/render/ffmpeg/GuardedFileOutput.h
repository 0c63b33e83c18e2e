// The file under a render, as libavformat's output. When the file cannot grow (a full disk, a
// file size limit) the write that failed and every later one past the end are dropped, and the
// failure is kept for the encoder to report; writes into what the file already holds still land.
// Room the muxer skips over is written with zeros as it skips, so the file never holds a hole.
// The MP4 muxer finishes by writing its index into room it kept at the front, so a render cut
// off this way still ends in a file that plays up to its last whole frame: the index overwrites
// blocks the file already has.
#pragma once

#include <cstdint>
#include <string>

struct AVIOContext;

namespace mirvo::render {

class GuardedFileOutput {
  public:
    // Creates or truncates `path`; throws std::system_error when it cannot.
    explicit GuardedFileOutput(const std::string& path);
    ~GuardedFileOutput();
    GuardedFileOutput(const GuardedFileOutput&) = delete;
    GuardedFileOutput& operator=(const GuardedFileOutput&) = delete;

    // Owned by this object; the muxer writes through it.
    AVIOContext* getContext() const { return mContext; }
    // The errno of the first write that failed, 0 while none has.
    int getFailure() const { return mFailure; }
    // Flushes what the context holds and closes the file; the errno of closing, or 0.
    int close();

  private:
    static int write(void* opaque, std::uint8_t* data, int size);
    static std::int64_t seek(void* opaque, std::int64_t offset, int whence);
    // Writes `size` bytes at `at`, or what of them the file takes; notes the first failure.
    void land(const std::uint8_t* data, std::int64_t size, std::int64_t at);
    // Writes zeros from the end of what reached the file up to `end`.
    void fillTo(std::int64_t end);

    int mFd = -1;
    AVIOContext* mContext = nullptr;
    // Where the muxer writes next, and the end of everything it has written, dropped or not.
    std::int64_t mPosition = 0;
    std::int64_t mLogicalEnd = 0;
    // The end of what reached the file.
    std::int64_t mWrittenEnd = 0;
    int mFailure = 0;
};

} // namespace mirvo::render
