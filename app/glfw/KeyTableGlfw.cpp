#include "app/glfw/KeyTableGlfw.h"

#include "app/KeyEvent.h"

#include <GLFW/glfw3.h>

#include <array>

namespace mirvo::app::glfw {

namespace {

// GLFW's key tokens run from 32 to GLFW_KEY_LAST; a flat array indexed by token is
// both the table and its lookup.
using Table = std::array<int, GLFW_KEY_LAST + 1>;

Table buildTable()
{
    Table table{};
    auto set = [&table](int glfwKey, int code) { table[std::size_t(glfwKey)] = code; };

    // Printable keys: GLFW uses the ASCII of the unshifted key, upper case for letters.
    set(GLFW_KEY_SPACE, KeyEvent::KEY_SPACE);
    set(GLFW_KEY_APOSTROPHE, KeyEvent::KEY_QUOTE);
    set(GLFW_KEY_COMMA, KeyEvent::KEY_COMMA);
    set(GLFW_KEY_MINUS, KeyEvent::KEY_MINUS);
    set(GLFW_KEY_PERIOD, KeyEvent::KEY_PERIOD);
    set(GLFW_KEY_SLASH, KeyEvent::KEY_SLASH);
    for (int digit = 0; digit <= 9; ++digit) {
        set(GLFW_KEY_0 + digit, KeyEvent::KEY_0 + digit);
    }
    set(GLFW_KEY_SEMICOLON, KeyEvent::KEY_SEMICOLON);
    set(GLFW_KEY_EQUAL, KeyEvent::KEY_EQUALS);
    for (int letter = 0; letter < 26; ++letter) {
        set(GLFW_KEY_A + letter, KeyEvent::KEY_a + letter);
    }
    set(GLFW_KEY_LEFT_BRACKET, KeyEvent::KEY_LEFTBRACKET);
    set(GLFW_KEY_BACKSLASH, KeyEvent::KEY_BACKSLASH);
    set(GLFW_KEY_RIGHT_BRACKET, KeyEvent::KEY_RIGHTBRACKET);
    set(GLFW_KEY_GRAVE_ACCENT, KeyEvent::KEY_BACKQUOTE);
    set(GLFW_KEY_WORLD_1, KeyEvent::KEY_WORLD_0);
    set(GLFW_KEY_WORLD_2, KeyEvent::KEY_WORLD_1);

    // Function and editing keys.
    set(GLFW_KEY_ESCAPE, KeyEvent::KEY_ESCAPE);
    set(GLFW_KEY_ENTER, KeyEvent::KEY_RETURN);
    set(GLFW_KEY_TAB, KeyEvent::KEY_TAB);
    set(GLFW_KEY_BACKSPACE, KeyEvent::KEY_BACKSPACE);
    set(GLFW_KEY_INSERT, KeyEvent::KEY_INSERT);
    set(GLFW_KEY_DELETE, KeyEvent::KEY_DELETE);
    set(GLFW_KEY_RIGHT, KeyEvent::KEY_RIGHT);
    set(GLFW_KEY_LEFT, KeyEvent::KEY_LEFT);
    set(GLFW_KEY_DOWN, KeyEvent::KEY_DOWN);
    set(GLFW_KEY_UP, KeyEvent::KEY_UP);
    set(GLFW_KEY_PAGE_UP, KeyEvent::KEY_PAGEUP);
    set(GLFW_KEY_PAGE_DOWN, KeyEvent::KEY_PAGEDOWN);
    set(GLFW_KEY_HOME, KeyEvent::KEY_HOME);
    set(GLFW_KEY_END, KeyEvent::KEY_END);
    set(GLFW_KEY_CAPS_LOCK, KeyEvent::KEY_CAPSLOCK);
    set(GLFW_KEY_SCROLL_LOCK, KeyEvent::KEY_SCROLLOCK);
    set(GLFW_KEY_NUM_LOCK, KeyEvent::KEY_NUMLOCK);
    set(GLFW_KEY_PRINT_SCREEN, KeyEvent::KEY_PRINT);
    set(GLFW_KEY_PAUSE, KeyEvent::KEY_PAUSE);
    // The key symbols stop at F15; GLFW's F16 to F25 stay untranslated.
    for (int f = 0; f < 15; ++f) {
        set(GLFW_KEY_F1 + f, KeyEvent::KEY_F1 + f);
    }

    // Keypad.
    for (int digit = 0; digit <= 9; ++digit) {
        set(GLFW_KEY_KP_0 + digit, KeyEvent::KEY_KP0 + digit);
    }
    set(GLFW_KEY_KP_DECIMAL, KeyEvent::KEY_KP_PERIOD);
    set(GLFW_KEY_KP_DIVIDE, KeyEvent::KEY_KP_DIVIDE);
    set(GLFW_KEY_KP_MULTIPLY, KeyEvent::KEY_KP_MULTIPLY);
    set(GLFW_KEY_KP_SUBTRACT, KeyEvent::KEY_KP_MINUS);
    set(GLFW_KEY_KP_ADD, KeyEvent::KEY_KP_PLUS);
    set(GLFW_KEY_KP_ENTER, KeyEvent::KEY_KP_ENTER);
    set(GLFW_KEY_KP_EQUAL, KeyEvent::KEY_KP_EQUALS);

    // Modifiers: Alt is the Option key, Super the Command (meta) key.
    set(GLFW_KEY_LEFT_SHIFT, KeyEvent::KEY_LSHIFT);
    set(GLFW_KEY_RIGHT_SHIFT, KeyEvent::KEY_RSHIFT);
    set(GLFW_KEY_LEFT_CONTROL, KeyEvent::KEY_LCTRL);
    set(GLFW_KEY_RIGHT_CONTROL, KeyEvent::KEY_RCTRL);
    set(GLFW_KEY_LEFT_ALT, KeyEvent::KEY_LALT);
    set(GLFW_KEY_RIGHT_ALT, KeyEvent::KEY_RALT);
    set(GLFW_KEY_LEFT_SUPER, KeyEvent::KEY_LMETA);
    set(GLFW_KEY_RIGHT_SUPER, KeyEvent::KEY_RMETA);
    set(GLFW_KEY_MENU, KeyEvent::KEY_MENU);
    return table;
}

const Table& table()
{
    static const Table sTable = buildTable();
    return sTable;
}

} // namespace

int translateKey(int glfwKey)
{
    if (glfwKey < 0 || glfwKey > GLFW_KEY_LAST) {
        return 0;
    }
    return table()[std::size_t(glfwKey)];
}

std::size_t keyTableSize()
{
    std::size_t count = 0;
    for (int code : table()) {
        count += code != 0 ? 1 : 0;
    }
    return count;
}

} // namespace mirvo::app::glfw
