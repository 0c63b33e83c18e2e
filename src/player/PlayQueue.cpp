// Gathering the queue from paths, and moving through it.
#include "src/player/PlayQueue.h"

#include "src/FileOrder.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <random>
#include <set>
#include <string_view>
#include <system_error>

namespace mirvo {

namespace fs = std::filesystem;

namespace {

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

char lower(char c)
{
    return static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
}

// -1, 0 or 1 as a is before, equal to or after b, digit runs by value and letters without case.
int naturalCompare(std::string_view a, std::string_view b)
{
    std::size_t i = 0;
    std::size_t j = 0;
    while (i < a.size() && j < b.size()) {
        if (isDigit(a[i]) && isDigit(b[j])) {
            // Leading zeros do not count towards the value; the longer run of what is left is
            // the larger number, and runs of one length compare digit by digit.
            std::size_t endA = i;
            std::size_t endB = j;
            while (endA < a.size() && isDigit(a[endA])) {
                ++endA;
            }
            while (endB < b.size() && isDigit(b[endB])) {
                ++endB;
            }
            std::size_t startA = i;
            std::size_t startB = j;
            while (startA + 1 < endA && a[startA] == '0') {
                ++startA;
            }
            while (startB + 1 < endB && b[startB] == '0') {
                ++startB;
            }
            const std::string_view runA = a.substr(startA, endA - startA);
            const std::string_view runB = b.substr(startB, endB - startB);
            if (runA.size() != runB.size()) {
                return runA.size() < runB.size() ? -1 : 1;
            }
            if (const int order = runA.compare(runB); order != 0) {
                return order < 0 ? -1 : 1;
            }
            i = endA;
            j = endB;
            continue;
        }
        const char ca = lower(a[i]);
        const char cb = lower(b[j]);
        if (ca != cb) {
            return ca < cb ? -1 : 1;
        }
        ++i;
        ++j;
    }
    if (i < a.size() || j < b.size()) {
        return i < a.size() ? 1 : -1;
    }
    return 0;
}

struct Entry {
    fs::path path;
    std::string name;
    bool folder = false;
};

void walkFolder(const fs::path& folder, std::set<fs::path>& visited, std::vector<fs::path>& tracks)
{
    std::error_code error;
    const fs::path real = fs::canonical(folder, error);
    if (error || !visited.insert(real).second) {
        return;
    }
    std::vector<Entry> entries;
    for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
        std::error_code statError;
        const bool isFolder = it->is_directory(statError);
        if (!isFolder && !(it->is_regular_file(statError) && hasAudioExtension(it->path()))) {
            continue;
        }
        entries.push_back({it->path(), it->path().filename().string(), isFolder});
    }
    // As a file manager shows the folder.
    const FileOrder order;
    std::sort(entries.begin(), entries.end(),
              [&order](const Entry& a, const Entry& b) { return order(a.name, b.name); });
    for (const Entry& entry : entries) {
        if (entry.folder) {
            walkFolder(entry.path, visited, tracks);
        } else {
            tracks.push_back(entry.path);
        }
    }
}

} // namespace

bool naturalLess(const std::string& a, const std::string& b)
{
    const int order = naturalCompare(a, b);
    return order != 0 ? order < 0 : a < b;
}

bool hasAudioExtension(const fs::path& path)
{
    static constexpr std::array<std::string_view, 14> kExtensions = {
        ".mp3", ".flac", ".ogg", ".oga", ".opus", ".wav", ".wave",
        ".aif", ".aiff", ".m4a", ".aac", ".wma",  ".mka", ".ape"};
    std::string extension = path.extension().string();
    std::transform(extension.begin(), extension.end(), extension.begin(), lower);
    return std::find(kExtensions.begin(), kExtensions.end(), extension) != kExtensions.end();
}

std::vector<fs::path> collectTracks(const std::vector<fs::path>& paths)
{
    std::vector<fs::path> tracks;
    std::set<fs::path> visited;
    for (const fs::path& path : paths) {
        std::error_code error;
        if (fs::is_directory(path, error)) {
            walkFolder(path, visited, tracks);
        } else {
            tracks.push_back(path);
        }
    }
    return tracks;
}

PlayQueue::PlayQueue(std::vector<fs::path> tracks, Options options)
    : mTracks(std::make_shared<const std::vector<fs::path>>(std::move(tracks))),
      mUnplayable(mTracks->size(), false), mNumPlayable(mTracks->size()), mOptions(options)
{
    makeOrder();
}

void PlayQueue::makeOrder()
{
    const std::optional<std::size_t> last = current();
    mOrder.resize(mTracks->size());
    for (std::size_t index = 0; index < mOrder.size(); ++index) {
        mOrder[index] = index;
    }
    if (!mOptions.shuffle || mOrder.size() < 2) {
        return;
    }
    std::mt19937 random(mOptions.seed + mRound);
    std::shuffle(mOrder.begin(), mOrder.end(), random);
    // A new round must not start with the track that ended the last one.
    if (last && mOrder.front() == *last) {
        std::swap(mOrder.front(), mOrder.back());
    }
}

void PlayQueue::setShuffle(bool shuffle, uint32_t seed)
{
    if (shuffle == mOptions.shuffle) {
        return;
    }
    const std::optional<std::size_t> playing = current();
    mOptions.shuffle = shuffle;
    mOptions.seed = seed;
    mRound = 0;
    mPosition.reset();
    makeOrder();
    if (!playing) {
        return;
    }
    const auto at = std::find(mOrder.begin(), mOrder.end(), *playing);
    if (shuffle) {
        // What has played already is not held back: the whole queue is the new round.
        std::iter_swap(mOrder.begin(), at);
        mPosition = 0;
    } else {
        mPosition = static_cast<std::size_t>(at - mOrder.begin());
    }
}

std::size_t PlayQueue::playable() const
{
    return mNumPlayable;
}

void PlayQueue::markUnplayable(std::size_t track)
{
    if (!mUnplayable.at(track)) {
        mUnplayable[track] = true;
        --mNumPlayable;
    }
}

std::optional<std::size_t> PlayQueue::current() const
{
    if (!mPosition) {
        return std::nullopt;
    }
    return mOrder[*mPosition];
}

std::optional<std::size_t> PlayQueue::start()
{
    mPosition.reset();
    mRound = 0;
    makeOrder();
    for (std::size_t position = 0; position < mOrder.size(); ++position) {
        if (!mUnplayable[mOrder[position]]) {
            mPosition = position;
            return current();
        }
    }
    return std::nullopt;
}

std::optional<std::size_t> PlayQueue::peekNext() const
{
    if (playable() == 0) {
        return std::nullopt;
    }
    for (std::size_t position = mPosition ? *mPosition + 1 : mOrder.size(); position < mOrder.size();
         ++position) {
        if (!mUnplayable[mOrder[position]]) {
            return mOrder[position];
        }
    }
    if (!mOptions.repeat) {
        return std::nullopt;
    }
    // The next round's order is drawn afresh.
    PlayQueue ahead = *this;
    return ahead.next();
}

std::optional<std::size_t> PlayQueue::next()
{
    if (playable() == 0) {
        mPosition.reset();
        return std::nullopt;
    }
    std::size_t position = mPosition ? *mPosition + 1 : mOrder.size();
    for (;;) {
        if (position >= mOrder.size()) {
            if (!mOptions.repeat) {
                mPosition.reset();
                return std::nullopt;
            }
            ++mRound;
            makeOrder();
            position = 0;
        }
        if (!mUnplayable[mOrder[position]]) {
            mPosition = position;
            return current();
        }
        ++position;
    }
}

std::optional<std::size_t> PlayQueue::previous(double secondsPlayed)
{
    if (!mPosition) {
        // After the end the previous key plays the last track again.
        for (std::size_t position = mOrder.size(); position-- > 0;) {
            if (!mUnplayable[mOrder[position]]) {
                mPosition = position;
                return current();
            }
        }
        return std::nullopt;
    }
    if (secondsPlayed < kRestartSeconds) {
        for (std::size_t position = *mPosition; position-- > 0;) {
            if (!mUnplayable[mOrder[position]]) {
                mPosition = position;
                break;
            }
        }
    }
    return current();
}

std::optional<std::size_t> PlayQueue::skipUnplayable()
{
    if (const std::optional<std::size_t> track = current()) {
        markUnplayable(*track);
    }
    return next();
}

} // namespace mirvo
