#include "params/InterfaceGl.h"

#include "app/App.h"
#include "app/KeyEvent.h"
#include "app/MouseEvent.h"
#include "app/Renderer.h"
#include "core/Exception.h"
#include "params/tw/Tw.h"

#include <boost/signals2/connection.hpp>

#include <algorithm>
#include <cassert>
#include <cmath>
#include <cstdio>

namespace mirvo::params {

// What the panel module knows of each window: its layer id, which of the window's frames
// its bars were last drawn in, and the renderer whose context the layer's GL objects live in.
struct PanelWindowEntry {
    int id = 0;
    unsigned frame = 0;      // counts the window's draws; 0 until its first one
    unsigned drawnFrame = 0; // the frame the bars were last drawn in
    std::weak_ptr<app::Renderer> renderer;
};

// Sets the tweak-bar layer up on construction and ends it on destruction. The layer's drawers
// own GL objects, so it has to end while the windows' contexts exist: with the application,
// on its shutdown signal, and not with the process, after the window system has gone.
class AntMgr {
  public:
    AntMgr(float contentScale, app::App* app)
    {
        // Desktops here scale by quarters as well as by whole numbers (1.5 is common), so
        // the scale is kept to the nearest quarter rather than cut to an int; anything
        // closer to 1 than that leaves the font at its designed size.
        const float fontScale = std::round(contentScale * 4.f) / 4.f;
        if (fontScale >= 1.25f) {
            char number[16];
            std::snprintf(number, sizeof number, "%g", double(fontScale));
            TwDefine((std::string(" GLOBAL fontscaling= ") + number).c_str());
        }
        if (TwInit(TW_OPENGL, nullptr) == 0) {
            throw Exception(std::string("TwInit failed: ") + TwGetLastError());
        }
        if (app != nullptr) {
            mShutdown = app->getSignalShutdown().connect([] { terminatePanels(); });
        }
    }
    ~AntMgr();
    AntMgr(const AntMgr&) = delete;
    AntMgr& operator=(const AntMgr&) = delete;

  private:
    boost::signals2::scoped_connection mShutdown;
};

namespace {

struct WindowIds {
    std::map<std::weak_ptr<app::Window>, PanelWindowEntry, std::owner_less<std::weak_ptr<app::Window>>> ids;
    int next = 0;
};

WindowIds& windowIds()
{
    static WindowIds ids;
    return ids;
}

// The only owner: panels keep weak references, so that ending the layer ends it for them too.
std::shared_ptr<AntMgr>& antMgrInstance()
{
    // A layer still alive at exit ends with the statics, and its end walks the window list:
    // the list has to be made first so that it is destroyed last.
    windowIds();
    static std::shared_ptr<AntMgr> instance;
    return instance;
}

// Shared by every panel: the wheel position the layer sees is the sum of all increments.
float& wheelPosition()
{
    static float position = 0.f;
    return position;
}

// The keys that go to the layer by code rather than by character; their application key
// codes are the layer's key numbers.
int specialKey(int code)
{
    switch (code) {
    case app::KeyEvent::KEY_RIGHT:
    case app::KeyEvent::KEY_LEFT:
    case app::KeyEvent::KEY_BACKSPACE:
    case app::KeyEvent::KEY_DELETE:
    case app::KeyEvent::KEY_TAB:
    case app::KeyEvent::KEY_HOME:
    case app::KeyEvent::KEY_END:
    case app::KeyEvent::KEY_PAGEUP:
    case app::KeyEvent::KEY_PAGEDOWN:
        return code;
    default:
        return code >= app::KeyEvent::KEY_F1 && code <= app::KeyEvent::KEY_F15 ? code : 0;
    }
}

PanelWindowEntry& windowEntryFor(const app::WindowRef& window)
{
    if (!antMgrInstance()) {
        antMgrInstance() = std::make_shared<AntMgr>(window->getContentScale(), window->getApp());
    }
    WindowIds& ids = windowIds();
    auto found = ids.ids.find(window);
    if (found != ids.ids.end()) {
        return found->second;
    }
    PanelWindowEntry& entry =
        ids.ids.emplace(window, PanelWindowEntry{ids.next++, 0, 0, window->getRenderer()}).first->second;
    // Map nodes stay where they are, so the slot may keep the entry's address.
    window->getSignalDraw().connect([&entry]() { ++entry.frame; });
    return entry;
}

// Selects a panel's window in the layer, unless the layer the panel was made in has ended.
bool select(const std::weak_ptr<AntMgr>& layer, int id)
{
    if (layer.expired()) {
        return false;
    }
    TwSetCurrentWindow(id);
    return true;
}

template <typename EventT> int modifiersOf(const EventT& event)
{
    // The meta key is the window manager's; the panels leave it alone.
    int modifiers = 0;
    if (event.isShiftDown()) {
        modifiers |= TW_KMOD_SHIFT;
    }
    if (event.isControlDown()) {
        modifiers |= TW_KMOD_CTRL;
    }
    if (event.isAltDown()) {
        modifiers |= TW_KMOD_ALT;
    }
    return modifiers;
}

ETwMouseButtonID buttonOf(const app::MouseEvent& event)
{
    if (event.isLeft()) {
        return TW_MOUSE_LEFT;
    }
    return event.isRight() ? TW_MOUSE_RIGHT : TW_MOUSE_MIDDLE;
}

void copyStdString(std::string& destination, const std::string& source)
{
    destination = source;
}

void resizeTw(const std::weak_ptr<app::Window>& weakWindow)
{
    if (const app::WindowRef window = weakWindow.lock()) {
        const float scale = window->getFramebufferScale();
        TwWindowSize(int(float(window->getWidth()) * scale), int(float(window->getHeight()) * scale));
    }
}

} // namespace

AntMgr::~AntMgr()
{
    // The windows share their GL objects, so a context of any of them will do. One whose native
    // window is gone makes nothing current, hence each is tried.
    for (const auto& [window, entry] : windowIds().ids) {
        if (const auto renderer = entry.renderer.lock()) {
            renderer->makeCurrentContext();
        }
    }
    TwTerminate();
}

void terminatePanels()
{
    antMgrInstance().reset();
}

InterfaceGl::InterfaceGl(const std::string& title, const Vec2i& size, const ColorA& color)
{
    assert(app::App::get() != nullptr && "a panel without a window needs a running application");
    init(app::App::get()->getWindow(), title, size, color);
}

InterfaceGl::InterfaceGl(const app::WindowRef& window, const std::string& title, const Vec2i& size,
                         const ColorA& color)
{
    init(window, title, size, color);
}

InterfaceGlRef InterfaceGl::create(const std::string& title, const Vec2i& size, const ColorA& color)
{
    return std::make_shared<InterfaceGl>(title, size, color);
}

InterfaceGlRef InterfaceGl::create(const app::WindowRef& window, const std::string& title, const Vec2i& size,
                                   const ColorA& color)
{
    return std::make_shared<InterfaceGl>(window, title, size, color);
}

void InterfaceGl::init(const app::WindowRef& window, const std::string& title, const Vec2i& size,
                       const ColorA& color)
{
    assert(window && "a panel needs a window");
    PanelWindowEntry& entry = windowEntryFor(window);
    mTwWindowId = entry.id;
    mWindowEntry = &entry;
    mLayer = antMgrInstance();
    const int id = mTwWindowId;
    TwSetCurrentWindow(id);
    mWindow = window;

    // The bar goes with the last copy of this panel, unless the layer itself went first.
    const std::weak_ptr<AntMgr> layer = mLayer;
    mBar = std::shared_ptr<TwBar>(TwNewBar(title.c_str()), [id, layer](TwBar* bar) {
        if (bar != nullptr && select(layer, id)) {
            TwDeleteBar(bar);
        }
    });

    resizeTw(mWindow);

    char definition[1024];
    std::snprintf(definition, sizeof definition, "`%s` size='%d %d' color='%d %d %d' alpha=%d", title.c_str(),
                  size.x, size.y, int(color.r * 255), int(color.g * 255), int(color.b * 255),
                  int(color.a * 255));
    TwDefine(definition);

    TwCopyStdStringToClientFunc(copyStdString);

    const std::weak_ptr<app::Window> weakWindow = mWindow;
    window->getSignalMouseDown().connect([id, layer](app::MouseEvent& event) {
        if (!select(layer, id)) {
            return;
        }
        TwKeyModifiers(modifiersOf(event));
        event.setHandled(TwMouseButton(TW_MOUSE_PRESSED, buttonOf(event)) != 0);
    });
    window->getSignalMouseUp().connect([id, layer](app::MouseEvent& event) {
        if (!select(layer, id)) {
            return;
        }
        TwKeyModifiers(modifiersOf(event));
        event.setHandled(TwMouseButton(TW_MOUSE_RELEASED, buttonOf(event)) != 0);
    });
    window->getSignalMouseWheel().connect([id, layer](app::MouseEvent& event) {
        if (!select(layer, id)) {
            return;
        }
        TwKeyModifiers(modifiersOf(event));
        wheelPosition() += event.getWheelIncrement();
        event.setHandled(TwMouseWheel(int(wheelPosition())) != 0);
    });
    const auto mouseMove = [id, layer, weakWindow](app::MouseEvent& event) {
        if (!select(layer, id)) {
            return;
        }
        TwKeyModifiers(modifiersOf(event));
        if (const app::WindowRef owner = weakWindow.lock()) {
            const float scale = owner->getFramebufferScale();
            event.setHandled(
                TwMouseMotion(int(float(event.getX()) * scale), int(float(event.getY()) * scale)) != 0);
        }
    };
    window->getSignalMouseMove().connect(mouseMove);
    window->getSignalMouseDrag().connect(mouseMove);
    window->getSignalKeyDown().connect([id, layer](app::KeyEvent& event) {
        if (!select(layer, id)) {
            return;
        }
        const int modifiers = modifiersOf(event);
        const int special = specialKey(event.getCode());
        const int key = special != 0 ? special : static_cast<unsigned char>(event.getChar());
        event.setHandled(TwKeyPressed(key, modifiers) != 0);
    });
    window->getSignalResize().connect([id, layer, weakWindow]() {
        if (select(layer, id)) {
            resizeTw(weakWindow);
        }
    });
}

void InterfaceGl::draw()
{
    // Drawing draws every bar of the window, and each panel of the window is asked to draw
    // in every frame: only the first request of a frame draws, or the bars would be blended
    // over themselves once per panel. Outside a window's draw (no frame counted) every
    // request draws. Any panel of a live layer draws the window's bars, even one whose own
    // bar could not be made.
    if (mLayer.expired()) {
        return;
    }
    if (mWindowEntry != nullptr) {
        PanelWindowEntry* entry = mWindowEntry;
        if (entry->frame != 0 && entry->drawnFrame == entry->frame) {
            return;
        }
        entry->drawnFrame = entry->frame;
    }
    TwSetCurrentWindow(mTwWindowId);
    TwDraw();
}

bool InterfaceGl::isLive() const
{
    return mBar && !mLayer.expired();
}

void InterfaceGl::show(bool visible)
{
    if (!isLive()) {
        return;
    }
    TwSetCurrentWindow(mTwWindowId);
    const std::int32_t value = visible ? 1 : 0;
    TwSetParam(mBar.get(), nullptr, "visible", TW_PARAM_INT32, 1, &value);
}

void InterfaceGl::hide()
{
    show(false);
}

bool InterfaceGl::isVisible() const
{
    if (!isLive()) {
        return false;
    }
    TwSetCurrentWindow(mTwWindowId);
    std::int32_t visible = 0;
    return TwGetParam(mBar.get(), nullptr, "visible", TW_PARAM_INT32, 1, &visible) == 1 && visible != 0;
}

void InterfaceGl::implAddParam(const std::string& name, void* param, int type, const std::string& optionsStr,
                               bool readOnly)
{
    if (!isLive()) {
        return;
    }
    TwSetCurrentWindow(mTwWindowId);
    if (readOnly) {
        TwAddVarRO(mBar.get(), name.c_str(), type, param, optionsStr.c_str());
    } else {
        TwAddVarRW(mBar.get(), name.c_str(), type, param, optionsStr.c_str());
    }
}

void InterfaceGl::addParam(const std::string& name, float* param, const std::string& optionsStr,
                           bool readOnly)
{
    implAddParam(name, param, TW_TYPE_FLOAT, optionsStr, readOnly);
}

void InterfaceGl::addParam(const std::string& name, float* param, const char* optionsStr, bool readOnly)
{
    implAddParam(name, param, TW_TYPE_FLOAT, optionsStr != nullptr ? optionsStr : "", readOnly);
}

void InterfaceGl::addParam(const std::string& name, std::int32_t* param, const std::string& optionsStr,
                           bool readOnly)
{
    implAddParam(name, param, TW_TYPE_INT32, optionsStr, readOnly);
}

void InterfaceGl::addParam(const std::string& name, std::int32_t* param, const char* optionsStr,
                           bool readOnly)
{
    implAddParam(name, param, TW_TYPE_INT32, optionsStr != nullptr ? optionsStr : "", readOnly);
}

void InterfaceGl::addParam(const std::string& name, bool* param, const std::string& optionsStr, bool readOnly)
{
    implAddParam(name, param, TW_TYPE_BOOLCPP, optionsStr, readOnly);
}

void InterfaceGl::addParam(const std::string& name, bool* param, const char* optionsStr, bool readOnly)
{
    implAddParam(name, param, TW_TYPE_BOOLCPP, optionsStr != nullptr ? optionsStr : "", readOnly);
}

template <typename T>
InterfaceGl::Options<T> InterfaceGl::addParamImpl(const std::string& name, T* target, int type, bool readOnly)
{
    implAddParam(name, target, type, "", readOnly);
    return Options<T>(name, target, type, this);
}

InterfaceGl::Options<float> InterfaceGl::addParam(const std::string& name, float* target, bool readOnly)
{
    return addParamImpl(name, target, TW_TYPE_FLOAT, readOnly);
}

InterfaceGl::Options<bool> InterfaceGl::addParam(const std::string& name, bool* target, bool readOnly)
{
    return addParamImpl(name, target, TW_TYPE_BOOLCPP, readOnly);
}

InterfaceGl::Options<std::int32_t> InterfaceGl::addParam(const std::string& name, std::int32_t* target,
                                                         bool readOnly)
{
    return addParamImpl(name, target, TW_TYPE_INT32, readOnly);
}

void InterfaceGl::setOptions(const std::string& name, const std::string& optionsStr)
{
    if (!isLive()) {
        return;
    }
    TwSetCurrentWindow(mTwWindowId);
    if (const char* barName = TwGetBarName(mBar.get())) {
        TwDefine((std::string("`") + barName + "`/`" + name + "` " + optionsStr).c_str());
    }
}

std::string InterfaceGl::getTitle() const
{
    if (!isLive()) {
        return {};
    }
    TwSetCurrentWindow(mTwWindowId);
    const char* name = TwGetBarName(mBar.get());
    return name != nullptr ? name : "";
}

std::vector<InterfaceGl::ParamValue> InterfaceGl::getParamValues() const
{
    std::vector<ParamValue> values;
    if (!isLive()) {
        return values;
    }
    TwSetCurrentWindow(mTwWindowId);
    TwBar* bar = mBar.get();
    for (int index = 0; const char* name = TwGetVarName(bar, index); ++index) {
        std::int32_t type = 0;
        std::int32_t readOnly = 0;
        char text[64] = "";
        TwGetParam(bar, name, "type", TW_PARAM_INT32, 1, &type);
        TwGetParam(bar, name, "readonly", TW_PARAM_INT32, 1, &readOnly);
        TwGetParam(bar, name, "value", TW_PARAM_CSTRING, sizeof text, text);
        const ParamValue::Type kind = type == TW_TYPE_BOOLCPP ? ParamValue::Type::BOOL
                                      : type == TW_TYPE_INT32 ? ParamValue::Type::INT
                                                              : ParamValue::Type::FLOAT;
        values.push_back({name, kind, readOnly != 0, text});
    }
    return values;
}

bool InterfaceGl::setParamValue(const std::string& name, const std::string& text)
{
    // Checked first: the layer reports what it refuses, and a caller asking is no mistake.
    const std::vector<ParamValue> values = getParamValues();
    const auto found = std::find_if(values.begin(), values.end(),
                                    [&name](const ParamValue& value) { return value.name == name; });
    if (found == values.end() || found->readOnly) {
        return false;
    }
    TwSetCurrentWindow(mTwWindowId);
    return TwSetParam(mBar.get(), name.c_str(), "value", TW_PARAM_CSTRING, 1, text.c_str()) != 0;
}

} // namespace mirvo::params
