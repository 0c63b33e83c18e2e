// The GLFW key table: the rows the application relies on, the key ranges and keys
// that have no translation.
#include "app/KeyEvent.h"
#include "app/glfw/KeyTableGlfw.h"

#include <GLFW/glfw3.h>

#include <gtest/gtest.h>

using mirvo::app::KeyEvent;
using mirvo::app::glfw::translateKey;

TEST(KeyTableGlfw, TranslatesTheKeysTheApplicationUses)
{
    EXPECT_EQ(translateKey(GLFW_KEY_SPACE), 32);
    EXPECT_EQ(translateKey(GLFW_KEY_T), 116);
    EXPECT_EQ(translateKey(GLFW_KEY_LEFT), 276);
    EXPECT_EQ(translateKey(GLFW_KEY_RIGHT), 275);
    EXPECT_EQ(translateKey(GLFW_KEY_UP), 273);
    EXPECT_EQ(translateKey(GLFW_KEY_DOWN), 274);
}

TEST(KeyTableGlfw, MapsWholeKeyRangesToTheirSymbols)
{
    for (int i = 0; i < 26; ++i) {
        EXPECT_EQ(translateKey(GLFW_KEY_A + i), 'a' + i);
    }
    for (int i = 0; i < 10; ++i) {
        EXPECT_EQ(translateKey(GLFW_KEY_0 + i), '0' + i);
        EXPECT_EQ(translateKey(GLFW_KEY_KP_0 + i), 256 + i);
    }
    for (int i = 0; i < 15; ++i) {
        EXPECT_EQ(translateKey(GLFW_KEY_F1 + i), 282 + i);
    }
    EXPECT_EQ(translateKey(GLFW_KEY_ENTER), KeyEvent::KEY_RETURN);
    EXPECT_EQ(translateKey(GLFW_KEY_ESCAPE), 27);
    EXPECT_EQ(translateKey(GLFW_KEY_BACKSPACE), 8);
    EXPECT_EQ(translateKey(GLFW_KEY_DELETE), 127);
    EXPECT_EQ(translateKey(GLFW_KEY_KP_ENTER), 271);
    EXPECT_EQ(translateKey(GLFW_KEY_LEFT_ALT), KeyEvent::KEY_LALT);
    EXPECT_EQ(translateKey(GLFW_KEY_RIGHT_SUPER), KeyEvent::KEY_RMETA);
}

TEST(KeyTableGlfw, GivesZeroForKeysWithoutATranslation)
{
    EXPECT_EQ(translateKey(GLFW_KEY_UNKNOWN), 0);
    EXPECT_EQ(translateKey(GLFW_KEY_F16), 0);
    EXPECT_EQ(translateKey(GLFW_KEY_F25), 0);
    EXPECT_EQ(translateKey(GLFW_KEY_LAST + 1), 0);
    EXPECT_EQ(translateKey(7), 0);
    EXPECT_GE(mirvo::app::glfw::keyTableSize(), 107u);
}
