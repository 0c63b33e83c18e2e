// The tweak-bar interface the parameter panels talk to: bars of labelled controls bound
// to variables by address, described by definition strings ("min=0 max=1 step=0.05
// keyIncr=i"), one set of bars per window id, fed with mouse and key input and drawn
// over the scene. Errors go to standard error and to TwGetLastError; nothing throws.
// Main thread only, with the window's GL context current for TwDraw.
#pragma once

#include <string>

namespace mirvo::params {

struct TwBar;

enum ETwGraphAPI { TW_OPENGL = 1 };

enum ETwType {
    TW_TYPE_UNDEF = 0,
    TW_TYPE_BOOLCPP = 1,
    TW_TYPE_INT32 = 10,
    TW_TYPE_FLOAT = 12,
};
using TwType = int;

enum ETwParamValueType { TW_PARAM_INT32 = 0, TW_PARAM_FLOAT = 1, TW_PARAM_DOUBLE = 2, TW_PARAM_CSTRING = 3 };

enum ETwMouseAction { TW_MOUSE_RELEASED = 0, TW_MOUSE_PRESSED = 1 };
enum ETwMouseButtonID { TW_MOUSE_LEFT = 1, TW_MOUSE_MIDDLE = 2, TW_MOUSE_RIGHT = 3 };

enum ETwKeyModifier {
    TW_KMOD_NONE = 0x0000,
    TW_KMOD_SHIFT = 0x0003,
    TW_KMOD_CTRL = 0x00c0,
    TW_KMOD_ALT = 0x0100,
    TW_KMOD_META = 0x0c00,
};

// Keys other than printable characters, which are passed as themselves.
enum EKeySpecial {
    TW_KEY_BACKSPACE = 8,
    TW_KEY_TAB = 9,
    TW_KEY_CLEAR = 12,
    TW_KEY_RETURN = 13,
    TW_KEY_PAUSE = 19,
    TW_KEY_ESCAPE = 27,
    TW_KEY_SPACE = 32,
    TW_KEY_DELETE = 127,
    TW_KEY_UP = 273,
    TW_KEY_DOWN = 274,
    TW_KEY_RIGHT = 275,
    TW_KEY_LEFT = 276,
    TW_KEY_INSERT = 277,
    TW_KEY_HOME = 278,
    TW_KEY_END = 279,
    TW_KEY_PAGE_UP = 280,
    TW_KEY_PAGE_DOWN = 281,
    TW_KEY_F1 = 282,
    TW_KEY_F15 = 296,
};

// Returns 1 on success, 0 on failure (see TwGetLastError) unless said otherwise.
int TwInit(ETwGraphAPI graphApi, void* device);
int TwTerminate();
const char* TwGetLastError();

// Window ids are any non-negative ints; each has its own bars, size and input state.
int TwSetCurrentWindow(int windowId);
int TwGetCurrentWindow();
// The current window's size in pixels, the space of mouse positions and bar geometry.
int TwWindowSize(int width, int height);

TwBar* TwNewBar(const char* barName);
int TwDeleteBar(TwBar* bar);
// The name the bar was made with, the one definitions address it by; null for a bar that is
// not alive.
const char* TwGetBarName(const TwBar* bar);

// Statements of the form "barName param=value ..." or "barName/varName param=value ...";
// a name with spaces is quoted with backquotes, a value with spaces with single quotes.
// "GLOBAL fontscaling=N" enlarges everything by N and must come before TwInit.
int TwDefine(const char* def);

int TwAddVarRW(TwBar* bar, const char* name, TwType type, void* var, const char* def);
int TwAddVarRO(TwBar* bar, const char* name, TwType type, const void* var, const char* def);
// The name of the bar's variable at `index`, in the order they were added; null past the last
// one. With TwGetParam's "type" and "value" a bar's values can be listed by whoever did not
// add them.
const char* TwGetVarName(TwBar* bar, int index);

// Sets a bar parameter (varName null) or a variable parameter, the same ones TwDefine knows, and
// a variable's "value": a number, or a text as TwGetParam gives it, clamped to its min and max;
// refused for a read-only variable.
int TwSetParam(TwBar* bar, const char* varName, const char* paramName, ETwParamValueType paramValueType,
               unsigned int inValueCount, const void* inValues);

// Reads a bar parameter (varName null) or a variable parameter into up to outValueMaxCount
// values of the given type, and returns how many it wrote (0 on failure). A string
// (TW_PARAM_CSTRING) is written cut to fit and terminated, outValueMaxCount being the size of
// the buffer; it counts as one value. Bars: "visible", "label", "color" (3), "alpha", and
// "position" and "size" (2 each) in window pixels: as last drawn, or before the first draw
// as defined, scaled as the drawing will scale them. Variables: "visible", "readonly",
// "label", "min", "max", "step" and "precision", the last four as they act, defaults
// included; "type" (a TwType) and "value", as a number or (TW_PARAM_CSTRING) as a text that
// sets the same value again ("true", "12", "0.05").
int TwGetParam(TwBar* bar, const char* varName, const char* paramName, ETwParamValueType paramValueType,
               unsigned int outValueMaxCount, void* outValues);

// Draws every visible bar of the current window.
int TwDraw();

// Input for the current window. Each returns 1 when a bar took the event, else 0.
int TwMouseButton(ETwMouseAction action, ETwMouseButtonID button);
int TwMouseMotion(int mouseX, int mouseY);
// `pos` is the accumulated wheel position; bars react to its change.
int TwMouseWheel(int pos);
// `key` is a character or an EKeySpecial code, `modifiers` a mask of ETwKeyModifier.
int TwKeyPressed(int key, int modifiers);
// The modifier keys held now (a mask of ETwKeyModifier), for the pointer input that follows:
// Shift with a click extends a text selection. Always returns 1 once initialised.
int TwKeyModifiers(int modifiers);

using TwCopyStdStringToClient = void (*)(std::string& destination, const std::string& source);
void TwCopyStdStringToClientFunc(TwCopyStdStringToClient copyStdStringFunc);

} // namespace mirvo::params
