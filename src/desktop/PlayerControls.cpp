#include "src/desktop/PlayerControls.h"

#include "src/player/Player.h"

#include <utility>

namespace mirvo {

std::unique_ptr<PlayerControls> PlayerControls::open(Player& player, std::function<void()> quit)
{
    MediaControls::Commands commands;
    commands.play = [&player] { player.play(); };
    commands.pause = [&player] { player.pause(); };
    commands.playPause = [&player] { player.playPause(); };
    commands.stop = [&player] { player.stop(); };
    // A desktop's Next and Previous move through the queue and leave a paused or stopped player
    // as it was; the N and P keys start the track they move to.
    commands.next = [&player] { player.next(true); };
    commands.previous = [&player] { player.previous(true); };
    commands.quit = std::move(quit);
    commands.open = [&player](const std::filesystem::path& path) { player.open({path}); };
    commands.positionMicros = [&player] { return player.getPositionMicros(); };
    commands.seekBy = [&player](int64_t offset) { player.seekBy(offset); };
    commands.seekTo = [&player](int64_t position) { player.seekTo(position); };
    commands.setLoop = [&player](LoopStatus loop) {
        player.setRepeat(loop == LoopStatus::TRACK      ? Player::Repeat::TRACK
                         : loop == LoopStatus::PLAYLIST ? Player::Repeat::QUEUE
                                                        : Player::Repeat::OFF);
    };
    commands.setShuffle = [&player](bool shuffle) { player.setShuffle(shuffle); };
    std::unique_ptr<MediaControls> controls = openMediaControls(std::move(commands));
    if (!controls) {
        return nullptr;
    }
    return std::make_unique<PlayerControls>(player, std::move(controls));
}

PlayerControls::PlayerControls(Player& player, std::unique_ptr<MediaControls> controls)
    : mPlayer(player), mControls(std::move(controls))
{
}

void PlayerControls::update()
{
    mControls->poll();
    mControls->publish(stateOf(mPlayer, mTrack));
}

MediaState PlayerControls::stateOf(const Player& player, std::optional<MediaTrack>& shownTrack)
{
    MediaState state;
    switch (player.getStatus()) {
    case Player::Status::PLAYING:
        state.status = PlaybackStatus::PLAYING;
        break;
    case Player::Status::PAUSED:
        state.status = PlaybackStatus::PAUSED;
        break;
    case Player::Status::STOPPED:
        state.status = PlaybackStatus::STOPPED;
        break;
    }
    if (const Player::Track* track = player.getTrack()) {
        if (!shownTrack || shownTrack->id != mediaTrackId(track->serial)) {
            shownTrack = mediaTrack(track->serial, track->title, track->artist, track->album, track->fileName,
                                    track->numFrames, track->sampleRate);
        }
        state.track = shownTrack;
    }
    state.canGoNext = player.canGoNext();
    state.canGoPrevious = player.canGoPrevious();
    state.canPlay = true;
    state.canPause = true;
    state.canSeek = player.canSeek();
    switch (player.getRepeat()) {
    case Player::Repeat::OFF:
        state.loop = LoopStatus::NONE;
        break;
    case Player::Repeat::QUEUE:
        state.loop = LoopStatus::PLAYLIST;
        break;
    case Player::Repeat::TRACK:
        state.loop = LoopStatus::TRACK;
        break;
    }
    state.shuffle = player.isShuffled();
    state.seeks = player.getNumSeeks();
    state.seekedToMicros = player.getSeekedToMicros();
    return state;
}

} // namespace mirvo
