#!/usr/bin/env bash
# The include check fails on a planted layer breach and a planted platform header, naming the
# file, the include and the rule, and passes a tree that keeps to the rules.
set -uo pipefail
check="$(dirname "${BASH_SOURCE[0]}")/../../tools/check-includes"
tree=$(mktemp -d /tmp/mirvo-includes.XXXXXX)
trap 'rm -rf "$tree"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

mkdir -p "$tree"/{core,audio/ffmpeg,app/glfw,src/dbus}
printf '#include "core/Vector.h"\n#include <vector>\n' >"$tree/core/Vector.h"
printf '#include "core/Vector.h"\n#include <libavformat/avformat.h>\n' >"$tree/audio/ffmpeg/Decoder.cpp"
printf '#include "app/Window.h"\n#include <GLFW/glfw3.h>\n' >"$tree/app/glfw/WindowGlfw.cpp"
printf '#include "audio/Context.h"\n#include "params/InterfaceGl.h"\n#include "local.h"\n' >"$tree/src/App.cpp"
printf '#include "src/MediaControls.h"\n#include <systemd/sd-bus.h>\n' >"$tree/src/dbus/MediaControlsSdBus.cpp"

out=$("$check" --root "$tree" 2>&1) || fail "a tree that keeps the rules was refused: $out"
[[ $out == *"5 files checked, 0 faults"* ]] || fail "unexpected count: $out"

printf '#include "audio/Context.h"\n' >>"$tree/core/Vector.h"
printf '#include "core/Vector.h"\n  #  include <GLFW/glfw3.h>\n' >"$tree/audio/Player.cpp"
printf '#include <systemd/sd-bus.h>\n' >>"$tree/src/App.cpp"
out=$("$check" --root "$tree" 2>&1) && fail "planted faults passed: $out"
[[ $out == *'core/Vector.h:3: includes "audio/Context.h": core may include only: nothing of ours'* ]] ||
    fail "the layer breach was not named: $out"
[[ $out == *'audio/Player.cpp:2: includes <GLFW/glfw3.h>: <GLFW/...> belongs in files matching ^(app/glfw/|src/render/glfw/)'* ]] ||
    fail "the platform header was not named: $out"
[[ $out == *'src/App.cpp:4: includes <systemd/sd-bus.h>: <systemd/...> belongs in files matching ^src/dbus/'* ]] ||
    fail "the bus header outside src/dbus/ was not named: $out"
[[ $out == *"6 files checked, 3 faults"* ]] || fail "unexpected count: $out"
echo "check-includes: planted faults found, clean tree passed"
