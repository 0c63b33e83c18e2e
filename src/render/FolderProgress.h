// What a folder render says while its tracks render, some at once: the whole run's share, speed
// and time left, and each running track's share and time left. On a terminal one line is
// rewritten in place (at most four times a second, cut to the terminal's width); in a log a
// line is printed each time the whole run passes another tenth.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace mirvo::render {

class FolderProgress {
  public:
    // `names` shown for the tracks; `estimatedSeconds` their lengths as their files claim them,
    // until the render of each tells its true number of frames. `width`: the terminal's
    // columns, 0 for a log.
    FolderProgress(std::vector<std::string> names, const std::vector<double>& estimatedSeconds, int fps,
                   std::size_t width);

    void started(std::size_t track, double wallSeconds);
    void advanced(std::size_t track, std::uint64_t doneFrames, std::uint64_t totalFrames);
    // A finished track counts whole; a failed or interrupted one leaves the run's total.
    void ended(std::size_t track, bool finished);

    // The text to print at `wallSeconds` after the start, empty when nothing is due; `force`
    // redraws a terminal's line at once (after another line was printed).
    std::string update(double wallSeconds, bool force = false);
    // Printed before a line of another kind: on a terminal it clears the progress line.
    std::string clear() const;
    // What ends the progress display before the summary.
    std::string end() const;

  private:
    struct Track {
        std::string name;
        std::uint64_t totalFrames = 0;
        std::uint64_t doneFrames = 0;
        double startSeconds = -1.0; // not started
        bool running = false;
        bool dropped = false;
    };

    std::string describe(double wallSeconds) const;

    std::vector<Track> mTracks;
    int mFps;
    std::size_t mWidth;
    int mTenthsReported = 0;
    double mLastWallSeconds = -1.0;
    bool mPrinted = false;
};

} // namespace mirvo::render
