// Stopping and closing an RtAudio stream without letting its complaints escape. A stream whose
// sound server has gone away reports errors on the way down; it is gone either way, and these
// run from uninitialise and disable paths that must not throw. Main thread.
#pragma once

#include <RtAudio.h>

#include <memory>

namespace mirvo::audio {

// Aborting drops what the server still buffers instead of waiting for it to play out, so the
// caller waits at most for the block being rendered.
inline void abortStreamQuietly(RtAudio& rtAudio)
{
    try {
        if (rtAudio.isStreamRunning()) {
            rtAudio.abortStream();
        }
    } catch (const RtAudioError&) {
    }
}

inline void closeStreamQuietly(std::unique_ptr<RtAudio>& rtAudio)
{
    if (!rtAudio) {
        return;
    }
    try {
        if (rtAudio->isStreamOpen()) {
            rtAudio->closeStream();
        }
    } catch (const RtAudioError&) {
    }
    rtAudio.reset();
}

} // namespace mirvo::audio
