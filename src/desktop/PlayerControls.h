// The desktop's media controls joined to the player: their commands become the player's, and
// what the player plays becomes what they show, once a frame and at a cost that does not grow
// with the queue. Main thread.
#pragma once

#include "src/desktop/MediaControls.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

namespace mirvo {

class Player;

class PlayerControls {
  public:
    // Null where there is no session bus (see openMediaControls). `quit` ends the program.
    static std::unique_ptr<PlayerControls> open(Player& player, std::function<void()> quit);

    PlayerControls(Player& player, std::unique_ptr<MediaControls> controls);

    // Answers the requests that came in, then shows the player's state.
    void update();

    // What the controls show for the player's state now.
    static MediaState stateOf(const Player& player, std::optional<MediaTrack>& shownTrack);

  private:
    Player& mPlayer;
    std::unique_ptr<MediaControls> mControls;
    // The track as last shown, remade only when another starts.
    std::optional<MediaTrack> mTrack;
};

} // namespace mirvo
