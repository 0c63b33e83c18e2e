#include "src/render/FolderProgress.h"

#include "src/render/RenderProgress.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace mirvo::render {

namespace {

constexpr double kTerminalInterval = 0.25;
// A running track's name is cut to this many characters on the line.
constexpr std::size_t kShownName = 32;

bool isContinuationByte(char c)
{
    return (static_cast<unsigned char>(c) & 0xC0) == 0x80;
}

// `text` cut to `columns` characters (a character a column: near enough for titles).
std::string cutToColumns(const std::string& text, std::size_t columns)
{
    std::size_t shown = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (!isContinuationByte(text[i]) && shown++ == columns) {
            return text.substr(0, i);
        }
    }
    return text;
}

// The first frames come after the start-up (opening the GL and the encoder, decoding the track
// once) and say little of the speed: the time left is told from the first twentieth on.
bool knowsTimeLeft(std::uint64_t done, std::uint64_t total)
{
    return done > 0 && done * 20 >= total;
}

int percent(std::uint64_t done, std::uint64_t total)
{
    return total == 0 ? 0 : static_cast<int>(std::min<std::uint64_t>(done, total) * 100 / total);
}

} // namespace

FolderProgress::FolderProgress(std::vector<std::string> names, const std::vector<double>& estimatedSeconds,
                               int fps, std::size_t width)
    : mFps(fps), mWidth(width)
{
    for (std::size_t i = 0; i < names.size(); ++i) {
        Track track;
        track.name = cutToColumns(names[i], kShownName);
        const double seconds = i < estimatedSeconds.size() ? estimatedSeconds[i] : 0.0;
        track.totalFrames = static_cast<std::uint64_t>(std::ceil(std::max(0.0, seconds) * fps));
        mTracks.push_back(std::move(track));
    }
}

void FolderProgress::started(std::size_t track, double wallSeconds)
{
    mTracks.at(track).startSeconds = wallSeconds;
    mTracks.at(track).running = true;
}

void FolderProgress::advanced(std::size_t track, std::uint64_t doneFrames, std::uint64_t totalFrames)
{
    mTracks.at(track).doneFrames = doneFrames;
    mTracks.at(track).totalFrames = totalFrames;
}

void FolderProgress::ended(std::size_t track, bool finished)
{
    Track& ended = mTracks.at(track);
    ended.running = false;
    if (finished) {
        ended.doneFrames = ended.totalFrames;
    } else {
        ended.dropped = true;
    }
}

std::string FolderProgress::update(double wallSeconds, bool force)
{
    if (mWidth > 0) {
        if (!force && mLastWallSeconds >= 0.0 && wallSeconds - mLastWallSeconds < kTerminalInterval) {
            return {};
        }
        mLastWallSeconds = wallSeconds;
        mPrinted = true;
        return "\r" + cutToColumns(describe(wallSeconds), mWidth - 1) + "\033[K";
    }
    std::uint64_t done = 0;
    std::uint64_t total = 0;
    bool running = false;
    for (const Track& track : mTracks) {
        done += track.dropped ? 0 : track.doneFrames;
        total += track.dropped ? 0 : track.totalFrames;
        running = running || track.running;
    }
    // The last line waits for the last video to be finished, not only drawn.
    const int tenths =
        total == 0 ? 0 : std::min(static_cast<int>(std::min(done, total) * 10 / total), running ? 9 : 10);
    if (tenths <= mTenthsReported) {
        return {};
    }
    mTenthsReported = tenths;
    return "mirvo: " + describe(wallSeconds) + "\n";
}

std::string FolderProgress::clear() const
{
    return mPrinted ? "\r\033[K" : "";
}

std::string FolderProgress::end() const
{
    return mPrinted ? "\n" : "";
}

std::string FolderProgress::describe(double wallSeconds) const
{
    std::uint64_t done = 0;
    std::uint64_t total = 0;
    std::size_t finished = 0;
    std::size_t counted = 0;
    for (const Track& track : mTracks) {
        if (!track.dropped) {
            done += track.doneFrames;
            total += track.totalFrames;
            ++counted;
            finished += !track.running && track.startSeconds >= 0.0 ? 1 : 0;
        }
    }
    const double speed = wallSeconds > 0.0 ? static_cast<double>(done) / mFps / wallSeconds : 0.0;
    const double left = speed > 0.0 ? static_cast<double>(total - std::min(done, total)) / mFps / speed : 0.0;
    char text[160];
    std::snprintf(text, sizeof text, "%3d%% %zu of %zu videos done, %.1fx real time", percent(done, total),
                  finished, counted, speed);
    std::string line = text;
    if (knowsTimeLeft(done, total)) {
        line += ", " + formatDuration(left) + " left";
    }
    for (const Track& track : mTracks) {
        if (!track.running) {
            continue;
        }
        const double elapsed = wallSeconds - track.startSeconds;
        const double trackSpeed =
            elapsed > 0.0 ? static_cast<double>(track.doneFrames) / mFps / elapsed : 0.0;
        const double trackLeft =
            trackSpeed > 0.0
                ? static_cast<double>(track.totalFrames - std::min(track.doneFrames, track.totalFrames)) /
                      mFps / trackSpeed
                : 0.0;
        line +=
            "; " + track.name + " " + std::to_string(percent(track.doneFrames, track.totalFrames)) + "%" +
            (knowsTimeLeft(track.doneFrames, track.totalFrames) ? ", " + formatDuration(trackLeft) + " left"
                                                                : std::string());
    }
    return line;
}

} // namespace mirvo::render
