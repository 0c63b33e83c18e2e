#!/usr/bin/env bash
# The include check fails on a planted layer breach, a planted platform header and parts of the
# program that reach past their rules, naming the file, the include and the rule, and passes a
# tree that keeps to the rules.
set -uo pipefail
check="$(dirname "${BASH_SOURCE[0]}")/../../tools/check-includes"
tree=$(mktemp -d /tmp/mirvo-includes.XXXXXX)
trap 'rm -rf "$tree"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

mkdir -p "$tree"/{core,audio/ffmpeg,app/glfw,src/desktop,src/scenes,src/player,src/render,src/run}
printf '#include "core/Vector.h"\n#include <vector>\n' >"$tree/core/Vector.h"
printf '#include "core/Vector.h"\n#include <libavformat/avformat.h>\n' >"$tree/audio/ffmpeg/Decoder.cpp"
printf '#include "app/Window.h"\n#include <GLFW/glfw3.h>\n' >"$tree/app/glfw/WindowGlfw.cpp"
printf '#include "audio/Context.h"\n#include "params/InterfaceGl.h"\n#include "local.h"\n' >"$tree/src/App.cpp"
printf '#include "src/desktop/MediaControls.h"\n#include "src/player/Player.h"\n#include <systemd/sd-bus.h>\n' \
    >"$tree/src/desktop/MediaControlsSdBus.cpp"
printf '#include "src/Notices.h"\n' >"$tree/src/player/Player.h"
printf '#include "src/scenes/Visualizer.h"\n' >"$tree/src/scenes/Stage.h"
printf '#include "src/scenes/Stage.h"\n#include "src/CommandLine.h"\n' >"$tree/src/render/Render.cpp"
printf '#include "src/render/Render.h"\n#include "src/MirvoApp.h"\n' >"$tree/src/run/RunControl.cpp"
printf '#include "src/run/RunControl.h"\n#include "src/MirvoApp.h"\n' >"$tree/src/main.cpp"

out=$("$check" --root "$tree" 2>&1) || fail "a tree that keeps the rules was refused: $out"
[[ $out == *"10 files checked, 0 faults"* ]] || fail "unexpected count: $out"

printf '#include "audio/Context.h"\n' >>"$tree/core/Vector.h"
printf '#include "core/Vector.h"\n  #  include <GLFW/glfw3.h>\n' >"$tree/audio/Player.cpp"
printf '#include <systemd/sd-bus.h>\n' >>"$tree/src/App.cpp"
printf '#include "src/player/Player.h"\n' >>"$tree/src/scenes/Stage.h"
printf '#include "src/run/RunControl.h"\n' >>"$tree/src/render/Render.cpp"
out=$("$check" --root "$tree" 2>&1) && fail "planted faults passed: $out"
[[ $out == *'core/Vector.h:3: includes "audio/Context.h": core may include only: nothing of ours'* ]] ||
    fail "the layer breach was not named: $out"
[[ $out == *'audio/Player.cpp:2: includes <GLFW/glfw3.h>: <GLFW/...> belongs in files matching ^(app/glfw/|src/render/glfw/)'* ]] ||
    fail "the platform header was not named: $out"
[[ $out == *'src/App.cpp:4: includes <systemd/sd-bus.h>: <systemd/...> belongs in files matching ^src/desktop/[^/]*SdBus[^/]*$'* ]] ||
    fail "the bus header outside src/desktop/ was not named: $out"
[[ $out == *'src/scenes/Stage.h:2: includes "src/player/Player.h": src/ part scenes may include only: common'* ]] ||
    fail "the scenes reaching into the player were not named: $out"
[[ $out == *'src/render/Render.cpp:3: includes "src/run/RunControl.h": src/ part render may include only: common scenes player'* ]] ||
    fail "the renderer reaching into the run's parts was not named: $out"
[[ $out == *"11 files checked, 5 faults"* ]] || fail "unexpected count: $out"
echo "check-includes: planted faults found, clean tree passed"
