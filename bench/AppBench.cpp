// Costs on the application framework's hot paths: an input event through a window's
// signal to the application, and the window camera the default resize builds.
#include "app/AppBasic.h"
#include "app/Camera.h"
#include "app/Window.h"
#include "app/WindowImplNull.h"

#include <benchmark/benchmark.h>

using namespace mirvo;
using namespace mirvo::app;

namespace {

class CountingApp : public AppBasic {
  public:
    void keyDown(KeyEvent event) override { ++keys; }
    int keys = 0;
};

// A key press through three connected slots (the panels connect this many) to the
// application's handler.
void BM_KeyDownThroughWindowSignal(benchmark::State& state)
{
    CountingApp app;
    WindowImplNull impl;
    const WindowRef window = Window::privateCreate(&impl, &app);
    int slotCalls = 0;
    for (int i = 0; i < 3; ++i) {
        window->getSignalKeyDown().connect([&slotCalls](KeyEvent&) { ++slotCalls; });
    }
    for (auto _ : state) {
        KeyEvent event(window, KeyEvent::KEY_t, 't', 't', 0, 84);
        window->emitKeyDown(event);
    }
    benchmark::DoNotOptimize(slotCalls);
    benchmark::DoNotOptimize(app.keys);
}
BENCHMARK(BM_KeyDownThroughWindowSignal);

// The camera and both matrices, as every window resize computes them.
void BM_DefaultWindowCamera(benchmark::State& state)
{
    for (auto _ : state) {
        CameraPersp camera(1920, 1080, 60.0f);
        benchmark::DoNotOptimize(camera.getProjectionMatrix().m[0]);
        benchmark::DoNotOptimize(camera.getModelViewMatrix().m[0]);
    }
}
BENCHMARK(BM_DefaultWindowCamera);

} // namespace
