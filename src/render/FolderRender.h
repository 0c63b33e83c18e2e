// `mirvo --render OUTDIR/ FOLDER`: one video per track, named after it, in the folder OUTDIR
// (made when missing). Tracks are walked and ordered as the player walks them; several render
// at once, each by this program started again for it alone (RenderJob), so that each has its
// own GL context and a failure or crash costs one track.
#pragma once

#include "src/CommandLine.h"

#include <string>
#include <vector>

namespace mirvo::render {

// How many tracks render at once unless --jobs says: the count that rendered an album fastest.
int defaultRenderJobs();

// Main's exit status: 0 when every track became a video, 1 when any could not (each told in a
// line, and again at the end), 128 and the signal after Ctrl+C and the like: the videos done
// are kept, and those under way end where they were, as a render of one song does. `args` is
// the program's command line, which each track's render is given again.
int runFolderRender(const CommandLine& commandLine, const std::vector<std::string>& args);

} // namespace mirvo::render
