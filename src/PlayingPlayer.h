// The player the desktop's media controls say is playing: what the desktop part finds on the
// session bus and live input follows (--input=playing).
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace mirvo {

struct PlayingPlayer {
    // The process that owns the player's name on the bus; its sound may come from a child.
    int64_t processId = 0;
    // The player's name on the bus without the common prefix, e.g. "vlc".
    std::string name;

    bool operator==(const PlayingPlayer&) const = default;
};

// Main thread, once a frame: takes in what the bus reported since the last call and answers the
// player that plays now (of several, the one that started last), or nothing.
using PlayingPlayerWatch = std::function<std::optional<PlayingPlayer>()>;

} // namespace mirvo
