// The short notices shown over the visuals: what started playing, which dropped files could
// not be played and why, and that the music is paused. A notice holds for a few seconds from
// the first frame that shows it, then fades; the pause notice stays until the music resumes.
// Times are the application's elapsed seconds. Main thread only; drawing is the caller's.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace mirvo {

class Notices {
  public:
    // How long a notice is shown at full strength, then how long it takes to fade out.
    static constexpr float kHoldSeconds = 3.5f;
    static constexpr float kFadeSeconds = 0.5f;
    // Older notices make way when a new one would exceed this.
    static constexpr std::size_t kMaxNotices = 3;

    struct Shown {
        std::vector<std::string> lines;
        float opacity = 1.0f; // 0 to 1
    };

    // Shows lines as one notice below the others; nothing for no lines.
    void post(std::vector<std::string> lines);
    void setPaused(bool paused) { mPaused = paused; }
    bool isPaused() const { return mPaused; }

    // What shows at `now`, top to bottom, the pause notice last. Notices seen for the first
    // time start their clock here; faded ones are forgotten.
    std::vector<Shown> visible(float now);

  private:
    struct Notice {
        std::vector<std::string> lines;
        float firstShown = -1.0f; // not shown yet
    };

    std::vector<Notice> mNotices;
    bool mPaused = false;
};

// The words of the notices.
namespace notice {

constexpr std::size_t kMaxFailureLines = 3;
// Longer tags are cut, so that one odd tag cannot push the notice off the screen.
constexpr std::size_t kMaxTextLength = 80;

struct Failure {
    std::string fileName;
    std::string reason; // in plain words, e.g. "not an audio file"
};

// "m:ss" of whole seconds, rounded down; "h:mm:ss" from an hour on.
std::string formatLength(double seconds);

// "Title - Artist (3:25)", with the file name in place of a missing title.
std::string track(const std::string& title, const std::string& artist, const std::string& fileName,
                  double seconds);

// One line per file, "name: reason", the first few of them, then "and N more": for a drop in
// which nothing plays.
std::vector<std::string> failures(const std::vector<Failure>& failures);
// "3 files skipped": for the files of a queue that plays that could not be played; no line for 0.
std::vector<std::string> skipped(std::size_t count);

// Text from a file's tags or name made safe to show: control characters as spaces, runs of
// spaces as one, trimmed, and cut at a character boundary with "..." when too long.
std::string printable(const std::string& text);

} // namespace notice

} // namespace mirvo
