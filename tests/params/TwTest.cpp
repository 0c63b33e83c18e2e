#include "params/tw/Tw.h"
#include "params/tw/TwModel.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <functional>

#include <string>

namespace mirvo::params {
namespace {

using testing::HasSubstr;

class Tw : public ::testing::Test {
  protected:
    void SetUp() override
    {
        ASSERT_EQ(TwInit(TW_OPENGL, nullptr), 1);
        TwSetCurrentWindow(0);
        TwWindowSize(800, 600);
        mBar = TwNewBar("Stars");
        ASSERT_NE(mBar, nullptr);
    }
    void TearDown() override { TwTerminate(); }

    TwBar* mBar = nullptr;
};

std::string errorsOf(const std::function<void()>& action)
{
    testing::internal::CaptureStderr();
    action();
    return testing::internal::GetCapturedStderr();
}

TEST_F(Tw, AKeyIncrPressRaisesAFloatByItsStepAndStopsAtMax)
{
    float saturation = 0.9f;
    ASSERT_EQ(TwAddVarRW(mBar, "Minimum Saturation", TW_TYPE_FLOAT, &saturation,
                         "min=0.0 max=1.0 step=0.05 keyIncr=i keyDecr=k"),
              1);

    EXPECT_EQ(TwKeyPressed('i', TW_KMOD_NONE), 1);
    EXPECT_FLOAT_EQ(saturation, 0.95f);
    EXPECT_EQ(TwKeyPressed('i', TW_KMOD_NONE), 1);
    EXPECT_FLOAT_EQ(saturation, 1.0f);
    EXPECT_EQ(TwKeyPressed('i', TW_KMOD_NONE), 1);
    EXPECT_FLOAT_EQ(saturation, 1.0f) << "clamped at max";
    EXPECT_EQ(TwKeyPressed('k', TW_KMOD_NONE), 1);
    EXPECT_FLOAT_EQ(saturation, 0.95f);
}

TEST_F(Tw, OnlyAKeyABarUsesIsHandled)
{
    float radius = 10.f;
    TwAddVarRW(mBar, "Minimum Radius", TW_TYPE_FLOAT, &radius,
               "min=1.0 max=1000.0 step=1.0 keyIncr=q keyDecr=a");

    EXPECT_EQ(TwKeyPressed('x', TW_KMOD_NONE), 0);
    EXPECT_EQ(TwKeyPressed('q', TW_KMOD_CTRL), 0) << "a modifier makes it another shortcut";
    EXPECT_EQ(TwKeyPressed('q', TW_KMOD_SHIFT), 0) << "Shift+q is Q";
    EXPECT_EQ(TwKeyPressed(TW_KEY_RIGHT, TW_KMOD_NONE), 0);
    EXPECT_FLOAT_EQ(radius, 10.f);
}

TEST_F(Tw, ShortcutsActWhileTheirBarIsVisibleAndOnlyInItsWindow)
{
    float radius = 10.f;
    TwAddVarRW(mBar, "Minimum Radius", TW_TYPE_FLOAT, &radius, "min=1 max=1000 step=1 keyIncr=q");

    const int hidden = 0;
    TwSetParam(mBar, nullptr, "visible", TW_PARAM_INT32, 1, &hidden);
    EXPECT_EQ(TwKeyPressed('q', 0), 0);
    EXPECT_FLOAT_EQ(radius, 10.f);

    const int shown = 1;
    TwSetParam(mBar, nullptr, "visible", TW_PARAM_INT32, 1, &shown);
    TwSetCurrentWindow(1);
    EXPECT_EQ(TwKeyPressed('q', 0), 0) << "another window's bars";
    TwSetCurrentWindow(0);
    EXPECT_EQ(TwKeyPressed('q', 0), 1);
    EXPECT_FLOAT_EQ(radius, 11.f);
}

TEST_F(Tw, IntStepsAreWholeAndClampedAndReadOnlyVariablesIgnoreKeys)
{
    int startIdx = 505;
    int fixed = 3;
    bool flag = false;
    TwAddVarRW(mBar, "Start Idx", TW_TYPE_INT32, &startIdx, "min=1 max=512 step=10 keyIncr=+ keyDecr=-");
    TwAddVarRO(mBar, "Fixed", TW_TYPE_INT32, &fixed, "keyIncr=+");
    TwAddVarRW(mBar, "Flag", TW_TYPE_BOOLCPP, &flag, "key=SPACE");

    TwKeyPressed('+', 0);
    EXPECT_EQ(startIdx, 512);
    EXPECT_EQ(fixed, 3);
    for (int i = 0; i < 60; ++i) {
        TwKeyPressed('-', 0);
    }
    EXPECT_EQ(startIdx, 1);

    EXPECT_EQ(TwKeyPressed(TW_KEY_SPACE, 0), 1);
    EXPECT_TRUE(flag);
}

TEST_F(Tw, DefinitionsSizeColourAndShowBarsWhoseNamesHaveSpaces)
{
    TwBar* bar = TwNewBar("Fractal Tree");
    ASSERT_EQ(TwDefine("`Fractal Tree` size='225 200' color='76 76 76' alpha=102"), 1);
    EXPECT_EQ(bar->width, 225);
    EXPECT_EQ(bar->height, 200);
    EXPECT_EQ(bar->color[0], 76);
    EXPECT_EQ(bar->color[2], 76);
    EXPECT_EQ(bar->alpha, 102);

    ASSERT_EQ(TwDefine("`Fractal Tree` visible=false position='30 40'"), 1);
    EXPECT_FALSE(bar->visible);
    EXPECT_TRUE(bar->positionDefined);
    EXPECT_EQ(bar->x, 30);
}

TEST_F(Tw, TwGetParamReadsBackWhatDefinitionsSetAndWhatVariablesActWith)
{
    ASSERT_EQ(TwDefine("Stars size='225 200' color='76 77 78' alpha=102 position='30 40' label='Star field'"),
              1);
    std::int32_t numbers[4] = {-1, -1, -1, -1};
    EXPECT_EQ(TwGetParam(mBar, nullptr, "size", TW_PARAM_INT32, 4, numbers), 2) << "as many as there are";
    EXPECT_EQ(numbers[0], 225);
    EXPECT_EQ(numbers[1], 200);
    EXPECT_EQ(numbers[2], -1);
    EXPECT_EQ(TwGetParam(mBar, nullptr, "Color", TW_PARAM_INT32, 2, numbers), 2) << "as many as asked for";
    EXPECT_EQ(numbers[1], 77);
    EXPECT_EQ(numbers[2], -1);
    float position[2] = {};
    EXPECT_EQ(TwGetParam(mBar, nullptr, "position", TW_PARAM_FLOAT, 2, position), 2);
    EXPECT_EQ(position[1], 40.f);
    EXPECT_EQ(TwGetParam(mBar, nullptr, "alpha", TW_PARAM_INT32, 1, numbers), 1);
    EXPECT_EQ(numbers[0], 102);

    char label[5];
    EXPECT_EQ(TwGetParam(mBar, nullptr, "label", TW_PARAM_CSTRING, sizeof label, label), 1);
    EXPECT_STREQ(label, "Star") << "cut to the buffer";
    EXPECT_STREQ(TwGetBarName(mBar), "Stars") << "the name, not the label";

    const std::int32_t hidden = 0;
    TwSetParam(mBar, nullptr, "visible", TW_PARAM_INT32, 1, &hidden);
    EXPECT_EQ(TwGetParam(mBar, nullptr, "visible", TW_PARAM_INT32, 1, numbers), 1);
    EXPECT_EQ(numbers[0], 0);

    float radius = 10.f;
    std::int32_t count = 100;
    TwAddVarRW(mBar, "Radius", TW_TYPE_FLOAT, &radius, "min=1 max=1000 step=0.5");
    TwAddVarRO(mBar, "Count", TW_TYPE_INT32, &count, "");
    double value = 0;
    EXPECT_EQ(TwGetParam(mBar, "Radius", "max", TW_PARAM_DOUBLE, 1, &value), 1);
    EXPECT_EQ(value, 1000.0);
    EXPECT_EQ(TwGetParam(mBar, "Radius", "step", TW_PARAM_DOUBLE, 1, &value), 1);
    EXPECT_EQ(value, 0.5);
    EXPECT_EQ(TwGetParam(mBar, "Count", "step", TW_PARAM_DOUBLE, 1, &value), 1);
    EXPECT_EQ(value, 1.0) << "an int without a step goes by ones";
    EXPECT_EQ(TwGetParam(mBar, "Count", "readonly", TW_PARAM_INT32, 1, numbers), 1);
    EXPECT_EQ(numbers[0], 1);
}

TEST_F(Tw, TwGetParamReportsWhatItCannotReadAndWritesNothing)
{
    std::int32_t number = -1;
    EXPECT_THAT(
        errorsOf([&] { EXPECT_EQ(TwGetParam(mBar, nullptr, "colour", TW_PARAM_INT32, 1, &number), 0); }),
        HasSubstr("unknown bar parameter 'colour'"));
    EXPECT_THAT(
        errorsOf([&] { EXPECT_EQ(TwGetParam(mBar, "Nothing", "min", TW_PARAM_INT32, 1, &number), 0); }),
        HasSubstr("unknown variable 'Nothing'"));
    EXPECT_THAT(
        errorsOf([&] { EXPECT_EQ(TwGetParam(mBar, nullptr, "label", TW_PARAM_INT32, 1, &number), 0); }),
        HasSubstr("is a string"));
    EXPECT_THAT(
        errorsOf([&] { EXPECT_EQ(TwGetParam(mBar, nullptr, "alpha", TW_PARAM_INT32, 0, &number), 0); }),
        HasSubstr("room for its value"));
    EXPECT_EQ(number, -1);

    TwBar* gone = TwNewBar("Gone");
    TwDeleteBar(gone);
    EXPECT_THAT(
        errorsOf([&] { EXPECT_EQ(TwGetParam(gone, nullptr, "alpha", TW_PARAM_INT32, 1, &number), 0); }),
        HasSubstr("invalid bar"));
    EXPECT_THAT(errorsOf([&] { EXPECT_EQ(TwGetBarName(gone), nullptr); }), HasSubstr("invalid bar"));
    EXPECT_EQ(number, -1);
}

// Values listed by name and set again as text, as the settings kept between runs do: exactly,
// within the control's range, and never into a read-only control.
TEST_F(Tw, AVariablesValueTextSetsItExactlyWithinItsRangeAndNeverIfReadOnly)
{
    float third = 1.f / 3.f;
    std::int32_t count = 10;
    bool shown = true;
    float drawn = 0.5f;
    TwAddVarRW(mBar, "Third", TW_TYPE_FLOAT, &third, "min=0 max=1");
    TwAddVarRW(mBar, "Count", TW_TYPE_INT32, &count, "min=1 max=50");
    TwAddVarRW(mBar, "Shown", TW_TYPE_BOOLCPP, &shown, "");
    TwAddVarRO(mBar, "Drawn", TW_TYPE_FLOAT, &drawn, "");

    EXPECT_STREQ(TwGetVarName(mBar, 0), "Third");
    EXPECT_STREQ(TwGetVarName(mBar, 3), "Drawn");
    EXPECT_EQ(TwGetVarName(mBar, 4), nullptr);
    std::int32_t type = 0;
    EXPECT_EQ(TwGetParam(mBar, "Count", "type", TW_PARAM_INT32, 1, &type), 1);
    EXPECT_EQ(type, TW_TYPE_INT32);

    const auto textOf = [this](const char* name) {
        char text[32] = "";
        TwGetParam(mBar, name, "value", TW_PARAM_CSTRING, sizeof text, text);
        return std::string(text);
    };
    const auto setText = [this](const char* name, const std::string& text) {
        return TwSetParam(mBar, name, "value", TW_PARAM_CSTRING, 1, text.c_str());
    };

    // A float read back from its text is the same float, not one rounded to six digits.
    const std::string thirdText = textOf("Third");
    third = 0.f;
    EXPECT_EQ(setText("Third", thirdText), 1);
    EXPECT_EQ(third, 1.f / 3.f) << thirdText;
    const double asNumber = 2.0 / 3.0;
    EXPECT_EQ(TwSetParam(mBar, "Third", "value", TW_PARAM_DOUBLE, 1, &asNumber), 1);
    EXPECT_EQ(third, 2.f / 3.f);
    EXPECT_EQ(textOf("Shown"), "true");
    EXPECT_EQ(setText("Shown", "false"), 1);
    EXPECT_FALSE(shown);

    EXPECT_EQ(setText("Count", "99999999999"), 1);
    EXPECT_EQ(count, 50) << "clamped to max, as typed input is";
    EXPECT_EQ(setText("Third", "-3"), 1);
    EXPECT_EQ(third, 0.f);

    for (const char* refused : {"lots", "12.5", "", "nan"}) {
        EXPECT_THAT(errorsOf([&] { EXPECT_EQ(setText("Count", refused), 0); }), HasSubstr("bad value"));
    }
    EXPECT_THAT(errorsOf([&] { EXPECT_EQ(setText("Third", "inf"), 0); }), HasSubstr("bad value"));
    EXPECT_EQ(count, 50);
    EXPECT_EQ(third, 0.f);
    EXPECT_THAT(errorsOf([&] { EXPECT_EQ(setText("Drawn", "0.75"), 0); }), HasSubstr("read-only"));
    EXPECT_EQ(drawn, 0.5f);
}

TEST_F(Tw, ABrokenDefinitionIsReportedWithItsTextAndChangesNothing)
{
    std::string errors = errorsOf([] { EXPECT_EQ(TwDefine("`Stars` size='225 200"), 0); });
    EXPECT_THAT(errors, HasSubstr("Parsing error in def string"));
    EXPECT_THAT(errors, HasSubstr("'225 200"));
    EXPECT_EQ(mBar->width, 200);
    EXPECT_THAT(TwGetLastError(), HasSubstr("Parsing error in def string"));

    errors = errorsOf([] { EXPECT_EQ(TwDefine("Nowhere size='1 1'"), 0); });
    EXPECT_THAT(errors, HasSubstr("unknown bar 'Nowhere'"));

    errors = errorsOf([] { EXPECT_EQ(TwDefine("Stars size='10' colour='1 2 3' alpha=12"), 0); });
    EXPECT_THAT(errors, HasSubstr("bad value '10'"));
    EXPECT_THAT(errors, HasSubstr("unknown bar parameter 'colour'"));
    EXPECT_EQ(mBar->alpha, 12) << "the good parts of a statement still apply";
}

TEST_F(Tw, AVariableWithABrokenOptionStringIsKeptAndReported)
{
    float gain = 50.f;
    const std::string errors = errorsOf([&] {
        EXPECT_EQ(TwAddVarRW(mBar, "Visual Gain", TW_TYPE_FLOAT, &gain, "min=0.01 max=lots step=0.05"), 0);
    });
    EXPECT_THAT(errors, HasSubstr("bad value 'lots'"));
    ASSERT_NE(mBar->findVar("Visual Gain"), nullptr);
    EXPECT_DOUBLE_EQ(*mBar->findVar("Visual Gain")->min, 0.01);

    EXPECT_THAT(errorsOf([&] { EXPECT_EQ(TwAddVarRW(mBar, "Visual Gain", TW_TYPE_FLOAT, &gain, ""), 0); }),
                HasSubstr("already exists"));
}

TEST_F(Tw, AStaleBarOrAMissingInitIsAnErrorNotACrash)
{
    TwBar* bar = TwNewBar("Gone");
    EXPECT_EQ(TwDeleteBar(bar), 1);
    EXPECT_THAT(errorsOf([&] { EXPECT_EQ(TwDeleteBar(bar), 0); }), HasSubstr("invalid bar"));
    float value = 0;
    EXPECT_THAT(errorsOf([&] { EXPECT_EQ(TwAddVarRW(bar, "x", TW_TYPE_FLOAT, &value, ""), 0); }),
                HasSubstr("invalid bar"));

    TwTerminate();
    EXPECT_THAT(errorsOf([] { EXPECT_EQ(TwDraw(), 0); }), HasSubstr("not initialized"));
    EXPECT_EQ(TwInit(TW_OPENGL, nullptr), 1);
}

TEST_F(Tw, FontScalingIsAGlobalSettingForBeforeInit)
{
    EXPECT_THAT(errorsOf([] { EXPECT_EQ(TwDefine(" GLOBAL fontscaling= 2"), 0); }),
                HasSubstr("before TwInit"));
    TwTerminate();

    const int before = tw::initCount();
    EXPECT_EQ(TwDefine(" GLOBAL fontscaling= 2"), 1);
    EXPECT_EQ(TwInit(TW_OPENGL, nullptr), 1);
    EXPECT_EQ(tw::context()->fontScaling, 2.f);
    EXPECT_EQ(tw::initCount(), before + 1);
    EXPECT_THAT(errorsOf([] { EXPECT_EQ(TwInit(TW_OPENGL, nullptr), 0); }), HasSubstr("already initialized"));
    EXPECT_EQ(tw::initCount(), before + 1);
}

TEST_F(Tw, APressAwayFromEveryBarIsNotHandledAndItsReleaseNeither)
{
    EXPECT_EQ(TwMouseMotion(700, 500), 0);
    EXPECT_EQ(TwMouseButton(TW_MOUSE_PRESSED, TW_MOUSE_LEFT), 0);
    EXPECT_EQ(TwMouseButton(TW_MOUSE_RELEASED, TW_MOUSE_LEFT), 0);
    EXPECT_EQ(TwMouseWheel(3), 0);
}

TEST_F(Tw, ABarThatIsNotOnScreenKeepsNoPointerInputButFollowsThePointer)
{
    TwKeyModifiers(TW_KMOD_SHIFT);
    for (int i = 0; i < 2000; ++i) {
        EXPECT_EQ(TwMouseMotion(i % 800, 100), 0);
        TwMouseButton(i % 2 == 0 ? TW_MOUSE_PRESSED : TW_MOUSE_RELEASED, TW_MOUSE_LEFT);
        TwMouseWheel(i);
    }
    const tw::Window& window = tw::context()->windows.at(0);
    EXPECT_TRUE(window.input.empty()) << "the bar was never drawn";
    EXPECT_EQ(window.capturedButtons, 0u);
    EXPECT_EQ(window.mouseX, float(1999 % 800)) << "for when the bar shows";
    EXPECT_EQ(window.wheelPos, 1999) << "the wheel's turns while away are not owed to it";
}

} // namespace
} // namespace mirvo::params
