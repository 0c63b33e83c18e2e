// The panel layer's end in a running application: on the shutdown signal, while the window and
// its GL context still exist and before the window system goes; the panels released after that
// are harmless, and the panels of a later application in the same process start it again.
#include "gl/Gl.h"
#include "params/InterfaceGl.h"
#include "params/tw/TwModel.h"

#include "tests/app/TestApps.h"
#include "tests/params/LiveTextures.h"

#include <GLFW/glfw3.h>
#include <gtest/gtest.h>

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/lsan_interface.h>
#endif

#include <functional>
#include <string>
#include <vector>

namespace mirvo::params {
namespace {

const ColorA kSceneColor(0.3f, 0.3f, 0.3f, 0.4f);
const Vec2i kSceneSize(225, 200);

// Holds its own panel by value and releases it in its shutdown, as the program does.
class PanelApp : public app::test::ScriptedApp {
  public:
    void shutdown() override
    {
        ScriptedApp::shutdown();
        if (onShutdown) {
            onShutdown();
        }
    }

    InterfaceGl params;
    std::function<void()> onShutdown;
};

// The end of an application terminates the window system, which would take down the window
// another test of this program left up.
bool aTestWindowIsUp()
{
    return glfwGetCurrentContext() != nullptr;
}

std::string errorsOf(const std::function<void()>& action)
{
    testing::internal::CaptureStderr();
    action();
    return testing::internal::GetCapturedStderr();
}

// These tests end the window system inside the process, which unloads the GL driver; the
// driver's one-time allocations then belong to no loaded library, so the leak checker can
// neither attribute nor suppress them. What the application allocates meanwhile is driver work.
template <typename App> void runUnloadingTheDriver(App& app)
{
#if defined(__SANITIZE_ADDRESS__)
    __lsan::ScopedDisabler driverAllocations;
#endif
    app.run("InterfaceGlShutdownGlTest");
}

TEST(InterfaceGlShutdownGl, TheLayerEndsOnTheShutdownSignalWhileTheWindowsContextIsCurrent)
{
    if (aTestWindowIsUp()) {
        GTEST_SKIP() << "run on its own (as ctest does): it would end another test's window";
    }
    PanelApp app;
    InterfaceGlRef stars;
    float saturation = 0.5f;
    int texturesDrawing = 0;
    int texturesAtShutdown = -1;
    bool contextAtShutdown = false;
    std::string releaseErrors = "not released";
    std::vector<std::string> order;
    app.onSetup = [&] {
        app.params = InterfaceGl("Spectrum", kSceneSize, kSceneColor);
        stars = InterfaceGl::create("Stars", kSceneSize, kSceneColor);
        stars->addParam("Minimum Saturation", &saturation, "min=0.0 max=1.0 step=0.05 keyIncr=i");
        // Connected after the first panel set the layer up, so it runs after the layer's own slot.
        app.getSignalShutdown().connect([&] {
            order.push_back(tw::context() == nullptr ? "signal: layer ended" : "signal: layer live");
        });
    };
    app.onDraw = [&] {
        glClear(GL_COLOR_BUFFER_BIT);
        app.params.draw();
        stars->draw();
        texturesDrawing = test::liveTextureCount();
    };
    app.onShutdown = [&] {
        order.push_back("shutdown");
        contextAtShutdown = glfwGetCurrentContext() != nullptr;
        texturesAtShutdown = test::liveTextureCount();
        releaseErrors = errorsOf([&] { app.params = InterfaceGl(); });
    };
    runUnloadingTheDriver(app);

    EXPECT_EQ(order, (std::vector<std::string>{"signal: layer ended", "shutdown"}));
    EXPECT_TRUE(contextAtShutdown) << "the window system was still up";
    EXPECT_GT(texturesDrawing, 0);
    EXPECT_LT(texturesAtShutdown, texturesDrawing)
        << "the layer freed its font textures in the window's context";
    EXPECT_EQ(releaseErrors, "") << "the application's own panel went quietly";

    // The window system has gone now; a scene's panel may still be held.
    const std::string late = errorsOf([&] {
        stars->show();
        stars->draw();
        EXPECT_FALSE(stars->isVisible());
        stars.reset();
    });
    EXPECT_EQ(late, "");
}

TEST(InterfaceGlShutdownGl, TheNextApplicationsPanelsStartTheLayerAgain)
{
    if (aTestWindowIsUp()) {
        GTEST_SKIP() << "run on its own (as ctest does): it would end another test's window";
    }
    const int inits = tw::initCount();
    for (int run = 0; run < 2; ++run) {
        PanelApp app;
        float saturation = 0.5f;
        bool keyTaken = false;
        int texturesDrawing = 0;
        app.onSetup = [&] {
            app.params = InterfaceGl("Stars", kSceneSize, kSceneColor);
            app.params.addParam("Minimum Saturation", &saturation, "min=0.0 max=1.0 step=0.05 keyIncr=i");
        };
        app.onUpdate = [&] {
            if (app.getElapsedFrames() == 2) {
                app::KeyEvent event(app.getWindow(), 'i', 'i', 'i', 0, 0);
                app.getWindow()->emitKeyDown(event);
                keyTaken = event.isHandled();
            }
        };
        app.onDraw = [&] {
            glClear(GL_COLOR_BUFFER_BIT);
            app.params.draw();
            texturesDrawing = test::liveTextureCount();
        };
        runUnloadingTheDriver(app);

        EXPECT_EQ(tw::initCount(), inits + run + 1) << "run " << run;
        EXPECT_TRUE(keyTaken) << "run " << run;
        EXPECT_FLOAT_EQ(saturation, 0.55f) << "run " << run;
        EXPECT_GT(texturesDrawing, 0) << "run " << run << " drew its bar with a font of its own context";
        EXPECT_EQ(tw::context(), nullptr) << "run " << run;
    }
}

} // namespace
} // namespace mirvo::params
