#include "app/KeyEvent.h"
#include "app/MouseEvent.h"
#include "app/Window.h"
#include "app/WindowImplNull.h"
#include "params/InterfaceGl.h"
#include "params/tw/TwModel.h"

#include "tests/gl/GlTestContext.h"
#include "tests/params/LiveTextures.h"

#include <functional>
#include <memory>
#include <string>

namespace mirvo::params {
namespace {

constexpr int kWidth = 800;
constexpr int kHeight = 600;

// A window without a platform behind it, at a chosen content scale and pixel density.
class FakeWindowImpl : public app::WindowImplNull {
  public:
    FakeWindowImpl(float contentScale, float framebufferScale)
        : WindowImplNull({kWidth, kHeight}), mContentScale(contentScale), mFramebufferScale(framebufferScale)
    {
    }
    float getContentScale() const override { return mContentScale; }
    float getFramebufferScale() const override { return mFramebufferScale; }

  private:
    float mContentScale;
    float mFramebufferScale;
};

struct FakeWindow {
    explicit FakeWindow(float contentScale = 1.f, float framebufferScale = 1.f)
        : impl(std::make_unique<FakeWindowImpl>(contentScale, framebufferScale)),
          window(app::Window::privateCreate(impl.get(), nullptr))
    {
    }
    std::unique_ptr<FakeWindowImpl> impl;
    app::WindowRef window;
};

const ColorA kSceneColor(0.3f, 0.3f, 0.3f, 0.4f);
const Vec2i kSceneSize(225, 200);

// Where a panel's bar is, as the layer tells it.
tw::Rect barRect(const InterfaceGl& panel)
{
    TwSetCurrentWindow(panel.getTwWindowId());
    std::int32_t position[2] = {};
    std::int32_t size[2] = {};
    TwGetParam(panel.getBar(), nullptr, "position", TW_PARAM_INT32, 2, position);
    TwGetParam(panel.getBar(), nullptr, "size", TW_PARAM_INT32, 2, size);
    return {float(position[0]), float(position[1]), float(size[0]), float(size[1])};
}

std::string errorsOf(const std::function<void()>& action)
{
    testing::internal::CaptureStderr();
    action();
    return testing::internal::GetCapturedStderr();
}

class InterfaceGlGl : public ::testing::Test {
  protected:
    void SetUp() override { gl::test::sharedGlTestContext(kWidth, kHeight).resetMatrices(); }

    static bool keyDown(const app::WindowRef& window, char character, int code = 0)
    {
        app::KeyEvent event(window, code != 0 ? code : character, std::uint32_t(character), character, 0, 0);
        window->emitKeyDown(event);
        return event.isHandled();
    }
    static bool mouse(const app::WindowRef& window, void (app::Window::*emit)(app::MouseEvent&), int x, int y,
                      int initiator = 0, float wheel = 0.f, std::uint32_t modifiers = 0)
    {
        app::MouseEvent event(window, initiator, x, y, modifiers, wheel, 0);
        (window.get()->*emit)(event);
        return event.isHandled();
    }
};

TEST_F(InterfaceGlGl, PanelsInOneWindowShareOneWindowIdAndOneInitialisation)
{
    const bool layerExisted = tw::context() != nullptr;
    const int initsBefore = tw::initCount();
    FakeWindow first;
    InterfaceGl spectrum(first.window, "Spectrum", kSceneSize, kSceneColor);
    InterfaceGlRef stars = InterfaceGl::create(first.window, "Stars", kSceneSize, kSceneColor);
    EXPECT_EQ(spectrum.getTwWindowId(), stars->getTwWindowId());
    EXPECT_EQ(tw::initCount(), initsBefore + (layerExisted ? 0 : 1));

    FakeWindow second;
    InterfaceGl other(second.window, "Spectrum", kSceneSize, kSceneColor);
    EXPECT_NE(other.getTwWindowId(), spectrum.getTwWindowId()) << "another window, another id";
    EXPECT_EQ(tw::initCount(), initsBefore + (layerExisted ? 0 : 1));
}

TEST_F(InterfaceGlGl, TheDefinitionQuotesATitleWithSpacesAndGivesColoursOutOf255)
{
    FakeWindow window;
    std::int32_t levels = 6;
    InterfaceGl panel(window.window, "Fractal Tree Settings", kSceneSize, kSceneColor);
    TwBar* bar = panel.getBar();
    ASSERT_NE(bar, nullptr);
    EXPECT_STREQ(TwGetBarName(bar), "Fractal Tree Settings");
    const tw::Rect rect = barRect(panel);
    EXPECT_EQ(rect.width, 225);
    EXPECT_EQ(rect.height, 200);
    std::int32_t color[3] = {};
    ASSERT_EQ(TwGetParam(bar, nullptr, "color", TW_PARAM_INT32, 3, color), 3);
    EXPECT_EQ(color[0], 76);
    EXPECT_EQ(color[1], 76);
    EXPECT_EQ(color[2], 76);
    std::int32_t alpha = 0;
    ASSERT_EQ(TwGetParam(bar, nullptr, "alpha", TW_PARAM_INT32, 1, &alpha), 1);
    EXPECT_EQ(alpha, 102);

    // Options name the bar by its title, quoted the same way.
    panel.addParam("Max Levels", &levels, "min=1 max=10");
    panel.setOptions("Max Levels", "max=12");
    double max = 0;
    ASSERT_EQ(TwGetParam(bar, "Max Levels", "max", TW_PARAM_DOUBLE, 1, &max), 1);
    EXPECT_EQ(max, 12.0);
}

TEST_F(InterfaceGlGl, AShortcutKeyIsHandledOnlyWhileItsPanelIsVisibleAndUsesIt)
{
    FakeWindow window;
    InterfaceGl panel(window.window, "Stars", kSceneSize, kSceneColor);
    float saturation = 0.5f;
    // A literal option string must not be read as the read-only flag.
    panel.addParam("Minimum Saturation", &saturation, "min=0.0 max=1.0 step=0.05 keyIncr=i keyDecr=k");

    EXPECT_TRUE(keyDown(window.window, 'i'));
    EXPECT_FLOAT_EQ(saturation, 0.55f);
    EXPECT_FALSE(keyDown(window.window, 't')) << "a key no panel uses reaches the application";

    panel.hide();
    EXPECT_FALSE(panel.isVisible());
    EXPECT_FALSE(keyDown(window.window, 'i'));
    EXPECT_FLOAT_EQ(saturation, 0.55f);

    panel.show();
    EXPECT_TRUE(panel.isVisible());
    EXPECT_TRUE(keyDown(window.window, 'k'));
    EXPECT_FLOAT_EQ(saturation, 0.5f);
    panel.show(false);
    EXPECT_FALSE(panel.isVisible());
}

TEST_F(InterfaceGlGl, MouseEventsOverAPanelAreHandledAndTheRestPassThrough)
{
    FakeWindow window;
    InterfaceGl panel(window.window, "Spectrum", kSceneSize, kSceneColor);
    std::int32_t startIdx = 1;
    panel.addParam("Start Idx", &startIdx, "min=1 max=512 step=10");
    glClear(GL_COLOR_BUFFER_BIT);
    panel.draw();

    const tw::Rect control = panel.getBar()->findVar("Start Idx")->drawnRect;
    const int x = int(control.x + control.width / 2);
    const int y = int(control.y + control.height / 2);
    EXPECT_TRUE(mouse(window.window, &app::Window::emitMouseMove, x, y));
    panel.draw();
    EXPECT_TRUE(mouse(window.window, &app::Window::emitMouseDown, x, y, app::MouseEvent::LEFT));
    panel.draw();
    EXPECT_TRUE(mouse(window.window, &app::Window::emitMouseDrag, x + 3, y, app::MouseEvent::LEFT));
    panel.draw();
    EXPECT_TRUE(mouse(window.window, &app::Window::emitMouseUp, x + 3, y, app::MouseEvent::LEFT));
    EXPECT_EQ(startIdx, 31);

    EXPECT_FALSE(mouse(window.window, &app::Window::emitMouseMove, kWidth - 5, kHeight - 5));
    EXPECT_FALSE(
        mouse(window.window, &app::Window::emitMouseDown, kWidth - 5, kHeight - 5, app::MouseEvent::LEFT));
    EXPECT_FALSE(
        mouse(window.window, &app::Window::emitMouseUp, kWidth - 5, kHeight - 5, app::MouseEvent::LEFT));
}

TEST_F(InterfaceGlGl, TheWheelPositionIsOneSumOverAllPanels)
{
    FakeWindow window;
    InterfaceGl spectrum(window.window, "Spectrum", kSceneSize, kSceneColor);
    InterfaceGl stars(window.window, "Stars", kSceneSize, kSceneColor);
    glClear(GL_COLOR_BUFFER_BIT);
    spectrum.draw();
    const tw::Rect area = barRect(stars);
    ASSERT_GT(area.width, 0);
    mouse(window.window, &app::Window::emitMouseMove, int(area.x + 10), int(area.y + 10));

    const int before = tw::context()->windows.at(stars.getTwWindowId()).wheelPos;
    for (int notch = 0; notch < 3; ++notch) {
        EXPECT_TRUE(
            mouse(window.window, &app::Window::emitMouseWheel, int(area.x + 10), int(area.y + 10), 0, 1.f));
    }
    EXPECT_EQ(tw::context()->windows.at(stars.getTwWindowId()).wheelPos, before + 3);
}

TEST_F(InterfaceGlGl, OnADoubleDensityDisplayTheFirstPanelScalesFontsAndThePixelSize)
{
    if (tw::context() != nullptr) {
        GTEST_SKIP() << "the layer was set up by an earlier test in this process";
    }
    FakeWindow window(2.f, 2.f);
    InterfaceGl panel(window.window, "Spectrum", kSceneSize, kSceneColor);
    EXPECT_EQ(tw::context()->fontScaling, 2.f);
    const tw::Window& twWindow = tw::context()->windows.at(panel.getTwWindowId());
    EXPECT_EQ(twWindow.width, 2 * kWidth);
    EXPECT_EQ(twWindow.height, 2 * kHeight);

    window.impl->setSize(Vec2i(400, 300));
    window.window->emitResize();
    EXPECT_EQ(twWindow.width, 800);
    EXPECT_EQ(twWindow.height, 600);
}

// An X11 HiDPI screen: twice the dots per inch, but a point is still a pixel.
TEST_F(InterfaceGlGl, AContentScaleAbovePixelDensityEnlargesThePanelsAndNotThePointer)
{
    if (tw::context() != nullptr) {
        GTEST_SKIP() << "the layer was set up by an earlier test in this process";
    }
    FakeWindow window(2.f, 1.f);
    InterfaceGl panel(window.window, "Spectrum", kSceneSize, kSceneColor);
    bool flag = false;
    panel.addParam("Display Spectrum", &flag);
    EXPECT_EQ(tw::context()->fontScaling, 2.f);
    const tw::Window& twWindow = tw::context()->windows.at(panel.getTwWindowId());
    EXPECT_EQ(twWindow.width, kWidth) << "the layer works in the window's own pixels";

    glClear(GL_COLOR_BUFFER_BIT);
    panel.draw();
    const tw::Rect bar = barRect(panel);
    EXPECT_EQ(bar.width, 2 * kSceneSize.x);
    EXPECT_EQ(bar.height, 2 * kSceneSize.y);
    const tw::Rect box = panel.getBar()->findVar("Display Spectrum")->drawnRect;
    EXPECT_GE(box.height, 2 * 13.f) << "a row holds the doubled font";

    // The pointer lands where the box was drawn, unscaled.
    const int x = int(box.x + box.height / 2);
    const int y = int(box.y + box.height / 2);
    EXPECT_TRUE(mouse(window.window, &app::Window::emitMouseMove, x, y));
    panel.draw();
    EXPECT_TRUE(mouse(window.window, &app::Window::emitMouseDown, x, y, app::MouseEvent::LEFT));
    panel.draw();
    EXPECT_TRUE(mouse(window.window, &app::Window::emitMouseUp, x, y, app::MouseEvent::LEFT));
    panel.draw();
    panel.draw();
    EXPECT_TRUE(flag);
}

TEST_F(InterfaceGlGl, AFractionalContentScaleKeepsItsQuarterSteps)
{
    if (tw::context() != nullptr) {
        GTEST_SKIP() << "the layer was set up by an earlier test in this process";
    }
    FakeWindow window(1.5f, 1.f);
    InterfaceGl panel(window.window, "Spectrum", kSceneSize, kSceneColor);
    EXPECT_EQ(tw::context()->fontScaling, 1.5f);
}

TEST_F(InterfaceGlGl, AScaleCloseToOneLeavesTheFontAlone)
{
    if (tw::context() != nullptr) {
        GTEST_SKIP() << "the layer was set up by an earlier test in this process";
    }
    FakeWindow window(1.08f, 1.f); // 104 dots per inch
    InterfaceGl panel(window.window, "Spectrum", kSceneSize, kSceneColor);
    EXPECT_EQ(tw::context()->fontScaling, 1.f);
}

// Control with a click opens a value's text field, which only works when the click's
// modifiers reach the panel.
TEST_F(InterfaceGlGl, TheModifiersOfAClickReachThePanel)
{
    FakeWindow window;
    InterfaceGl panel(window.window, "Spectrum", kSceneSize, kSceneColor);
    float gain = 50.f;
    panel.addParam("Visual Gain", &gain, "min=0.01 max=100000.0 step=0.05");
    glClear(GL_COLOR_BUFFER_BIT);
    panel.draw();
    const tw::Rect field = panel.getBar()->findVar("Visual Gain")->drawnRect;
    const int x = int(field.x + field.width / 2);
    const int y = int(field.y + field.height / 2);
    const std::uint32_t control = app::Event::CTRL_DOWN;

    mouse(window.window, &app::Window::emitMouseMove, x, y, 0, 0.f, control);
    panel.draw();
    mouse(window.window, &app::Window::emitMouseDown, x, y, app::MouseEvent::LEFT, 0.f,
          control | app::Event::LEFT_DOWN);
    panel.draw();
    mouse(window.window, &app::Window::emitMouseUp, x, y, app::MouseEvent::LEFT, 0.f, control);
    panel.draw();
    mouse(window.window, &app::Window::emitMouseMove, x, y);
    panel.draw();
    EXPECT_TRUE(keyDown(window.window, '5')) << "the field is open and takes the key";
    panel.draw();
    keyDown(window.window, '\r', app::KeyEvent::KEY_RETURN);
    panel.draw();
    panel.draw();
    EXPECT_FLOAT_EQ(gain, 5.f);
}

TEST_F(InterfaceGlGl, EveryPanelDrawingInOneFrameShowsTheBarsBlendedOnce)
{
    FakeWindow window;
    InterfaceGl spectrum(window.window, "Spectrum", kSceneSize, kSceneColor);
    InterfaceGl stars(window.window, "Stars", kSceneSize, kSceneColor);
    auto& context = gl::test::sharedGlTestContext(kWidth, kHeight);
    const auto backgroundAfter = [&](int draws) {
        glClearColor(0, 0, 0, 1);
        glClear(GL_COLOR_BUFFER_BIT);
        window.window->emitDraw();
        for (int i = 0; i < draws; ++i) {
            (i % 2 == 0 ? spectrum : stars).draw();
        }
        const tw::Rect bar = barRect(spectrum);
        return context.pixel(int(bar.x + bar.width / 2), int(bar.y + bar.height - 20));
    };
    const gl::test::Rgba8 once = backgroundAfter(1);
    EXPECT_NEAR(once.r, 76 * 0.4, 3) << "the bar's colour at its alpha over black";
    EXPECT_EQ(backgroundAfter(4), once);
}

// Panels in windows of no application end with terminatePanels, and the window outlives it.
TEST_F(InterfaceGlGl, AfterTheLayerEndsItsPanelsDoNothingAndALaterPanelStartsItAgain)
{
    FakeWindow window;
    float saturation = 0.5f;
    InterfaceGlRef stars = InterfaceGl::create(window.window, "Stars", kSceneSize, kSceneColor);
    stars->addParam("Minimum Saturation", &saturation, "min=0.0 max=1.0 step=0.05 keyIncr=i");
    glClear(GL_COLOR_BUFFER_BIT);
    stars->draw();
    const int texturesDrawing = test::liveTextureCount();
    const int inits = tw::initCount();

    terminatePanels();
    EXPECT_EQ(tw::context(), nullptr);
    EXPECT_LT(test::liveTextureCount(), texturesDrawing) << "its font texture went with it";
    const std::string quiet = errorsOf([&] {
        EXPECT_FALSE(keyDown(window.window, 'i'));
        stars->show();
        stars->draw();
        EXPECT_FALSE(stars->isVisible());
        stars->setOptions("Minimum Saturation", "max=0.9");
        mouse(window.window, &app::Window::emitMouseMove, 30, 30);
    });
    EXPECT_EQ(quiet, "") << "an ended panel does not call into the layer";
    EXPECT_FLOAT_EQ(saturation, 0.5f);

    // The same title again: the old bar is nothing to the new layer, and releasing the old
    // panel must not take the new bar with it.
    float gain = 1.f;
    InterfaceGl again(window.window, "Stars", kSceneSize, kSceneColor);
    EXPECT_EQ(tw::initCount(), inits + 1);
    EXPECT_EQ(again.getTwWindowId(), stars->getTwWindowId()) << "the window keeps its id";
    again.addParam("Gain", &gain, "step=1 keyIncr=i");
    EXPECT_EQ(errorsOf([&] { stars.reset(); }), "");
    EXPECT_TRUE(again.isVisible());
    EXPECT_TRUE(keyDown(window.window, 'i'));
    EXPECT_FLOAT_EQ(gain, 2.f);
    EXPECT_FLOAT_EQ(saturation, 0.5f);
}

} // namespace
} // namespace mirvo::params
