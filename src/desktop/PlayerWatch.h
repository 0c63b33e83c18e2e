// The other side of the media controls: the desktop's other players, as a client sees them, for
// live input to follow whichever of them plays. Mirvo's own player is left out.
#pragma once

#include "src/PlayingPlayer.h"

namespace mirvo {

// Main thread: a watch on the session bus's media players; an empty function where there is no
// session bus. The watch holds its own connection, closed when the last copy goes.
PlayingPlayerWatch watchPlayingPlayer();

} // namespace mirvo
