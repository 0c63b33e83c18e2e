#include "gl/Gl.h"
#include "params/tw/Tw.h"
#include "params/tw/TwModel.h"

#include "tests/gl/GlTestContext.h"

#include <initializer_list>
#include <memory>
#include <string>
#include <utility>

namespace mirvo::params {
namespace {

constexpr int kWidth = 800;
constexpr int kHeight = 600;
// Bars without a position start this far from the top-left corner.
constexpr int kMargin = 16;
// Away from the ids panels give their windows.
constexpr int kWindowId = 7;

class TwGl : public ::testing::Test {
  protected:
    void SetUp() override
    {
        gl::test::sharedGlTestContext(kWidth, kHeight).resetMatrices();
        // Panels made by other tests of this program may have set the layer up already.
        mOwnsLayer = tw::context() == nullptr;
        if (mOwnsLayer) {
            ASSERT_EQ(TwInit(TW_OPENGL, nullptr), 1);
        }
        TwSetCurrentWindow(kWindowId);
        TwWindowSize(kWidth, kHeight);
        mBar = TwNewBar("Spectrum");
        TwDefine("`Spectrum` size='225 200' color='76 76 76' alpha=102");
        TwAddVarRW(mBar, "Start Idx", TW_TYPE_INT32, &mStartIdx, "min=1 max=512 step=10");
        TwAddVarRW(mBar, "End Idx", TW_TYPE_INT32, &mEndIdx, "min=1 max=512 step=10");
        TwAddVarRW(mBar, "Visual Gain", TW_TYPE_FLOAT, &mVisualGain, "min=0.01 max=100000.0 step=0.05");
        TwAddVarRW(mBar, "Display Spectrum", TW_TYPE_BOOLCPP, &mDisplaySpectrum, nullptr);
    }
    void TearDown() override
    {
        TwSetCurrentWindow(kWindowId);
        TwDeleteBar(mBar);
        if (mOwnsLayer) {
            TwTerminate();
        }
    }

    static void frame()
    {
        glClearColor(0, 0, 0, 1);
        glClear(GL_COLOR_BUFFER_BIT);
        TwDraw();
    }

    // The smallest rectangle holding every pixel that is not black.
    static tw::Rect drawnBounds()
    {
        std::vector<std::uint8_t> pixels(std::size_t(kWidth) * kHeight * 4);
        glFinish();
        glReadBuffer(GL_BACK);
        glPixelStorei(GL_PACK_ALIGNMENT, 1);
        glReadPixels(0, 0, kWidth, kHeight, GL_RGBA, GL_UNSIGNED_BYTE, pixels.data());
        int left = kWidth, right = -1, top = kHeight, bottom = -1;
        for (int row = 0; row < kHeight; ++row) {
            for (int x = 0; x < kWidth; ++x) {
                const std::uint8_t* p = &pixels[(std::size_t(row) * kWidth + x) * 4];
                if (p[0] + p[1] + p[2] == 0) {
                    continue;
                }
                const int y = kHeight - 1 - row;
                left = std::min(left, x);
                right = std::max(right, x);
                top = std::min(top, y);
                bottom = std::max(bottom, y);
            }
        }
        if (right < 0) {
            return {};
        }
        return {float(left), float(top), float(right - left + 1), float(bottom - top + 1)};
    }

    static void moveTo(float x, float y) { TwMouseMotion(int(x), int(y)); }

    void setVisible(bool visible)
    {
        const int value = visible ? 1 : 0;
        TwSetParam(mBar, nullptr, "visible", TW_PARAM_INT32, 1, &value);
    }

    static void click()
    {
        TwMouseButton(TW_MOUSE_PRESSED, TW_MOUSE_LEFT);
        TwMouseButton(TW_MOUSE_RELEASED, TW_MOUSE_LEFT);
    }

    // The middle of a control as the last frame drew it.
    tw::Rect controlOf(const char* name) const { return mBar->findVar(name)->drawnRect; }
    static float midX(const tw::Rect& r) { return r.x + r.width / 2; }
    static float midY(const tw::Rect& r) { return r.y + r.height / 2; }

    // Opens the text field of a value with a double click, its text all selected.
    void startEditing(const char* name)
    {
        frame();
        const tw::Rect field = controlOf(name);
        moveTo(midX(field), midY(field));
        frame();
        for (int press = 0; press < 2; ++press) {
            TwMouseButton(TW_MOUSE_PRESSED, TW_MOUSE_LEFT);
            frame();
            TwMouseButton(TW_MOUSE_RELEASED, TW_MOUSE_LEFT);
            frame();
        }
        frame();
    }

    // Keys for an open text field, one frame each, then Return.
    static void typeAndEnter(std::initializer_list<std::pair<int, int>> keys)
    {
        for (const auto& [key, modifiers] : keys) {
            EXPECT_EQ(TwKeyPressed(key, modifiers), 1) << "key " << key << " taken by the text field";
            frame();
        }
        TwKeyPressed(TW_KEY_RETURN, 0);
        frame();
        frame();
    }

    bool mOwnsLayer = false;
    TwBar* mBar = nullptr;
    int mStartIdx = 1;
    int mEndIdx = 511;
    float mVisualGain = 50.f;
    bool mDisplaySpectrum = false;
};

TEST_F(TwGl, ABarAppearsWhereAndAsLargeAsItsDefinitionSays)
{
    frame();
    const tw::Rect bounds = drawnBounds();
    EXPECT_EQ(bounds.x, kMargin);
    EXPECT_EQ(bounds.y, kMargin);
    EXPECT_EQ(bounds.width, 225);
    EXPECT_EQ(bounds.height, 200);
    const auto geometry = [this] {
        std::int32_t position[2] = {};
        std::int32_t size[2] = {};
        EXPECT_EQ(TwGetParam(mBar, nullptr, "position", TW_PARAM_INT32, 2, position), 2);
        EXPECT_EQ(TwGetParam(mBar, nullptr, "size", TW_PARAM_INT32, 2, size), 2);
        return tw::Rect{float(position[0]), float(position[1]), float(size[0]), float(size[1])};
    };
    const tw::Rect asked = geometry();
    EXPECT_EQ(asked.x, kMargin) << "the place the layer chose";
    EXPECT_EQ(asked.width, 225);

    TwDefine("Spectrum position='300 100' size='250 150'");
    frame();
    const tw::Rect moved = drawnBounds();
    EXPECT_EQ(moved.x, 300);
    EXPECT_EQ(moved.y, 100);
    EXPECT_EQ(moved.width, 250);
    EXPECT_EQ(moved.height, 150);
    const tw::Rect askedAgain = geometry();
    EXPECT_EQ(askedAgain.x, 300);
    EXPECT_EQ(askedAgain.y, 100);
    EXPECT_EQ(askedAgain.height, 150);
}

TEST_F(TwGl, DrawingLeavesTheScenesGlStateAsItWas)
{
    GLuint buffer = 0;
    glGenBuffers(1, &buffer);
    glBindBuffer(GL_ARRAY_BUFFER, buffer);
    glColor4f(0.25f, 0.5f, 0.75f, 1.f);
    glEnable(GL_DEPTH_TEST);

    frame();

    GLint bound = 0;
    glGetIntegerv(GL_ARRAY_BUFFER_BINDING, &bound);
    EXPECT_EQ(GLuint(bound), buffer);
    GLfloat color[4];
    glGetFloatv(GL_CURRENT_COLOR, color);
    EXPECT_FLOAT_EQ(color[1], 0.5f);
    EXPECT_EQ(glIsEnabled(GL_DEPTH_TEST), GL_TRUE);
    GLint viewport[4];
    glGetIntegerv(GL_VIEWPORT, viewport);
    EXPECT_EQ(viewport[2], kWidth);
    GLfloat projection[16];
    glGetFloatv(GL_PROJECTION_MATRIX, projection);
    EXPECT_FLOAT_EQ(projection[0], 2.f / kWidth) << "the projection matrix is restored";

    glBindBuffer(GL_ARRAY_BUFFER, 0);
    glDeleteBuffers(1, &buffer);
    glDisable(GL_DEPTH_TEST);
}

TEST_F(TwGl, AMouseDragOnAnIntControlChangesItWithinItsBounds)
{
    frame();
    const tw::Rect control = mBar->findVar("Start Idx")->drawnRect;
    ASSERT_GT(control.width, 0);
    const float x = control.x + control.width / 2;
    const float y = control.y + control.height / 2;

    EXPECT_EQ(TwMouseMotion(int(x), int(y)), 1);
    frame();
    EXPECT_EQ(TwMouseButton(TW_MOUSE_PRESSED, TW_MOUSE_LEFT), 1);
    frame();
    moveTo(x + 5, y);
    frame();
    EXPECT_EQ(mStartIdx, 51) << "five notches of 10";

    moveTo(x + 400, y);
    frame();
    EXPECT_EQ(mStartIdx, 512) << "stops at max";
    moveTo(x - 300, y);
    frame();
    EXPECT_EQ(mStartIdx, 1) << "stops at min";

    EXPECT_EQ(TwMouseButton(TW_MOUSE_RELEASED, TW_MOUSE_LEFT), 1) << "the release belongs to the bar";
    frame();
    EXPECT_EQ(TwMouseMotion(kWidth - 10, kHeight - 10), 0);
}

TEST_F(TwGl, AQuickClickBetweenTwoFramesTogglesACheckbox)
{
    frame();
    const tw::Rect box = mBar->findVar("Display Spectrum")->drawnRect;
    moveTo(box.x + box.height / 2, box.y + box.height / 2);
    frame();
    TwMouseButton(TW_MOUSE_PRESSED, TW_MOUSE_LEFT);
    TwMouseButton(TW_MOUSE_RELEASED, TW_MOUSE_LEFT);
    frame();
    frame();
    EXPECT_TRUE(mDisplaySpectrum);
}

TEST_F(TwGl, ADoubleClickedValueTakesTypedTextAndKeysDoNotFireShortcutsMeanwhile)
{
    float radius = 10.f;
    TwAddVarRW(mBar, "Radius", TW_TYPE_FLOAT, &radius, "min=1 max=1000 step=1 keyIncr=q");
    frame();
    const tw::Rect field = mBar->findVar("Radius")->drawnRect;
    moveTo(field.x + field.width / 2, field.y + field.height / 2);
    frame();
    for (int click = 0; click < 2; ++click) {
        TwMouseButton(TW_MOUSE_PRESSED, TW_MOUSE_LEFT);
        frame();
        TwMouseButton(TW_MOUSE_RELEASED, TW_MOUSE_LEFT);
        frame();
    }
    frame();

    // Ctrl+A is no text; the next keys replace what is there.
    EXPECT_EQ(TwKeyPressed('a', TW_KMOD_CTRL), 1);
    for (int i = 0; i < 8; ++i) {
        EXPECT_EQ(TwKeyPressed(TW_KEY_BACKSPACE, 0), 1);
    }
    // A key pressed again needs a frame up in between.
    for (int i = 0; i < 16; ++i) {
        frame();
    }
    for (const char key : std::string("2q5")) {
        EXPECT_EQ(TwKeyPressed(key, 0), 1) << "taken by the text field";
        frame();
    }
    EXPECT_EQ(TwKeyPressed(TW_KEY_RETURN, 0), 1);
    frame();
    frame();
    EXPECT_FLOAT_EQ(radius, 25.f) << "the q was typed, not used as a shortcut";

    EXPECT_EQ(TwKeyPressed('q', 0), 1);
    EXPECT_FLOAT_EQ(radius, 26.f) << "after Return, q is a shortcut again";
}

TEST_F(TwGl, AHiddenBarIsNotDrawnOrHitAndShowingItRestoresIt)
{
    frame();
    const tw::Rect shown = drawnBounds();

    const int hidden = 0;
    TwSetParam(mBar, nullptr, "visible", TW_PARAM_INT32, 1, &hidden);
    frame();
    EXPECT_EQ(drawnBounds().width, 0);
    EXPECT_EQ(TwMouseMotion(100, 100), 0);

    const int visible = 1;
    TwSetParam(mBar, nullptr, "visible", TW_PARAM_INT32, 1, &visible);
    frame();
    const tw::Rect again = drawnBounds();
    EXPECT_EQ(again.x, shown.x);
    EXPECT_EQ(again.y, shown.y);
    EXPECT_EQ(again.width, shown.width);
    EXPECT_EQ(again.height, shown.height);
}

TEST_F(TwGl, PointerInputWhileTheBarIsHiddenIsNotKeptForWhenItShowsAgain)
{
    frame();
    const tw::Rect box = controlOf("Display Spectrum");
    const tw::Rect drag = controlOf("Start Idx");

    setVisible(false);
    frame();
    // Two clicks: a bar coming back misses the first input of its first frame anyway.
    moveTo(box.x + box.height / 2, midY(box));
    EXPECT_EQ(TwMouseButton(TW_MOUSE_PRESSED, TW_MOUSE_LEFT), 0) << "a hidden bar takes no click";
    EXPECT_EQ(TwMouseButton(TW_MOUSE_RELEASED, TW_MOUSE_LEFT), 0);
    click();
    moveTo(midX(drag), midY(drag));
    TwMouseButton(TW_MOUSE_PRESSED, TW_MOUSE_LEFT);
    moveTo(midX(drag) + 30, midY(drag));
    TwMouseButton(TW_MOUSE_RELEASED, TW_MOUSE_LEFT);
    moveTo(box.x + box.height / 2, midY(box));
    EXPECT_EQ(TwMouseWheel(3), 0);

    setVisible(true);
    for (int i = 0; i < 8; ++i) {
        frame();
    }
    EXPECT_FALSE(mDisplaySpectrum) << "a click made while hidden was replayed";
    EXPECT_EQ(mStartIdx, 1) << "a drag made while hidden was replayed";

    // Where the pointer rests is still known: the next click lands on the box.
    click();
    frame();
    frame();
    EXPECT_TRUE(mDisplaySpectrum);
}

TEST_F(TwGl, ClicksBeforeTheFirstDrawAndAPressHeldAcrossHidingAreLetGo)
{
    // Where the bar will be, learnt from a bar of another window at the same place.
    TwSetCurrentWindow(kWindowId + 1);
    TwWindowSize(kWidth, kHeight);
    TwBar* twin = TwNewBar("Spectrum");
    TwDefine("`Spectrum` size='225 200'");
    bool twinValue = false;
    for (const char* name : {"Start Idx", "End Idx", "Visual Gain"}) {
        TwAddVarRW(twin, name, TW_TYPE_FLOAT, &mVisualGain, nullptr);
    }
    TwAddVarRW(twin, "Display Spectrum", TW_TYPE_BOOLCPP, &twinValue, nullptr);
    frame();
    const tw::Rect box = twin->findVar("Display Spectrum")->drawnRect;
    TwDeleteBar(twin);
    TwSetCurrentWindow(kWindowId);

    // This window's bar was made visible but has never been drawn.
    moveTo(box.x + box.height / 2, midY(box));
    click();
    click();
    frame();
    frame();
    EXPECT_FALSE(mDisplaySpectrum) << "a click from before the bar was ever drawn was replayed";

    // A drag that the bar hid in the middle of ends with the hiding.
    const tw::Rect drag = controlOf("Start Idx");
    moveTo(midX(drag), midY(drag));
    frame();
    EXPECT_EQ(TwMouseButton(TW_MOUSE_PRESSED, TW_MOUSE_LEFT), 1);
    frame();
    setVisible(false);
    EXPECT_EQ(TwMouseButton(TW_MOUSE_RELEASED, TW_MOUSE_LEFT), 0)
        << "the hidden bar no longer owns the press";
    setVisible(true);
    frame();
    moveTo(midX(drag) + 20, midY(drag));
    frame();
    frame();
    EXPECT_EQ(mStartIdx, 1) << "the drag went on after the bar showed again";
}

TEST_F(TwGl, ATextFieldSelectsWithShiftAndTakesControlShortcuts)
{
    float radius[3] = {10.f, 10.f, 7.f};
    TwAddVarRW(mBar, "Radius 1", TW_TYPE_FLOAT, &radius[0], "min=1 max=1000 step=1");
    TwAddVarRW(mBar, "Radius 2", TW_TYPE_FLOAT, &radius[1], "min=1 max=1000 step=1");
    TwAddVarRW(mBar, "Radius 3", TW_TYPE_FLOAT, &radius[2], "min=1 max=1000 step=1");

    startEditing("Radius 1");
    // End leaves the selection; Shift+Home selects back to the start, and 8 replaces it.
    typeAndEnter({{TW_KEY_END, 0}, {TW_KEY_HOME, TW_KMOD_SHIFT}, {'8', 0}});
    EXPECT_FLOAT_EQ(radius[0], 8.f);

    startEditing("Radius 2");
    // Control+A selects everything again.
    typeAndEnter({{TW_KEY_END, 0}, {'a', TW_KMOD_CTRL}, {'7', 0}});
    EXPECT_FLOAT_EQ(radius[1], 7.f);

    startEditing("Radius 3");
    // Shift+Left selects one character at a time: all three of "7.0", and 5 replaces them.
    typeAndEnter({{TW_KEY_END, 0},
                  {TW_KEY_LEFT, TW_KMOD_SHIFT},
                  {TW_KEY_LEFT, TW_KMOD_SHIFT},
                  {TW_KEY_LEFT, TW_KMOD_SHIFT},
                  {'5', 0}});
    EXPECT_FLOAT_EQ(radius[2], 5.f);
}

TEST_F(TwGl, KeysDoNotGoToATextFieldWhoseBarIsHidden)
{
    float radius = 10.f;
    TwAddVarRW(mBar, "Radius", TW_TYPE_FLOAT, &radius, "min=1 max=1000 step=1 keyIncr=q");
    startEditing("Radius");
    setVisible(false);
    EXPECT_EQ(TwKeyPressed('t', 0), 0) << "the application's own keys must get through";
    setVisible(true);
    frame();
    frame();
    EXPECT_EQ(TwKeyPressed('q', 0), 1);
    EXPECT_FLOAT_EQ(radius, 11.f) << "the field was not open any more, so q is a shortcut";
}

} // namespace
} // namespace mirvo::params
