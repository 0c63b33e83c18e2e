#include "src/player/Player.h"

#include "app/KeyEvent.h"
#include "audio/Buffer.h"
#include "audio/Exception.h"
#include "audio/FilePlayerNode.h"
#include "audio/SourceFile.h"
#include "core/DataSource.h"
#include "src/FailureText.h"

#include <algorithm>
#include <iostream>
#include <random>
#include <utility>

namespace mirvo {

namespace fs = std::filesystem;

namespace {

constexpr int64_t kSeekMicros = 5'000'000;
constexpr int64_t kLongSeekMicros = 30'000'000;

audio::SourceFileRef openFile(const fs::path& path, std::size_t sampleRate)
{
    audio::SourceFileRef source(audio::load(loadFile(path.string()), sampleRate));
    // A container may promise music that its decoder never gives. Found here, such a file is
    // passed over with its line like one that does not open; found by playing it, its end came
    // only once the output had played it, and a queue going round handed it over to itself
    // again and again meanwhile, on a busy machine for as long as the run lasted.
    audio::Buffer first(std::max<std::size_t>(1, std::min<std::size_t>(source->getMaxFramesPerRead(), 1024)),
                        source->getNumChannels());
    if (source->read(&first) == 0) {
        throw audio::AudioFileExc("the file holds no audio", audio::AudioFileExc::Reason::NO_AUDIO);
    }
    source->seek(0);
    return source;
}

} // namespace

Player::Player(Notices& notices, bool repeat, bool shuffle)
    : mNotices(notices), mRepeat(repeat ? Repeat::QUEUE : Repeat::OFF), mShuffle(shuffle)
{
}

Player::~Player() = default;

void Player::setNode(std::shared_ptr<audio::FilePlayerNode> node)
{
    mNode = std::move(node);
}

PlayQueue::Options Player::queueOptions() const
{
    return {mRepeat == Repeat::QUEUE, mShuffle, std::random_device{}()};
}

Player::Opened Player::openFrom(PlayQueue& queue, std::optional<std::size_t> index, std::size_t sampleRate)
{
    Opened opened;
    while (index && !opened.source) {
        const fs::path& path = queue.getTracks()[*index];
        try {
            opened.source = openFile(path, sampleRate);
        } catch (const std::exception& exc) {
            opened.failures.push_back({path, reasonForLog(exc), reasonForNotice(exc)});
            index = queue.skipUnplayable();
        }
    }
    return opened;
}

std::shared_ptr<audio::SourceFile> Player::openFirst(const std::vector<std::string>& given,
                                                     std::size_t sampleRate)
{
    PlayQueue queue(collectTracks({given.begin(), given.end()}), queueOptions());
    if (queue.empty()) {
        throw StartupError(given.size() == 1 ? "no audio files in '" + given.front() + "'"
                                             : std::string("no audio files in the folders given"));
    }
    Opened opened = openFrom(queue, queue.start(), sampleRate);
    if (queue.size() == 1 && !opened.source) {
        const Failed& failed = opened.failures.front();
        throw StartupError("cannot play " + quotedName(failed.path.string()) + ": " + failed.forLog);
    }
    report(opened.failures, true);
    if (!opened.source) {
        throw StartupError("none of the " + std::to_string(queue.size()) + " files given can be played");
    }
    mQueue = std::move(queue);
    queueChanged();
    announce(*opened.source, mQueue.currentPath().filename().string());
    mTrackStartTime = mNow;
    return opened.source;
}

void Player::announce(const audio::SourceFile& source, const std::string& fileName)
{
    // Whatever is told now is what plays: a track still waiting to be heard was replaced.
    mFollowed.reset();
    const std::size_t rate = source.getSampleRate();
    const double seconds =
        rate > 0 ? static_cast<double>(source.getNumFrames()) / static_cast<double>(rate) : 0.0;
    mNotices.post({notice::track(source.getTitle(), source.getArtist(), fileName, seconds)});
    mTrack = Track{getNumTracksStarted() + 1,
                   source.getTitle(),
                   source.getArtist(),
                   source.getAlbum(),
                   fileName,
                   source.getNumFrames(),
                   rate};
    mStopped = false;
}

void Player::report(const std::vector<Failed>& failures, bool count)
{
    // One write for the lot: a folder of thousands of files that are not music, each line
    // flushed on its own, held the frames up for as long as a terminal took to show them.
    std::string lines;
    for (const Failed& failed : failures) {
        lines += "mirvo: cannot play " + quotedName(failed.path.string()) + ": " + failed.forLog + "\n";
    }
    if (!lines.empty()) {
        std::cerr << lines << std::flush;
    }
    if (count) {
        mSkippedSinceLastFrame += failures.size();
    }
}

void Player::open(std::vector<fs::path> paths)
{
    const uint64_t generation = ++mGeneration;
    ++mOpening;
    mLoader.post([this, paths = std::move(paths), options = queueOptions(), generation] {
        auto queue = std::make_shared<PlayQueue>(collectTracks(paths), options);
        auto opened = std::make_shared<Opened>(openFrom(*queue, queue->start(), 0));
        return TrackLoader::Result([this, paths, queue, opened, generation] {
            --mOpening;
            takeOpen(paths, *queue, *opened, generation);
        });
    });
}

void Player::takeOpen(const std::vector<fs::path>& paths, PlayQueue& queue, const Opened& opened,
                      uint64_t generation)
{
    if (generation != mGeneration) {
        // A later drop replaced this one.
        report(opened.failures, false);
        return;
    }
    if (opened.source) {
        report(opened.failures, true);
        mQueue = std::move(queue);
        queueChanged();
        playSource(opened.source, mQueue.currentPath().filename().string());
        return;
    }
    report(opened.failures, false);
    std::vector<notice::Failure> failures;
    for (const Failed& failed : opened.failures) {
        failures.push_back({failed.path.filename().string(), failed.forNotice});
    }
    if (queue.empty()) {
        // Only folders, and no audio in them: say so, or the drop would seem ignored.
        for (const fs::path& folder : paths) {
            std::cerr << "mirvo: cannot play " << quotedName(folder.string()) << ": it holds no audio files"
                      << std::endl;
            failures.push_back({folder.filename().string(), "no audio files in it"});
        }
    }
    mNotices.post(notice::failures(failures));
}

void Player::move(std::function<std::optional<std::size_t>(PlayQueue&)> step, bool keepStatus)
{
    const uint64_t generation = ++mGeneration;
    ++mMoving;
    const std::optional<Status> keep = keepStatus ? std::optional<Status>(getStatus()) : std::nullopt;
    // A copy of the queue shares its paths: it costs its order, not its files.
    auto queue = std::make_shared<PlayQueue>(mQueue);
    mLoader.post([this, queue, step = std::move(step), generation, keep] {
        auto opened = std::make_shared<Opened>(openFrom(*queue, step(*queue), 0));
        return TrackLoader::Result([this, queue, opened, generation, keep] {
            --mMoving;
            takeMove(*queue, *opened, generation, keep);
        });
    });
}

void Player::takeMove(PlayQueue& queue, const Opened& opened, uint64_t generation, std::optional<Status> keep)
{
    if (generation != mGeneration) {
        report(opened.failures, false);
        return;
    }
    report(opened.failures, true);
    mQueue = std::move(queue);
    queueChanged();
    if (!opened.source) {
        return;
    }
    playSource(opened.source, mQueue.currentPath().filename().string());
    if (keep == Status::PAUSED) {
        pause();
    } else if (keep == Status::STOPPED && !mStopped) {
        stop();
    }
}

void Player::playSource(const audio::SourceFileRef& source, const std::string& fileName)
{
    if (mNode) {
        try {
            // Swaps the music only once the file is ready to play; a failure leaves it as it was.
            mNode->playSourceFile(source);
        } catch (const std::exception& exc) {
            report({{mQueue.currentPath(), reasonForLog(exc), reasonForNotice(exc)}}, true);
            move([](PlayQueue& queue) { return queue.skipUnplayable(); });
            return;
        }
        if (mEndLiveInput) {
            mEndLiveInput();
        }
        mNotices.setPaused(false);
        announce(*source, fileName);
    }
    mTrackStartTime = mNow;
    queueAhead();
}

void Player::queueAhead()
{
    if (!mNode) {
        return;
    }
    mHandoffsSeen = mNode->getNumHandoffs();
    mAheadSource.reset();
    mAheadIsRepeat = false;
    mNode->queueSourceFile(nullptr);
    if (mRepeat == Repeat::TRACK) {
        // The file the node reads, already at the graph's rate: its hand-off reads it again
        // from the first frame, straight after its last.
        const audio::SourceFileRef again = mNode->getSourceFile();
        if (again && mNode->queueSourceFile(again)) {
            mAheadSource = again;
            mAheadIsRepeat = true;
        }
        return;
    }
    const uint64_t generation = mGeneration;
    auto queue = std::make_shared<PlayQueue>(mQueue);
    mLoader.post([this, queue, generation] {
        // A track that does not open is told now and passed over, so that the one after it can
        // still follow without a gap.
        auto ahead = std::make_shared<Opened>();
        auto passedOver = std::make_shared<std::vector<std::size_t>>();
        for (std::optional<std::size_t> next = queue->peekNext(); next && !ahead->source;
             next = queue->peekNext()) {
            try {
                ahead->source = openFile(queue->getTracks()[*next], 0);
            } catch (const std::exception& exc) {
                ahead->failures.push_back(
                    {queue->getTracks()[*next], reasonForLog(exc), reasonForNotice(exc)});
                queue->markUnplayable(*next);
                passedOver->push_back(*next);
            }
        }
        return TrackLoader::Result([this, ahead, passedOver, generation] {
            if (generation != mGeneration || mAheadIsRepeat) {
                report(ahead->failures, false);
                return;
            }
            report(ahead->failures, true);
            for (std::size_t track : *passedOver) {
                mQueue.markUnplayable(track);
            }
            queueChanged();
            if (mNode && ahead->source && mNode->queueSourceFile(ahead->source)) {
                mAheadSource = ahead->source;
            }
        });
    });
}

void Player::queueChanged()
{
    mCanGoNext = mQueue.current() && mQueue.peekNext();
}

void Player::started()
{
    if (mQueue.current()) {
        queueAhead();
    }
}

void Player::next(bool keepStatus)
{
    // The last track without repeat has no next one: the key leaves it playing.
    if (mOpening > 0 || !mCanGoNext) {
        return;
    }
    move([](PlayQueue& queue) { return queue.next(); }, keepStatus);
}

void Player::previous(bool keepStatus)
{
    if (mOpening > 0 || mQueue.empty()) {
        return;
    }
    // How far the track has played, not how long ago it started: time paused does not count.
    const double secondsPlayed =
        mNode ? static_cast<double>(getPositionMicros()) / 1e6 : static_cast<double>(mNow - mTrackStartTime);
    move([secondsPlayed](PlayQueue& queue) { return queue.previous(secondsPlayed); }, keepStatus);
}

void Player::play()
{
    if (!mNode) {
        return;
    }
    if (mEndLiveInput) {
        mEndLiveInput();
    }
    if (mStopped || mNode->isEof()) {
        if (!mQueue.empty() && !mQueue.current()) {
            // The queue has played to its end: it starts again.
            move([](PlayQueue& queue) { return queue.start(); });
        } else {
            mNode->start();
            mTrackStartTime = mNow;
            // Stopping dropped the track queued to follow.
            queueAhead();
        }
        mStopped = false;
    } else {
        mNode->enable();
    }
    mNotices.setPaused(false);
}

void Player::pause()
{
    if (mNode && mNode->isEnabled()) {
        mNode->disable();
        mNotices.setPaused(true);
    }
}

void Player::playPause()
{
    if (getStatus() == Status::PLAYING) {
        pause();
    } else {
        play();
    }
}

void Player::togglePause()
{
    if (!mNode) {
        return;
    }
    mNode->setEnabled(!mNode->isEnabled());
    mNotices.setPaused(!mNode->isEnabled());
    mStopped = false;
}

void Player::stop()
{
    if (!mNode) {
        return;
    }
    mNode->stop();
    mStopped = true;
    mNotices.setPaused(false);
}

Player::Status Player::getStatus() const
{
    if (!mNode || mStopped || mNode->isEof()) {
        return Status::STOPPED;
    }
    return mNode->isEnabled() ? Status::PLAYING : Status::PAUSED;
}

int64_t Player::getPositionMicros() const
{
    if (!mNode) {
        return 0;
    }
    // The reader runs ahead of what is heard by what it has buffered.
    const std::size_t read = mNode->getReadPosition();
    const std::size_t buffered = mNode->getNumBufferedFrames();
    const auto rate = static_cast<int64_t>(mNode->getSampleRate());
    // The output device holds what the node gave it for its latency before it is heard.
    const double latency = mOutputLatency ? std::max(0.0, mOutputLatency()) : 0.0;
    const auto inDevice = static_cast<std::size_t>(latency * static_cast<double>(rate));
    const std::size_t ahead = buffered + inDevice;
    const auto heard = static_cast<int64_t>(read > ahead && !mStopped ? read - ahead : 0);
    return rate > 0 ? heard / rate * 1000000 + heard % rate * 1000000 / rate : int64_t{0};
}

bool Player::canSeek() const
{
    return mNode && mTrack && getStatus() != Status::STOPPED;
}

void Player::seekBy(int64_t offsetMicros)
{
    if (!canSeek()) {
        return;
    }
    followNode();
    const int64_t target = std::max<int64_t>(0, getPositionMicros() + offsetMicros);
    const auto rate = static_cast<int64_t>(mNode->getSampleRate());
    const int64_t frame = target / 1000000 * rate + target % 1000000 * rate / 1000000;
    // Past a length only estimated, the decoder tells where the end is.
    if (const std::optional<std::size_t> known = mNode->getKnownNumFrames();
        known && frame >= static_cast<int64_t>(*known)) {
        const auto length = static_cast<int64_t>(*known);
        jumpTo(*known, length / rate * 1000000 + length % rate * 1000000 / rate);
        return;
    }
    jumpTo(static_cast<std::size_t>(frame), target);
}

void Player::seekTo(int64_t micros)
{
    if (!canSeek() || micros < 0) {
        return;
    }
    followNode();
    const auto rate = static_cast<int64_t>(mNode->getSampleRate());
    const int64_t frame = micros / 1000000 * rate + micros % 1000000 * rate / 1000000;
    const std::optional<std::size_t> known = mNode->getKnownNumFrames();
    const std::size_t length = known ? *known : mNode->getNumFrames();
    if (frame > static_cast<int64_t>(length)) {
        return;
    }
    jumpTo(static_cast<std::size_t>(frame), micros);
}

void Player::jumpTo(std::size_t frame, int64_t micros)
{
    mNode->jumpTo(frame);
    ++mNumSeeks;
    mSeekedToMicros = micros;
}

void Player::setRepeat(Repeat repeat)
{
    if (repeat == mRepeat) {
        return;
    }
    mRepeat = repeat;
    mQueue.setRepeat(repeat == Repeat::QUEUE);
    mNotices.post({repeat == Repeat::OFF     ? "repeat off"
                   : repeat == Repeat::QUEUE ? "repeat: the queue"
                                             : "repeat: this track"});
    queueChanged();
    requeue();
}

bool Player::takeKey(int code, bool shift)
{
    const int64_t seek = shift ? kLongSeekMicros : kSeekMicros;
    switch (code) {
    case app::KeyEvent::KEY_RIGHT:
        seekBy(seek);
        return true;
    case app::KeyEvent::KEY_LEFT:
        seekBy(-seek);
        return true;
    case app::KeyEvent::KEY_r:
        cycleRepeat();
        return true;
    case app::KeyEvent::KEY_x:
        setShuffle(!isShuffled());
        return true;
    case app::KeyEvent::KEY_SPACE:
        togglePause();
        return true;
    case app::KeyEvent::KEY_n:
        next();
        return true;
    case app::KeyEvent::KEY_p:
        previous();
        return true;
    default:
        return false;
    }
}

void Player::cycleRepeat()
{
    switch (mRepeat) {
    case Repeat::OFF:
        setRepeat(Repeat::QUEUE);
        break;
    case Repeat::QUEUE:
        setRepeat(Repeat::TRACK);
        break;
    case Repeat::TRACK:
        setRepeat(Repeat::OFF);
        break;
    }
}

void Player::setShuffle(bool shuffle)
{
    if (shuffle == mShuffle) {
        return;
    }
    mShuffle = shuffle;
    mQueue.setShuffle(shuffle, std::random_device{}());
    mNotices.post({shuffle ? "shuffle on" : "shuffle off"});
    queueChanged();
    if (mRepeat != Repeat::TRACK) {
        requeue();
    }
}

void Player::requeue()
{
    if (!mNode) {
        return;
    }
    // Once nothing is queued the node cannot hand off: one it made before is taken in first,
    // as the mode it was queued under says, and what follows is queued as the new one says.
    mNode->queueSourceFile(nullptr);
    followNode();
    if (getStatus() != Status::STOPPED) {
        queueAhead();
    }
}

void Player::repeatTrack()
{
    const audio::SourceFileRef source = mNode->getSourceFile();
    if (mNode->isEof()) {
        // The node could not follow itself (no read-ahead): the track starts again here.
        mNode->start();
    }
    const std::string fileName = mTrack ? mTrack->fileName : std::string();
    if (source) {
        announce(*source, fileName);
    }
    mTrackStartTime = mNow;
    queueAhead();
}

void Player::followNode()
{
    if (!mNode || mMoving > 0 || mOpening > 0) {
        return;
    }
    if (mNode->getNumHandoffs() != mHandoffsSeen) {
        if (mAheadIsRepeat) {
            repeatTrack();
            return;
        }
        if (!mQueue.current()) {
            return;
        }
        ++mGeneration;
        mQueue.next();
        queueChanged();
        mTrackStartTime = mNow;
        if (mNode->isEof()) {
            // Handed off just as the node found the end: play the track from the start.
            move([](PlayQueue& queue) { return queue.current(); });
        } else {
            if (mAheadSource) {
                mFollowed =
                    Followed{mAheadSource, mQueue.currentPath().filename().string(), mNode->getNumHandoffs()};
            }
            queueAhead();
        }
    } else if (mNode->isEof() && !mStopped) {
        // After the queue's end the player has stopped, whatever the repeat.
        if (mRepeat == Repeat::TRACK && (mQueue.current() || mQueue.empty())) {
            repeatTrack();
        } else if (mQueue.current()) {
            move([](PlayQueue& queue) { return queue.next(); });
        }
    }
}

void Player::announceFollowedOnceHeard()
{
    if (mFollowed && mNode && mNode->getNumHandoffsHeard() >= mFollowed->handoff) {
        const Followed followed = std::move(*mFollowed);
        announce(*followed.source, followed.fileName);
        mTrackStartTime = mNow;
    }
}

void Player::update(float now)
{
    mNow = now;
    mLoader.poll();
    // The node has gone on to the track queued ahead without a gap, or, where it could not
    // take one ahead, stopped at the end of the file: the queue then plays the next one.
    followNode();
    announceFollowedOnceHeard();
    // A container that only estimates its length gives the true one once the reader reaches
    // its end; the desktop's controls show that from then on.
    if (mNode && mTrack && !mFollowed && mNode->getNumHandoffs() == mHandoffsSeen) {
        if (const std::optional<std::size_t> known = mNode->getKnownNumFrames();
            known && *known != mTrack->numFrames) {
            mTrack->numFrames = *known;
        }
    }
    mNotices.post(notice::skipped(mSkippedSinceLastFrame));
    mSkippedSinceLastFrame = 0;
}

void Player::finishLoading()
{
    mLoader.finish();
}

} // namespace mirvo
