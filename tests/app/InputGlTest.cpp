// Real input through the X server: xdotool presses keys and moves the mouse over the
// test's own window, and the application's handlers see the translated events.
#include "ShellRun.h"
#include "TestApps.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <stdexcept>

using namespace mirvo;
using namespace mirvo::app;
using namespace mirvo::app::test;

namespace {

// Frames to wait for the X server's events before giving up.
constexpr std::uint32_t kInputPatienceFrames = 600;

bool hasKey(const std::vector<KeyEvent>& keys, int code)
{
    return std::any_of(keys.begin(), keys.end(), [code](const KeyEvent& e) { return e.getCode() == code; });
}

void runXdotool(const std::string& arguments)
{
    ASSERT_EQ(runScript("xdotool " + arguments), 0) << arguments;
}

} // namespace

TEST(Input, KeysArriveTranslatedWithTheirModifiers)
{
    ScriptedApp app;
    app.quitAfterFrames = kInputPatienceFrames;
    app.onUpdate = [&] {
        if (app.getElapsedFrames() == 3) {
            runXdotool("key alt+Right shift space shift+t");
        }
        if (app.getElapsedFrames() > 3 && hasKey(app.keysUp, KeyEvent::KEY_t)) {
            app.quit();
        }
    };
    app.run();

    auto right = std::find_if(app.keysDown.begin(), app.keysDown.end(),
                              [](const KeyEvent& e) { return e.getCode() == KeyEvent::KEY_RIGHT; });
    ASSERT_NE(right, app.keysDown.end());
    EXPECT_EQ(right->getCode(), 275);
    EXPECT_TRUE(right->getModifiers() & 0x10);
    EXPECT_TRUE(right->isAltDown());
    ASSERT_NE(right->getWindow(), nullptr) << "events name their window";
    EXPECT_FALSE(right->getWindow()->isValid()) << "the window was closed at shutdown";

    // Shift alone: a key down with the Shift flag, then a key up without it, both with
    // Shift's own native code.
    auto shiftDown = std::find_if(app.keysDown.begin(), app.keysDown.end(),
                                  [](const KeyEvent& e) { return e.getCode() == KeyEvent::KEY_LSHIFT; });
    auto shiftUp = std::find_if(app.keysUp.begin(), app.keysUp.end(),
                                [](const KeyEvent& e) { return e.getCode() == KeyEvent::KEY_LSHIFT; });
    ASSERT_NE(shiftDown, app.keysDown.end());
    ASSERT_NE(shiftUp, app.keysUp.end());
    EXPECT_EQ(shiftDown->getNativeKeyCode(), shiftUp->getNativeKeyCode());
    EXPECT_TRUE(shiftDown->isShiftDown());
    EXPECT_FALSE(shiftUp->isShiftDown());

    auto space = std::find_if(app.keysDown.begin(), app.keysDown.end(),
                              [](const KeyEvent& e) { return e.getCode() == KeyEvent::KEY_SPACE; });
    ASSERT_NE(space, app.keysDown.end());
    EXPECT_EQ(space->getChar(), ' ');
    EXPECT_EQ(space->getCharUtf32(), 32u);
    EXPECT_EQ(space->getModifiers(), 0u);

    // Shift applies to the characters but not to the key code.
    auto t = std::find_if(app.keysDown.begin(), app.keysDown.end(),
                          [](const KeyEvent& e) { return e.getCode() == KeyEvent::KEY_t; });
    ASSERT_NE(t, app.keysDown.end());
    EXPECT_EQ(t->getChar(), 'T');
    EXPECT_EQ(t->getCharUtf32(), std::uint32_t('T'));
    EXPECT_TRUE(t->isShiftDown());
}

TEST(Input, AHandledKeyStopsAtTheSlot)
{
    ScriptedApp app;
    app.quitAfterFrames = kInputPatienceFrames;
    int slotSaw = 0;
    app.onSetup = [&] {
        app.getWindow()->getSignalKeyDown().connect([&](KeyEvent& event) {
            ++slotSaw;
            if (event.getCode() == KeyEvent::KEY_t) {
                event.setHandled();
            }
        });
    };
    app.onUpdate = [&] {
        if (app.getElapsedFrames() == 3) {
            runXdotool("key t u");
        }
        if (app.getElapsedFrames() > 3 && hasKey(app.keysUp, KeyEvent::KEY_u)) {
            app.quit();
        }
    };
    app.run();
    EXPECT_EQ(slotSaw, 2);
    EXPECT_FALSE(hasKey(app.keysDown, KeyEvent::KEY_t));
    EXPECT_TRUE(hasKey(app.keysDown, KeyEvent::KEY_u));
    EXPECT_TRUE(hasKey(app.keysUp, KeyEvent::KEY_t)) << "only the key down was handled";
}

TEST(Input, ADragCarriesItsButtonAndAWheelNotchIsAQuarter)
{
    ScriptedApp app;
    app.quitAfterFrames = kInputPatienceFrames;
    auto seen = [&](const std::string& kind) {
        return std::any_of(app.mouse.begin(), app.mouse.end(),
                           [&](const auto& m) { return m.first == kind; });
    };
    app.onUpdate = [&] {
        if (app.getElapsedFrames() == 3) {
            const Vec2i origin = app.getWindow()->getPos();
            auto at = [&](int x, int y) {
                return std::to_string(origin.x + x) + " " + std::to_string(origin.y + y);
            };
            runXdotool("mousemove " + at(50, 60) + " mousedown 1 mousemove " + at(80, 90) +
                       " mouseup 1 click 4");
        }
        if (app.getElapsedFrames() > 3 && seen("wheel")) {
            app.quit();
        }
    };
    app.run();

    auto find = [&](const std::string& kind) {
        return std::find_if(app.mouse.begin(), app.mouse.end(),
                            [&](const auto& m) { return m.first == kind; });
    };
    auto down = find("down");
    auto drag = find("drag");
    auto wheel = find("wheel");
    ASSERT_NE(down, app.mouse.end());
    ASSERT_NE(drag, app.mouse.end());
    ASSERT_NE(wheel, app.mouse.end());
    EXPECT_EQ(down->second.getPos(), Vec2i(50, 60)) << "points from the top-left corner";
    EXPECT_EQ(down->second.getInitiator(), 1);
    EXPECT_EQ(drag->second.getInitiator(), 1);
    EXPECT_TRUE(drag->second.getModifiers() & 0x0001);
    EXPECT_EQ(drag->second.getPos(), Vec2i(80, 90));
    EXPECT_FLOAT_EQ(wheel->second.getWheelIncrement(), 0.25f);
    EXPECT_EQ(wheel->second.getInitiator(), 0);
}

TEST(Input, ControlQAsksTheShouldQuitQueryInsteadOfReachingTheApplication)
{
    ScriptedApp app;
    app.quitAfterFrames = kInputPatienceFrames;
    int asked = 0;
    app.getSignalShouldQuit().connect([&] {
        ++asked;
        return true;
    });
    app.onUpdate = [&] {
        if (app.getElapsedFrames() == 3) {
            runXdotool("key ctrl+q");
        }
    };
    app.run();
    EXPECT_LT(app.getElapsedFrames(), kInputPatienceFrames);
    EXPECT_GE(asked, 1);
    EXPECT_FALSE(hasKey(app.keysDown, KeyEvent::KEY_q));
}

namespace {

class ThrowingKeyApp : public ScriptedApp {
  public:
    void keyDown(KeyEvent event) override { throw std::runtime_error("from keyDown"); }
};

} // namespace

TEST(Input, AnExceptionFromAnEventHandlerLeavesLaunchLikeOneFromUpdate)
{
    ThrowingKeyApp app;
    app.quitAfterFrames = kInputPatienceFrames;
    app.onUpdate = [&] {
        if (app.getElapsedFrames() == 3) {
            runXdotool("key x");
        }
    };
    EXPECT_THROW(app.run(), std::runtime_error);
    EXPECT_LT(app.getElapsedFrames(), kInputPatienceFrames);
}
