// The application's life cycle on the real platform layer: start-up order, frames,
// quitting and its veto, the main-thread queue, frame-rate changes and windows that
// come and go.
#include "TestApps.h"

#include "app/glfw/AppImplGlfwBasic.h"

#include <epoxy/gl.h>

#include <GLFW/glfw3.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <thread>

using namespace mirvo;
using namespace mirvo::app;
using mirvo::app::test::ScriptedApp;

TEST(AppLifecycle, SetsUpThenResizesBeforeTheFirstUpdateWhichSeesFrameOne)
{
    ScriptedApp app;
    std::uint32_t framesInFirstUpdate = 0;
    app.onUpdate = [&] {
        if (framesInFirstUpdate == 0) {
            framesInFirstUpdate = app.getElapsedFrames();
        }
    };
    app.run();

    ASSERT_GE(app.log.size(), 5u);
    EXPECT_EQ(app.log[0], "setup");
    EXPECT_EQ(app.log[1], "resize");
    EXPECT_EQ(app.log[2], "update 1");
    EXPECT_EQ(framesInFirstUpdate, 1u);
    EXPECT_EQ(app.log.back(), "shutdown");
    EXPECT_GE(app.draws, 2) << "every frame but the one that quits draws";
}

TEST(AppLifecycle, ShouldQuitInSettingsEndsLaunchBeforeAnyWindowOrSetup)
{
    ScriptedApp app;
    app.onPrepareSettings = [](AppBasic::Settings* settings) { settings->setShouldQuit(); };
    app.run();
    EXPECT_TRUE(app.log.empty());
    EXPECT_EQ(app.getNumWindows(), 0u);
    EXPECT_EQ(app.getImpl(), nullptr);
}

TEST(AppLifecycle, AShouldQuitSlotVetoesQuittingUntilItAgrees)
{
    ScriptedApp app;
    app.quitAfterFrames = 2;
    int asked = 0;
    app.getSignalShouldQuit().connect([&] {
        ++asked;
        return app.getElapsedFrames() >= 6;
    });
    std::vector<std::string> order;
    app.onSetup = [&] {
        app.getWindow()->getSignalClose().connect([&] { order.push_back("close"); });
        app.getSignalShutdown().connect([&] { order.push_back("shutdown signal"); });
    };
    app.run();

    EXPECT_EQ(app.getElapsedFrames(), 6u);
    EXPECT_GE(asked, 5);
    EXPECT_EQ(order, (std::vector<std::string>{"close", "shutdown signal"}));
    EXPECT_EQ(app.log.back(), "shutdown");
    EXPECT_EQ(std::count(app.log.begin(), app.log.end(), "shutdown"), 1);
}

TEST(AppLifecycle, WorkPostedFromAnotherThreadRunsOnTheMainThreadBeforeTheNextUpdate)
{
    ScriptedApp app;
    app.quitAfterFrames = 4;
    const auto mainThread = std::this_thread::get_id();
    std::thread::id ranOn;
    std::uint32_t ranInFrame = 0;
    bool updateOfThatFrameRan = true;
    app.onUpdate = [&] {
        if (app.getElapsedFrames() == 2) {
            std::thread poster([&] {
                app.io().post([&] {
                    ranOn = std::this_thread::get_id();
                    ranInFrame = app.getElapsedFrames();
                    updateOfThatFrameRan =
                        std::find(app.log.begin(), app.log.end(), "update 3") != app.log.end();
                });
            });
            poster.join();
        }
    };
    app.run();

    EXPECT_EQ(ranOn, mainThread);
    EXPECT_EQ(ranInFrame, 3u);
    EXPECT_FALSE(updateOfThatFrameRan);
}

TEST(AppLifecycle, AverageFpsStaysZeroDuringTheFirstSecond)
{
    ScriptedApp app;
    app.quitAfterFrames = 1000000;
    bool nonZeroTooEarly = false;
    float fpsAfterASecond = 0.0f;
    app.onUpdate = [&] {
        const double elapsed = app.getElapsedSeconds();
        if (elapsed < 0.99 && app.getAverageFps() != 0.0f) {
            nonZeroTooEarly = true;
        }
        if (elapsed > 1.3) {
            fpsAfterASecond = app.getAverageFps();
            app.quit();
        }
    };
    app.setFrameRate(60.0f);
    app.run();
    EXPECT_FALSE(nonZeroTooEarly);
    EXPECT_GT(fpsAfterASecond, 0.0f);
}

TEST(AppLifecycle, FrameRateChangesTakeEffectAndReenableATimerThatWasDisabled)
{
    ScriptedApp app;
    app.quitAfterFrames = 6;
    double disabledInterval = 0.0;
    double reenabledInterval = 0.0;
    bool enabledAfterSet = false;
    app.onUpdate = [&] {
        auto* impl = static_cast<glfw::AppImplGlfwBasic*>(app.getImpl());
        if (app.getElapsedFrames() == 2) {
            app.disableFrameRate();
            EXPECT_FALSE(app.isFrameRateEnabled());
            disabledInterval = impl->getFrameInterval();
        } else if (app.getElapsedFrames() == 4) {
            app.setFrameRate(100.0f);
            enabledAfterSet = app.isFrameRateEnabled();
            reenabledInterval = impl->getFrameInterval();
        }
    };
    app.run();
    EXPECT_DOUBLE_EQ(disabledInterval, 0.001);
    EXPECT_TRUE(enabledAfterSet);
    EXPECT_DOUBLE_EQ(reenabledInterval, 0.01);
    EXPECT_FLOAT_EQ(app.getFrameRate(), 100.0f);
}

TEST(AppLifecycle, SettingsBeforeLaunchStoreTheRateWithoutEnablingIt)
{
    ScriptedApp app;
    app.onPrepareSettings = [](AppBasic::Settings* settings) {
        settings->disableFrameRate();
        settings->setFrameRate(80.0f);
    };
    bool enabled = true;
    app.onSetup = [&] { enabled = app.isFrameRateEnabled(); };
    app.run();
    EXPECT_FALSE(enabled);
    EXPECT_FLOAT_EQ(app.getFrameRate(), 80.0f);
}

TEST(AppWindows, AClosedWindowThrowsAndTheActiveWindowFallsBackToTheFirst)
{
    ScriptedApp app;
    app.quitAfterFrames = 4;
    WindowRef second;
    bool closeSignalled = false;
    std::size_t windowsAfterClose = 0;
    WindowRef activeAfterClose;
    app.onUpdate = [&] {
        if (app.getElapsedFrames() == 1) {
            second = app.createWindow(Window::Format().size(200, 100).title("second"));
            EXPECT_EQ(app.getWindow(), second);
            EXPECT_EQ(app.getNumWindows(), 2u);
            EXPECT_EQ(second->getSize(), Vec2i(200, 100));
        } else if (app.getElapsedFrames() == 2) {
            second->getSignalClose().connect([&] { closeSignalled = true; });
            second->close();
            windowsAfterClose = app.getNumWindows();
            activeAfterClose = app.getWindow();
        }
    };
    app.run();

    EXPECT_TRUE(closeSignalled);
    EXPECT_EQ(windowsAfterClose, 1u);
    ASSERT_NE(second, nullptr);
    EXPECT_FALSE(second->isValid());
    EXPECT_THROW(second->getSize(), ExcInvalidWindow);
    EXPECT_THROW(second->close(), ExcInvalidWindow);
    EXPECT_NE(activeAfterClose, second);
    EXPECT_TRUE(activeAfterClose->isValid() || app.getNumWindows() == 0);
}

TEST(AppWindows, WindowIndexPastTheCountThrows)
{
    ScriptedApp app;
    bool threw = false;
    app.onUpdate = [&] {
        try {
            app.getWindowIndex(app.getNumWindows());
        } catch (const ExcInvalidWindow&) {
            threw = true;
        }
    };
    app.run();
    EXPECT_TRUE(threw);
}

TEST(AppWindows, ClosingTheLastWindowQuits)
{
    ScriptedApp app;
    app.quitAfterFrames = 1000;
    app.onUpdate = [&] {
        if (app.getElapsedFrames() == 2) {
            app.getWindow()->close();
        }
    };
    app.run();
    EXPECT_EQ(app.getElapsedFrames(), 2u);
    EXPECT_EQ(app.log.back(), "shutdown");
}

TEST(AppWindows, FormatPositionsAndCentresWindowsOnTheirDisplay)
{
    ScriptedApp app;
    Vec2i centred;
    Vec2i placed;
    Vec2i displaySize;
    app.onSetup = [&] {
        centred = app.getWindow()->getPos();
        displaySize = app.getWindow()->getDisplay()->getSize();
        placed = app.createWindow(Window::Format().size(100, 50).pos(30, 40))->getPos();
    };
    app.run();
    EXPECT_EQ(centred, Vec2i((displaySize.x - 320) / 2, (displaySize.y - 240) / 2));
    EXPECT_EQ(placed, Vec2i(30, 40));
}

TEST(RendererGl, ReportsTheSamplesTheContextWasGranted)
{
    ScriptedApp app;
    app.setDefaultRenderer(RendererGl::create(RendererGl::AA_MSAA_16));
    int reported = -1;
    GLint actual = -1;
    GLint depthBits = -1;
    app.onSetup = [&] {
        auto renderer = std::dynamic_pointer_cast<RendererGl>(app.getWindow()->getRenderer());
        reported = renderer->getAntiAliasing();
        glGetIntegerv(GL_SAMPLES, &actual);
        glGetIntegerv(GL_DEPTH_BITS, &depthBits);
    };
    app.run();
    EXPECT_EQ(reported, actual);
    EXPECT_LE(reported, 16);
    EXPECT_GE(depthBits, 24);
}

TEST(RendererGl, ContextOffersTheFixedFunctionPipelineAndGlsl)
{
    ScriptedApp app;
    int version = 0;
    bool hasCoreProfileBit = true;
    app.onSetup = [&] {
        version = epoxy_gl_version();
        GLint mask = 0;
        if (version >= 32) {
            glGetIntegerv(GL_CONTEXT_PROFILE_MASK, &mask);
        }
        hasCoreProfileBit = (mask & GL_CONTEXT_CORE_PROFILE_BIT) != 0;
    };
    app.run();
    EXPECT_GE(version, 21);
    EXPECT_FALSE(hasCoreProfileBit);
}

TEST(RendererGl, DefaultMatricesMapTheWindowCornersToItsPixels)
{
    ScriptedApp app;
    Surface8u surface;
    app.onDraw = [&] {
        glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
        glClear(GL_COLOR_BUFFER_BIT);
        const float w = float(app.getWindowWidth());
        const float h = float(app.getWindowHeight());
        auto square = [](float x0, float y0, float x1, float y1) {
            glBegin(GL_QUADS);
            glVertex2f(x0, y0);
            glVertex2f(x1, y0);
            glVertex2f(x1, y1);
            glVertex2f(x0, y1);
            glEnd();
        };
        glColor4f(1.0f, 0.0f, 0.0f, 1.0f);
        square(0.0f, 0.0f, 4.0f, 4.0f);
        glColor4f(0.0f, 1.0f, 0.0f, 1.0f);
        square(w - 4.0f, h - 4.0f, w, h);
        surface = app.getWindow()->getRenderer()->copyWindowSurface();
    };
    app.run();

    ASSERT_EQ(surface.width, 320);
    ASSERT_EQ(surface.height, 240);
    auto rgb = [&](int x, int y) {
        const std::uint8_t* p = surface.pixel(x, y);
        return std::vector<int>{p[0], p[1], p[2]};
    };
    EXPECT_EQ(rgb(0, 0), (std::vector<int>{255, 0, 0}));
    EXPECT_EQ(rgb(3, 3), (std::vector<int>{255, 0, 0}));
    EXPECT_EQ(rgb(4, 4), (std::vector<int>{0, 0, 0}));
    EXPECT_EQ(rgb(319, 239), (std::vector<int>{0, 255, 0}));
    EXPECT_EQ(rgb(316, 236), (std::vector<int>{0, 255, 0}));
    EXPECT_EQ(rgb(315, 235), (std::vector<int>{0, 0, 0}));
    EXPECT_EQ(rgb(319, 0), (std::vector<int>{0, 0, 0}));
}

TEST(AppWindows, ResizingAWindowRunsTheDefaultResizeThenTheApplicationsResize)
{
    ScriptedApp app;
    app.quitAfterFrames = 600;
    GLint viewport[4] = {};
    Vec2i sizeInResize;
    app.onUpdate = [&] {
        if (app.getElapsedFrames() == 2) {
            app.getWindow()->setSize(Vec2i(400, 300));
        }
        if (app.getElapsedFrames() > 2 && std::count(app.log.begin(), app.log.end(), "resize") == 2) {
            sizeInResize = app.getWindowSize();
            app.quit();
        }
    };
    app.onSetup = [&] {
        app.getWindow()->getSignalResize().connect([&] { glGetIntegerv(GL_VIEWPORT, viewport); });
    };
    app.run();
    EXPECT_EQ(sizeInResize, Vec2i(400, 300));
    EXPECT_EQ(viewport[2], 400);
    EXPECT_EQ(viewport[3], 300);
}

TEST(AppWindows, FormatStyleFlagsReachTheNativeWindow)
{
    ScriptedApp app;
    int decorated = -1;
    int floating = -1;
    int resizable = -1;
    bool borderlessAfterToggle = true;
    app.onPrepareSettings = [](AppBasic::Settings* settings) {
        settings->setBorderless();
        settings->setAlwaysOnTop();
        settings->setResizable(false);
    };
    app.onSetup = [&] {
        auto* native = static_cast<GLFWwindow*>(app.getWindow()->getNative());
        decorated = glfwGetWindowAttrib(native, GLFW_DECORATED);
        floating = glfwGetWindowAttrib(native, GLFW_FLOATING);
        resizable = glfwGetWindowAttrib(native, GLFW_RESIZABLE);
        app.getWindow()->setBorderless(false);
        borderlessAfterToggle = glfwGetWindowAttrib(native, GLFW_DECORATED) == GLFW_FALSE;
    };
    app.run();
    EXPECT_EQ(decorated, GLFW_FALSE);
    EXPECT_EQ(floating, GLFW_TRUE);
    EXPECT_EQ(resizable, GLFW_FALSE);
    EXPECT_FALSE(borderlessAfterToggle);
}

TEST(AppWindows, ASizeChangeArrivingBeforeTheFirstFrameStillReachesTheApplication)
{
    // What a window manager does when it answers a full-screen request late.
    ScriptedApp app;
    app.quitAfterFrames = 600;
    Vec2i lastResize;
    GLint viewport[4] = {};
    app.onSetup = [&] {
        app.getWindow()->getSignalResize().connect([&] {
            lastResize = app.getWindowSize();
            glGetIntegerv(GL_VIEWPORT, viewport);
        });
        app.getWindow()->setSize(Vec2i(500, 400));
    };
    app.onUpdate = [&] {
        if (lastResize == Vec2i(500, 400)) {
            app.quit();
        }
    };
    app.run();
    EXPECT_EQ(lastResize, Vec2i(500, 400));
    EXPECT_EQ(viewport[2], 500);
    EXPECT_EQ(viewport[3], 400);
}

TEST(AppWindows, MovingAWindowUpdatesItsPositionAndEmitsMove)
{
    ScriptedApp app;
    app.quitAfterFrames = 600;
    int moves = 0;
    Vec2i posInMove;
    app.onSetup = [&] {
        app.getWindow()->getSignalMove().connect([&] {
            ++moves;
            posInMove = app.getWindow()->getPos();
        });
    };
    app.onUpdate = [&] {
        if (app.getElapsedFrames() == 2) {
            app.setWindowPos(Vec2i(100, 120));
        }
        if (posInMove == Vec2i(100, 120)) {
            app.quit();
        }
    };
    app.run();
    EXPECT_GE(moves, 1);
    EXPECT_EQ(posInMove, Vec2i(100, 120));
}
