// `mirvo --render OUT [FILE]`: the song drawn frame by frame on video time, offline, into the
// video OUT. The audio graph runs on this thread through a manual context, so each frame sees
// exactly the audio up to its own time, however fast or slow the drawing is.
#pragma once

#include "src/CommandLine.h"

namespace mirvo::render {

// Main's exit status: 0, 1 when the render could not start or failed, 130 after Ctrl+C (the
// file then holds what was rendered and plays).
int runRender(const CommandLine& commandLine);

} // namespace mirvo::render
