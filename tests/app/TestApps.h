// Applications for the tests that run the real platform layer: each launches like a
// program, records what happened in order and quits itself from update.
#pragma once

#include "app/AppBasic.h"
#include "app/RendererGl.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace mirvo::app::test {

class ScriptedApp : public AppBasic {
  public:
    ScriptedApp() { setDefaultRenderer(RendererGl::create(RendererGl::AA_NONE)); }

    // Runs the event loop until the application quits; update asks to quit once
    // getElapsedFrames() passes quitAfterFrames.
    void run(const char* title = "TestApp")
    {
        char name[] = "mirvo_app_gl_tests";
        char* argv[] = {name};
        launch(title, 1, argv);
    }

    void prepareSettings(Settings* settings) override
    {
        settings->setWindowSize(320, 240);
        settings->setFrameRate(240.0f);
        settings->getDefaultWindowFormat().title("mirvo test");
        if (onPrepareSettings) {
            onPrepareSettings(settings);
        }
    }
    void setup() override
    {
        log.push_back("setup");
        if (onSetup) {
            onSetup();
        }
    }
    void resize() override { log.push_back("resize"); }
    void update() override
    {
        log.push_back("update " + std::to_string(getElapsedFrames()));
        if (onUpdate) {
            onUpdate();
        }
        if (getElapsedFrames() >= quitAfterFrames) {
            quit();
        }
    }
    void draw() override
    {
        ++draws;
        if (onDraw) {
            onDraw();
        }
    }
    void shutdown() override { log.push_back("shutdown"); }
    void keyDown(KeyEvent event) override { keysDown.push_back(event); }
    void keyUp(KeyEvent event) override { keysUp.push_back(event); }
    void mouseDown(MouseEvent event) override { mouse.push_back({"down", event}); }
    void mouseUp(MouseEvent event) override { mouse.push_back({"up", event}); }
    void mouseDrag(MouseEvent event) override { mouse.push_back({"drag", event}); }
    void mouseMove(MouseEvent event) override { mouse.push_back({"move", event}); }
    void mouseWheel(MouseEvent event) override { mouse.push_back({"wheel", event}); }

    std::uint32_t quitAfterFrames = 3;
    std::function<void(Settings*)> onPrepareSettings;
    std::function<void()> onSetup;
    std::function<void()> onUpdate;
    std::function<void()> onDraw;

    std::vector<std::string> log;
    int draws = 0;
    std::vector<KeyEvent> keysDown;
    std::vector<KeyEvent> keysUp;
    std::vector<std::pair<std::string, MouseEvent>> mouse;
};

} // namespace mirvo::app::test
