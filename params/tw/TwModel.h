// What the tweak-bar layer knows between calls: the windows by id, their bars and the
// variables bound in them, the pointer state and the input waiting for the next draw.
// Drawing is left to a Drawer made by the rendering backend (TwImGui.cpp), so all of
// this works, and is tested, without a display. Main thread only.
#pragma once

#include "params/tw/Tw.h"
#include "params/tw/TwDefinition.h"

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace mirvo::params {

namespace tw {

struct Rect {
    float x = 0, y = 0, width = 0, height = 0;

    bool contains(float px, float py) const
    {
        return px >= x && py >= y && px < x + width && py < y + height;
    }
};

struct Var {
    std::string name;
    std::string label;
    TwType type = TW_TYPE_UNDEF;
    void* address = nullptr;
    bool readOnly = false;
    bool visible = true;
    std::optional<double> min;
    std::optional<double> max;
    std::optional<double> step;
    std::optional<int> precision;
    Shortcut keyIncr;
    Shortcut keyDecr;
    Shortcut keyToggle;
    std::string help;
    Rect drawnRect; // where the value was drawn in the last frame

    double value() const;
    // Clamped to min and max (and to the int range for ints); bools take any non-zero as true.
    void setValue(double value) const;
    // One step up (+1) or down (-1), clamped.
    void stepBy(int direction) const;
    // The value as text that reads back exactly: "true" or "false", an integer, or the shortest
    // decimal that gives the same float.
    std::string valueText() const;
    // Sets the value from such text, clamped as setValue is; false, leaving it as it was, for a
    // text that is no value of the variable's type.
    bool setValueText(const std::string& text) const;
    double lower() const;
    double upper() const;
    // The given step, else 1 for ints and a step that suits the value's size for floats.
    double stepSize() const;
    int decimals() const;
};

struct InputEvent {
    enum Kind { MOUSE_MOVE, MOUSE_BUTTON, MOUSE_WHEEL, CHARACTER, KEY } kind;
    float x = 0, y = 0;
    int button = 0; // 0 left, 1 right, 2 middle
    bool down = false;
    float wheel = 0;
    unsigned character = 0;
    int key = 0;       // a special key for an active text field, pressed for one frame
    int modifiers = 0; // the ETwKeyModifier keys held as it happened
};

struct Window;

// Draws a window's bars and answers what only the drawing knows.
class Drawer {
  public:
    virtual ~Drawer() = default;
    virtual void draw(Window& window) = 0;
    // True while a text field has the keyboard.
    virtual bool wantsTextInput() const = 0;
};

// Made by the rendering backend; the layer calls it once per window id.
std::unique_ptr<Drawer> makeDrawer(float fontScaling);

struct Window {
    int id = 0;
    int width = 0;
    int height = 0;
    std::vector<std::unique_ptr<TwBar>> bars;
    float mouseX = -1, mouseY = -1;
    unsigned capturedButtons = 0; // buttons pressed over a bar, released wherever
    unsigned queuedButtons = 0;   // button state as queued for the drawer
    int heldModifiers = 0;        // as the pointer input last reported them
    int wheelPos = 0;
    std::vector<InputEvent> input; // for the next draw
    std::unique_ptr<Drawer> drawer;

    TwBar* findBar(const std::string& name) const;
    bool isOverBar(float x, float y) const;
    // True while a bar is on screen: visible, and drawn since it was last hidden. Until
    // then the window takes no input and keeps none, so nothing done while the bars were
    // away reaches them when they come back.
    bool showsBars() const;
    // Drops what was queued and lets go of the buttons the bars held.
    void forgetInput();
    void queue(const InputEvent& event);
};

struct Context {
    std::map<int, Window> windows;
    int current = 0;
    float fontScaling = 1.f;
    TwCopyStdStringToClient copyStdString = nullptr;

    Window& currentWindow();
};

// The live context; null before TwInit and after TwTerminate.
Context* context();
// How many times TwInit set the layer up since the process started.
int initCount();
// The bar with this name in a window, or null; for tests and tools.
TwBar* findBar(int windowId, const std::string& name);

// The layer's own access to its state (Tw.cpp).
Context*& contextSlot();
int& initCountSlot();
const char* lastError();

// Writes "<function>: <message>" to standard error and keeps it for TwGetLastError.
void reportError(const char* function, const std::string& message);

// Applies one attribute; returns an error text, empty on success.
std::string applyBarAttribute(TwBar& bar, const Attribute& attribute);
std::string applyVarAttribute(Var& var, const Attribute& attribute);

} // namespace tw

struct TwBar {
    std::string name;
    std::string label;
    int windowId = 0;
    std::vector<tw::Var> vars;

    int width = 200;
    int height = 320;
    int x = 0;
    int y = 0;
    bool positionDefined = false;
    // Set when the definition changes size or position; the drawer applies it once.
    bool geometryChanged = true;
    int color[3] = {40, 40, 40};
    int alpha = 200;
    bool visible = true;
    int valuesWidth = 0; // 0: fit
    bool movable = true;
    bool resizable = true;

    bool drawn = false; // drawn in the last frame, at drawnRect
    tw::Rect drawnRect;

    tw::Var* findVar(const std::string& varName);
};

} // namespace mirvo::params
