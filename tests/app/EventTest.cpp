// Event records, the signal combiners and the path from a window's emission to the
// application's handler, driven through a window with a stand-in platform side.
#include "app/AppBasic.h"
#include "app/EventCombiner.h"
#include "app/Window.h"
#include "app/WindowImplNull.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

using namespace mirvo;
using namespace mirvo::app;

namespace {

class HandlerLogApp : public AppBasic {
  public:
    void keyDown(KeyEvent event) override
    {
        log.push_back("app keyDown " + std::to_string(event.getCode()));
        event.setHandled();
    }
    void mouseDrag(MouseEvent event) override { log.push_back("app mouseDrag"); }
    void fileDrop(FileDropEvent event) override { log.push_back("app fileDrop"); }
    void resize() override { log.push_back("app resize"); }
    void draw() override { log.push_back("app draw"); }

    std::vector<std::string> log;
};

struct WindowFixture : ::testing::Test {
    HandlerLogApp app;
    WindowImplNull impl{Vec2i{320, 200}};
    WindowRef window = Window::privateCreate(&impl, &app);
};

} // namespace

TEST(EventCombiner, StopsCallingSlotsOnceOneHandlesTheEvent)
{
    const Event* current = nullptr;
    boost::signals2::signal<void(KeyEvent&), EventCombiner<KeyEvent>> signal{
        EventCombiner<KeyEvent>(&current)};
    std::vector<int> called;
    signal.connect([&](KeyEvent&) { called.push_back(1); });
    signal.connect([&](KeyEvent& event) {
        called.push_back(2);
        event.setHandled();
    });
    signal.connect([&](KeyEvent&) { called.push_back(3); });

    KeyEvent event;
    current = &event;
    signal(event);
    EXPECT_EQ(called, (std::vector<int>{1, 2}));
    EXPECT_TRUE(event.isHandled());
}

TEST(BooleanAndEventCombiner, AnswersYesWithoutSlotsAndLetsAnySlotVeto)
{
    boost::signals2::signal<bool(), BooleanAndEventCombiner> shouldQuit;
    EXPECT_TRUE(shouldQuit());

    int asked = 0;
    shouldQuit.connect([&] {
        ++asked;
        return true;
    });
    EXPECT_TRUE(shouldQuit());
    shouldQuit.connect([&] {
        ++asked;
        return false;
    });
    shouldQuit.connect([&] {
        ++asked;
        return true;
    });
    asked = 0;
    EXPECT_FALSE(shouldQuit());
    EXPECT_EQ(asked, 3) << "every slot is asked, even after a veto";
}

TEST(FileDropEvent, GivesFilesInOrderAndThrowsPastTheEnd)
{
    FileDropEvent event(nullptr, 3, 4, {"/tmp/a b.mp3", "/tmp/c%20.ogg"});
    EXPECT_EQ(event.getNumFiles(), 2u);
    EXPECT_EQ(event.getFile(1), std::filesystem::path("/tmp/c%20.ogg"));
    EXPECT_THROW(event.getFile(2), std::out_of_range);
}

TEST(MouseEvent, ReportsButtonAndModifierFlagsFromOneWord)
{
    const MouseEvent drag(nullptr, MouseEvent::LEFT, 10, 20, Event::LEFT_DOWN | Event::ALT_DOWN, 0.0f, 0);
    EXPECT_TRUE(drag.isLeft());
    EXPECT_TRUE(drag.isLeftDown());
    EXPECT_TRUE(drag.isAltDown());
    EXPECT_FALSE(drag.isShiftDown());
    EXPECT_FALSE(drag.isRightDown());
    EXPECT_EQ(Event::SHIFT_DOWN | Event::ALT_DOWN | Event::CTRL_DOWN | Event::META_DOWN, 0x78u);
}

TEST_F(WindowFixture, HandledKeyDownDoesNotReachTheApplication)
{
    window->getSignalKeyDown().connect([&](KeyEvent& event) {
        app.log.push_back("slot " + std::to_string(event.getCode()));
        if (event.getCode() == KeyEvent::KEY_t) {
            event.setHandled();
        }
    });
    KeyEvent t(window, KeyEvent::KEY_t, 't', 't', 0, 84);
    window->emitKeyDown(t);
    KeyEvent space(window, KeyEvent::KEY_SPACE, ' ', ' ', 0, 32);
    window->emitKeyDown(space);

    EXPECT_EQ(app.log, (std::vector<std::string>{"slot 116", "slot 32", "app keyDown 32"}));
    EXPECT_FALSE(space.isHandled()) << "the application's handler works on a copy";
}

TEST_F(WindowFixture, EmissionsReachTheApplicationAfterTheSignal)
{
    window->getSignalMouseDrag().connect([&](MouseEvent&) { app.log.push_back("slot mouseDrag"); });
    window->getSignalResize().connect([&] { app.log.push_back("slot resize"); });
    window->getSignalDraw().connect([&] { app.log.push_back("slot draw"); });
    window->getSignalPostDraw().connect([&] { app.log.push_back("slot postDraw"); });

    MouseEvent drag(window, MouseEvent::LEFT, 1, 2, Event::LEFT_DOWN, 0.0f, 0);
    window->emitMouseDrag(drag);
    window->emitResize();
    window->emitDraw();
    FileDropEvent drop(window, 0, 0, {"x"});
    window->emitFileDrop(drop);

    EXPECT_EQ(app.log,
              (std::vector<std::string>{"slot mouseDrag", "app mouseDrag", "slot resize", "app resize",
                                        "slot draw", "app draw", "slot postDraw", "app fileDrop"}));
}

TEST_F(WindowFixture, ASlotEmittingAnotherEventDoesNotLoseTheOuterEvent)
{
    int outerSlotsAfterNested = 0;
    window->getSignalKeyDown().connect([&](KeyEvent& event) {
        if (event.getCode() == KeyEvent::KEY_a) {
            KeyEvent nested(window, KeyEvent::KEY_b, 'b', 'b', 0, 66);
            nested.setHandled();
            window->emitKeyDown(nested);
        }
    });
    window->getSignalKeyDown().connect([&](KeyEvent& event) {
        if (event.getCode() == KeyEvent::KEY_a) {
            ++outerSlotsAfterNested;
        }
    });
    KeyEvent a(window, KeyEvent::KEY_a, 'a', 'a', 0, 65);
    window->emitKeyDown(a);
    EXPECT_EQ(outerSlotsAfterNested, 1);
}

TEST_F(WindowFixture, EveryUseOfAReleasedWindowThrows)
{
    window->privateInvalidate();
    EXPECT_FALSE(window->isValid());
    EXPECT_THROW(window->getSize(), ExcInvalidWindow);
    EXPECT_THROW(window->setTitle("x"), ExcInvalidWindow);
    EXPECT_THROW(window->getRenderer(), ExcInvalidWindow);
    KeyEvent key(window, KeyEvent::KEY_a, 'a', 'a', 0, 65);
    EXPECT_THROW(window->emitKeyDown(key), ExcInvalidWindow);
    EXPECT_THROW(window->emitResize(), ExcInvalidWindow);
    EXPECT_TRUE(app.log.empty());
}

TEST(AppBasic, WithoutAPlatformHasNoWindowAndRefusesWindowIndices)
{
    HandlerLogApp app;
    EXPECT_EQ(App::get(), &app);
    EXPECT_EQ(app.getWindow(), nullptr);
    EXPECT_EQ(app.getNumWindows(), 0u);
    EXPECT_THROW(app.getWindowIndex(0), ExcInvalidWindow);
}
