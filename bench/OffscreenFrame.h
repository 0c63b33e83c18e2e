// What the GL benchmarks share: one headless GL context for the whole program, a colour target
// to draw frames into, the process's CPU time (the software renderer's threads included) and the
// timed run of a scene's frames.
#pragma once

#include "gl/Gl.h"
#include "src/render/OffscreenContext.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <ctime>
#include <memory>

namespace mirvo::bench {

// Made on first use; throws where the machine has no headless GL.
inline render::OffscreenContext* offscreenContext()
{
    static std::unique_ptr<render::OffscreenContext> shared = render::OffscreenContext::create();
    return shared.get();
}

inline double processCpuSeconds()
{
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

// An RGBA texture of the given size bound as the framebuffer while it lives.
class FrameTarget {
  public:
    FrameTarget(int width, int height)
    {
        glGenTextures(1, &mTexture);
        glBindTexture(GL_TEXTURE_2D, mTexture);
        glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, width, height, 0, GL_RGBA, GL_UNSIGNED_BYTE, nullptr);
        glBindTexture(GL_TEXTURE_2D, 0);
        glGenFramebuffers(1, &mFramebuffer);
        glBindFramebuffer(GL_FRAMEBUFFER, mFramebuffer);
        glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, mTexture, 0);
        glViewport(0, 0, width, height);
    }
    ~FrameTarget()
    {
        glBindFramebuffer(GL_FRAMEBUFFER, 0);
        glDeleteFramebuffers(1, &mFramebuffer);
        glDeleteTextures(1, &mTexture);
    }
    FrameTarget(const FrameTarget&) = delete;
    FrameTarget& operator=(const FrameTarget&) = delete;

  private:
    GLuint mTexture = 0;
    GLuint mFramebuffer = 0;
};

// The wall and CPU seconds (every thread's) a run of frames took.
struct FrameTimes {
    double wall = 0.0;
    double cpu = 0.0;
};

// Draws one frame to warm the scene up (shaders built, buffers filled), then one each iteration,
// every frame finished by the GL before the next.
template <typename Scene> FrameTimes drawFrames(benchmark::State& state, Scene& scene, float dt)
{
    scene.update(dt);
    scene.draw();
    glFinish();
    const auto wallStart = std::chrono::steady_clock::now();
    const double cpuStart = processCpuSeconds();
    for (auto _ : state) {
        scene.update(dt);
        scene.draw();
        glFinish();
    }
    return {std::chrono::duration<double>(std::chrono::steady_clock::now() - wallStart).count(),
            processCpuSeconds() - cpuStart};
}

} // namespace mirvo::bench
