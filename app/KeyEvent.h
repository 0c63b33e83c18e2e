// A key press or release: the translated key code (SDL 1.2 key symbol values), the
// characters the key produced, the modifier flags and the platform's own key code.
#pragma once

#include "app/Event.h"

#include <cstdint>

namespace mirvo::app {

class KeyEvent : public Event {
  public:
    KeyEvent() = default;
    KeyEvent(WindowRef window, int code, std::uint32_t charUtf32, char character, std::uint32_t modifiers,
             std::uint32_t nativeKeyCode)
        : Event(std::move(window)), mCode(code), mCharUtf32(charUtf32), mChar(character),
          mModifiers(modifiers), mNativeKeyCode(nativeKeyCode)
    {
    }

    // The key code, 0 for a key the key table does not know.
    int getCode() const { return mCode; }
    // The first character the key produced with its modifiers, 0 when none.
    std::uint32_t getCharUtf32() const { return mCharUtf32; }
    // The first character of the key ignoring modifiers, 0 when none.
    char getChar() const { return mChar; }
    std::uint32_t getModifiers() const { return mModifiers; }
    std::uint32_t getNativeKeyCode() const { return mNativeKeyCode; }

    bool isShiftDown() const { return (mModifiers & SHIFT_DOWN) != 0; }
    bool isAltDown() const { return (mModifiers & ALT_DOWN) != 0; }
    bool isControlDown() const { return (mModifiers & CTRL_DOWN) != 0; }
    bool isMetaDown() const { return (mModifiers & META_DOWN) != 0; }
    bool isAccelDown() const { return isControlDown(); }

    enum : int {
        KEY_UNKNOWN = 0,
        KEY_BACKSPACE = 8,
        KEY_TAB = 9,
        KEY_CLEAR = 12,
        KEY_RETURN = 13,
        KEY_PAUSE = 19,
        KEY_ESCAPE = 27,
        KEY_SPACE = 32,
        KEY_QUOTE = 39,
        KEY_COMMA = 44,
        KEY_MINUS = 45,
        KEY_PERIOD = 46,
        KEY_SLASH = 47,
        KEY_0 = 48,
        KEY_1,
        KEY_2,
        KEY_3,
        KEY_4,
        KEY_5,
        KEY_6,
        KEY_7,
        KEY_8,
        KEY_9,
        KEY_SEMICOLON = 59,
        KEY_EQUALS = 61,
        KEY_LEFTBRACKET = 91,
        KEY_BACKSLASH = 92,
        KEY_RIGHTBRACKET = 93,
        KEY_BACKQUOTE = 96,
        KEY_a = 97,
        KEY_b,
        KEY_c,
        KEY_d,
        KEY_e,
        KEY_f,
        KEY_g,
        KEY_h,
        KEY_i,
        KEY_j,
        KEY_k,
        KEY_l,
        KEY_m,
        KEY_n,
        KEY_o,
        KEY_p,
        KEY_q,
        KEY_r,
        KEY_s,
        KEY_t,
        KEY_u,
        KEY_v,
        KEY_w,
        KEY_x,
        KEY_y,
        KEY_z,
        KEY_DELETE = 127,
        KEY_WORLD_0 = 160,
        KEY_WORLD_1 = 161,
        KEY_KP0 = 256,
        KEY_KP1,
        KEY_KP2,
        KEY_KP3,
        KEY_KP4,
        KEY_KP5,
        KEY_KP6,
        KEY_KP7,
        KEY_KP8,
        KEY_KP9,
        KEY_KP_PERIOD = 266,
        KEY_KP_DIVIDE = 267,
        KEY_KP_MULTIPLY = 268,
        KEY_KP_MINUS = 269,
        KEY_KP_PLUS = 270,
        KEY_KP_ENTER = 271,
        KEY_KP_EQUALS = 272,
        KEY_UP = 273,
        KEY_DOWN = 274,
        KEY_RIGHT = 275,
        KEY_LEFT = 276,
        KEY_INSERT = 277,
        KEY_HOME = 278,
        KEY_END = 279,
        KEY_PAGEUP = 280,
        KEY_PAGEDOWN = 281,
        KEY_F1 = 282,
        KEY_F2,
        KEY_F3,
        KEY_F4,
        KEY_F5,
        KEY_F6,
        KEY_F7,
        KEY_F8,
        KEY_F9,
        KEY_F10,
        KEY_F11,
        KEY_F12,
        KEY_F13,
        KEY_F14,
        KEY_F15,
        KEY_NUMLOCK = 300,
        KEY_CAPSLOCK = 301,
        KEY_SCROLLOCK = 302,
        KEY_RSHIFT = 303,
        KEY_LSHIFT = 304,
        KEY_RCTRL = 305,
        KEY_LCTRL = 306,
        KEY_RALT = 307,
        KEY_LALT = 308,
        KEY_RMETA = 309,
        KEY_LMETA = 310,
        KEY_LSUPER = 311,
        KEY_RSUPER = 312,
        KEY_PRINT = 316,
        KEY_MENU = 319,
    };

  private:
    int mCode = 0;
    std::uint32_t mCharUtf32 = 0;
    char mChar = 0;
    std::uint32_t mModifiers = 0;
    std::uint32_t mNativeKeyCode = 0;
};

} // namespace mirvo::app
