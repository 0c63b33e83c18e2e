// Marks the calling thread as background work: named for the tools that list threads, and
// scheduled behind the threads that draw and play, so that work nobody waits on frame by frame
// (walking folders, probing files) takes what they leave instead of stretching a frame.
#pragma once

namespace mirvo {

// `name` is cut to what the system keeps (15 bytes on Linux). Failure changes nothing.
void becomeBackgroundThread(const char* name);

} // namespace mirvo
