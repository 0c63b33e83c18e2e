// Kiosk full screen: the window covers its display at the display's own mode, and
// leaving restores the size and position it had before.
#include "TestApps.h"

#include <epoxy/gl.h>

#include <gtest/gtest.h>

using namespace mirvo;
using namespace mirvo::app;
using mirvo::app::test::ScriptedApp;

TEST(FullScreen, StartingFullScreenCoversTheMainDisplayBeforeSetup)
{
    ScriptedApp app;
    app.onPrepareSettings = [](AppBasic::Settings* settings) { settings->setFullScreen(true); };
    Vec2i sizeInSetup;
    Vec2i displaySize;
    bool fullScreen = false;
    GLint viewport[4] = {};
    Vec2i sizeInResize;
    app.onSetup = [&] {
        sizeInSetup = app.getWindowSize();
        displaySize = app.getMainDisplay()->getSize();
        fullScreen = app.getWindow()->isFullScreen();
        app.getWindow()->getSignalResize().connect([&] {
            sizeInResize = app.getWindowSize();
            glGetIntegerv(GL_VIEWPORT, viewport);
        });
    };
    app.run();
    EXPECT_TRUE(fullScreen);
    EXPECT_EQ(sizeInSetup, displaySize);
    EXPECT_EQ(sizeInResize, displaySize);
    EXPECT_EQ(viewport[2], displaySize.x);
    EXPECT_EQ(viewport[3], displaySize.y);
}

TEST(FullScreen, LeavingRestoresTheWindowedSizeAndPosition)
{
    ScriptedApp app;
    app.quitAfterFrames = 1000;
    Vec2i windowedPos;
    Vec2i fullSize;
    Vec2i fullPos;
    Vec2i restoredSize;
    Vec2i restoredPos;
    Vec2i displaySize;
    int resizes = 0;
    app.onSetup = [&] {
        displaySize = app.getWindow()->getDisplay()->getSize();
        app.getWindow()->getSignalResize().connect([&] { ++resizes; });
    };
    app.onUpdate = [&] {
        const WindowRef window = app.getWindow();
        switch (app.getElapsedFrames()) {
        case 2:
            windowedPos = window->getPos();
            window->setFullScreen(true);
            window->setFullScreen(true); // already there: nothing happens
            fullSize = window->getSize();
            fullPos = window->getPos();
            break;
        case 6:
            window->setFullScreen(false);
            restoredSize = window->getSize();
            restoredPos = window->getPos();
            break;
        case 10:
            app.quit();
            break;
        default:
            break;
        }
    };
    app.run();
    EXPECT_EQ(fullSize, displaySize);
    EXPECT_EQ(fullPos, Vec2i(0, 0));
    EXPECT_EQ(restoredSize, Vec2i(320, 240));
    EXPECT_EQ(restoredPos, windowedPos);
    EXPECT_GE(resizes, 3) << "start-up, entering and leaving each resize the window";
}
