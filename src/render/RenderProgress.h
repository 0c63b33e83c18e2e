// What a render says while it works and when it ends. On a terminal one line is rewritten in
// place; elsewhere (a log, a pipe) a line is printed each time another tenth is done, so that a
// log gets ten lines however long the song.
#pragma once

#include <cstdint>
#include <string>

namespace mirvo::render {

// "0:07", "12:34", "1:02:03": whole seconds, rounded down.
std::string formatDuration(double seconds);
// "812 B", "4.2 KB", "12.3 MB", "1.05 GB" (powers of 1000).
std::string formatSize(std::uint64_t bytes);

class RenderProgress {
  public:
    // Where the text goes: a log or pipe, a terminal, or a folder render that started this one
    // for a track and reads "mirvo-job: progress DONE TOTAL" lines, four a second at most.
    enum class Display { LOG, TERMINAL, JOB };

    RenderProgress(std::uint64_t totalFrames, int fps, Display display);
    RenderProgress(std::uint64_t totalFrames, int fps, bool terminal)
        : RenderProgress(totalFrames, fps, terminal ? Display::TERMINAL : Display::LOG)
    {
    }

    // The text to print after `doneFrames` frames, `wallSeconds` after the start; empty when
    // nothing is due. A terminal's line starts with a carriage return and has no newline.
    std::string update(std::uint64_t doneFrames, double wallSeconds);
    // What ends the progress display before the summary: a newline after a terminal's line.
    std::string end() const;

  private:
    std::string describe(std::uint64_t doneFrames, double wallSeconds) const;

    std::uint64_t mTotalFrames;
    int mFps;
    Display mDisplay;
    int mTenthsReported = 0;
    double mLastWallSeconds = -1.0;
    bool mPrinted = false;
};

} // namespace mirvo::render
