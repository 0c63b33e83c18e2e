#include "app/glfw/WindowImplGlfw.h"

#include "app/AppBasic.h"
#include "app/RendererGl.h"
#include "app/glfw/AppImplGlfwBasic.h"
#include "app/glfw/KeyTableGlfw.h"
#include "app/glfw/RendererImplGlfw.h"

#include <GLFW/glfw3.h>

#include <cassert>
#include <cstdlib>
#include <filesystem>
#include <vector>

namespace mirvo::app::glfw {

namespace {

constexpr float kWheelIncrementPerNotch = 0.25f;
// A forced content scale outside these is a typing mistake, not a screen.
constexpr float kMinContentScale = 0.5f;
constexpr float kMaxContentScale = 8.0f;

std::uint32_t modifiersFromGlfw(int mods)
{
    std::uint32_t result = 0;
    if (mods & GLFW_MOD_SHIFT) {
        result |= Event::SHIFT_DOWN;
    }
    if (mods & GLFW_MOD_ALT) {
        result |= Event::ALT_DOWN;
    }
    if (mods & GLFW_MOD_CONTROL) {
        result |= Event::CTRL_DOWN;
    }
    if (mods & GLFW_MOD_SUPER) {
        result |= Event::META_DOWN;
    }
    return result;
}

// Mouse buttons other than right and middle count as the middle ("other") button.
int initiatorForButton(int button)
{
    switch (button) {
    case GLFW_MOUSE_BUTTON_LEFT:
        return MouseEvent::LEFT;
    case GLFW_MOUSE_BUTTON_RIGHT:
        return MouseEvent::RIGHT;
    default:
        return MouseEvent::MIDDLE;
    }
}

std::uint32_t buttonFlag(int initiator)
{
    switch (initiator) {
    case MouseEvent::LEFT:
        return Event::LEFT_DOWN;
    case MouseEvent::RIGHT:
        return Event::RIGHT_DOWN;
    case MouseEvent::MIDDLE:
        return Event::MIDDLE_DOWN;
    default:
        return 0;
    }
}

// The character a key stands for without modifiers, where there is one.
char unmodifiedChar(int key, int scancode)
{
    switch (key) {
    case GLFW_KEY_SPACE:
        return ' ';
    case GLFW_KEY_ENTER:
    case GLFW_KEY_KP_ENTER:
        return '\r';
    case GLFW_KEY_TAB:
        return '\t';
    case GLFW_KEY_BACKSPACE:
        return '\b';
    case GLFW_KEY_ESCAPE:
        return '\x1b';
    case GLFW_KEY_DELETE:
        return '\x7f';
    default:
        break;
    }
    const char* name = glfwGetKeyName(key, scancode);
    if (name && name[0] != '\0' && static_cast<unsigned char>(name[0]) < 0x80) {
        return name[0];
    }
    return 0;
}

} // namespace

WindowImplGlfw::WindowImplGlfw(AppImplGlfwBasic& appImpl, Window::Format format,
                               const RendererRef& sharedRenderer)
    : mAppImpl(appImpl)
{
    AppBasic& app = appImpl.getApp();
    mWindow = Window::privateCreate(this, &app);
    mDisplay = format.getDisplay() ? format.getDisplay() : appImpl.getMainDisplay();
    mResizable = format.isResizable();
    mBorderless = format.isBorderless();
    mAlwaysOnTop = format.isAlwaysOnTop();
    mTitle = format.getTitle();
    mSize = format.getSize();

    if (format.isPosSpecified()) {
        mPos = format.getPos() + (mDisplay ? mDisplay->getPos() : Vec2i());
    } else if (mDisplay) {
        mPos = mDisplay->getPos() +
               Vec2i((mDisplay->getWidth() - mSize.x) / 2, (mDisplay->getHeight() - mSize.y) / 2);
    }

    if (!format.getRenderer()) {
        format.setRenderer(app.getDefaultRenderer()->clone());
    }
    mRenderer = format.getRenderer();

    ViewRequest request;
    request.size = mSize;
    request.title = mTitle;
    request.resizable = mResizable;
    request.borderless = mBorderless;
    request.alwaysOnTop = mAlwaysOnTop;
    mRenderer->setup(&app, &request, sharedRenderer, app.getSettings().isHighDensityDisplayEnabled());

    auto* rendererGl = dynamic_cast<RendererGl*>(mRenderer.get());
    assert(rendererGl && "the GLFW window layer draws through RendererGl");
    mRendererImpl = static_cast<RendererImplGlfw*>(rendererGl->getImpl());
    mGlfwWindow = mRendererImpl->getWindow();

    glfwSetWindowUserPointer(mGlfwWindow, this);
    glfwSetWindowPos(mGlfwWindow, mPos.x, mPos.y);
    installCallbacks();
    glfwShowWindow(mGlfwWindow);
    double cursorX = 0.0;
    double cursorY = 0.0;
    glfwGetCursorPos(mGlfwWindow, &cursorX, &cursorY);
    mCursorPos = {int(cursorX), int(cursorY)};
    glfwFocusWindow(mGlfwWindow);
    // The window manager may have placed or sized the window differently.
    glfwGetWindowPos(mGlfwWindow, &mPos.x, &mPos.y);
    glfwGetWindowSize(mGlfwWindow, &mSize.x, &mSize.y);
}

WindowImplGlfw::~WindowImplGlfw()
{
    release();
    if (mGlfwWindow) {
        mRendererImpl->detach();
        glfwDestroyWindow(mGlfwWindow);
    }
}

void WindowImplGlfw::release()
{
    mPendingKeyDown.reset();
    if (mWindow) {
        mWindow->privateInvalidate();
        mWindow.reset();
    }
    if (mGlfwWindow) {
        // Destroying the native window waits for the destructor: GLFW forbids it inside
        // its own callbacks, where a close may start.
        glfwSetWindowUserPointer(mGlfwWindow, nullptr);
        glfwHideWindow(mGlfwWindow);
    }
}

WindowImplGlfw* WindowImplGlfw::from(GLFWwindow* window)
{
    return static_cast<WindowImplGlfw*>(glfwGetWindowUserPointer(window));
}

namespace {

// Runs a callback body; an exception from the application waits in the application
// object until the loop is out of GLFW's event processing, and is thrown from there.
template <typename Body> void guarded(GLFWwindow* window, Body&& body)
{
    try {
        body();
    } catch (...) {
        auto* self = static_cast<WindowImplGlfw*>(glfwGetWindowUserPointer(window));
        if (!self) {
            throw;
        }
        self->deferException(std::current_exception());
    }
}

} // namespace

void WindowImplGlfw::deferException(std::exception_ptr exception)
{
    mAppImpl.deferException(std::move(exception));
}

void WindowImplGlfw::installCallbacks()
{
    glfwSetKeyCallback(mGlfwWindow, [](GLFWwindow* w, int key, int scancode, int action, int mods) {
        guarded(w, [&] { onKey(w, key, scancode, action, mods); });
    });
    glfwSetCharCallback(mGlfwWindow, [](GLFWwindow* w, unsigned int codepoint) {
        guarded(w, [&] { onChar(w, codepoint); });
    });
    glfwSetMouseButtonCallback(mGlfwWindow, [](GLFWwindow* w, int button, int action, int mods) {
        guarded(w, [&] { onMouseButton(w, button, action, mods); });
    });
    glfwSetCursorPosCallback(
        mGlfwWindow, [](GLFWwindow* w, double x, double y) { guarded(w, [&] { onCursorPos(w, x, y); }); });
    glfwSetScrollCallback(
        mGlfwWindow, [](GLFWwindow* w, double dx, double dy) { guarded(w, [&] { onScroll(w, dx, dy); }); });
    glfwSetDropCallback(mGlfwWindow, [](GLFWwindow* w, int count, const char** paths) {
        guarded(w, [&] { onDrop(w, count, paths); });
    });
    glfwSetWindowSizeCallback(mGlfwWindow, [](GLFWwindow* w, int width, int height) {
        guarded(w, [&] { onWindowSize(w, width, height); });
    });
    glfwSetWindowPosCallback(mGlfwWindow,
                             [](GLFWwindow* w, int x, int y) { guarded(w, [&] { onWindowPos(w, x, y); }); });
    glfwSetWindowCloseCallback(mGlfwWindow, [](GLFWwindow* w) { guarded(w, [&] { onWindowClose(w); }); });
    glfwSetWindowFocusCallback(
        mGlfwWindow, [](GLFWwindow* w, int focused) { guarded(w, [&] { onWindowFocus(w, focused); }); });
    glfwSetWindowIconifyCallback(mGlfwWindow, [](GLFWwindow* w, int iconified) {
        guarded(w, [&] { onWindowIconify(w, iconified); });
    });
}

void WindowImplGlfw::setSize(Vec2i size)
{
    if (mGlfwWindow) {
        glfwSetWindowSize(mGlfwWindow, size.x, size.y);
    }
}

void WindowImplGlfw::setPos(Vec2i pos)
{
    if (mGlfwWindow) {
        glfwSetWindowPos(mGlfwWindow, pos.x, pos.y);
    }
}

void WindowImplGlfw::setTitle(const std::string& title)
{
    mTitle = title;
    if (mGlfwWindow) {
        glfwSetWindowTitle(mGlfwWindow, title.c_str());
    }
}

void WindowImplGlfw::setFullScreen(bool fullScreen, const FullScreenOptions& options)
{
    if (fullScreen == mFullScreen || !mGlfwWindow) {
        return;
    }
    if (fullScreen) {
        // Kiosk mode: the window covers its display at the display's current mode, so
        // there is no mode switch and the other displays stay as they are.
        DisplayRef display = options.getDisplay() ? options.getDisplay() : mDisplay;
        if (!display) {
            display = mAppImpl.getMainDisplay();
        }
        auto* monitor = display ? static_cast<GLFWmonitor*>(display->getNative()) : nullptr;
        const GLFWvidmode* mode = monitor ? glfwGetVideoMode(monitor) : nullptr;
        if (!mode) {
            return;
        }
        mWindowedPos = mPos;
        mWindowedSize = mSize;
        mFullScreen = true;
        mDisplay = display;
        glfwSetWindowMonitor(mGlfwWindow, monitor, 0, 0, mode->width, mode->height, mode->refreshRate);
    } else {
        mFullScreen = false;
        glfwSetWindowMonitor(mGlfwWindow, nullptr, mWindowedPos.x, mWindowedPos.y, mWindowedSize.x,
                             mWindowedSize.y, 0);
        glfwFocusWindow(mGlfwWindow);
    }
    // The stored size becomes the view's bounds whether or not a resize arrived yet.
    glfwGetWindowSize(mGlfwWindow, &mSize.x, &mSize.y);
    glfwGetWindowPos(mGlfwWindow, &mPos.x, &mPos.y);
}

void WindowImplGlfw::setBorderless(bool borderless)
{
    mBorderless = borderless;
    if (mGlfwWindow) {
        glfwSetWindowAttrib(mGlfwWindow, GLFW_DECORATED, borderless ? GLFW_FALSE : GLFW_TRUE);
    }
}

void WindowImplGlfw::setAlwaysOnTop(bool alwaysOnTop)
{
    mAlwaysOnTop = alwaysOnTop;
    if (mGlfwWindow) {
        glfwSetWindowAttrib(mGlfwWindow, GLFW_FLOATING, alwaysOnTop ? GLFW_TRUE : GLFW_FALSE);
    }
}

void WindowImplGlfw::hide()
{
    mHidden = true;
    if (mGlfwWindow) {
        glfwHideWindow(mGlfwWindow);
    }
    mAppImpl.visibilityChanged();
}

void WindowImplGlfw::show()
{
    mHidden = false;
    if (mGlfwWindow) {
        glfwShowWindow(mGlfwWindow);
    }
    mAppImpl.visibilityChanged();
}

void WindowImplGlfw::close()
{
    mAppImpl.closeWindow(this);
}

float WindowImplGlfw::getContentScale() const
{
    if (const char* forced = std::getenv("MIRVO_CONTENT_SCALE")) {
        char* end = nullptr;
        const float scale = std::strtof(forced, &end);
        if (end != forced && *end == '\0' && scale >= kMinContentScale && scale <= kMaxContentScale) {
            return scale;
        }
    }
    if (!mGlfwWindow) {
        return 1.0f;
    }
    // From the screen's DPI setting (Xft.dpi on X11), which the framebuffer does not show.
    float scaleX = 1.0f;
    float scaleY = 1.0f;
    glfwGetWindowContentScale(mGlfwWindow, &scaleX, &scaleY);
    return scaleX > 0.0f ? scaleX : 1.0f;
}

float WindowImplGlfw::getFramebufferScale() const
{
    // What the GL surface really has.
    if (!mGlfwWindow || mSize.x <= 0) {
        return 1.0f;
    }
    int width = 0;
    int height = 0;
    glfwGetFramebufferSize(mGlfwWindow, &width, &height);
    return width > 0 ? float(width) / float(mSize.x) : 1.0f;
}

bool WindowImplGlfw::isFocused() const
{
    return mGlfwWindow && glfwGetWindowAttrib(mGlfwWindow, GLFW_FOCUSED) == GLFW_TRUE;
}

void WindowImplGlfw::setCursorHidden(bool hidden)
{
    if (mGlfwWindow) {
        glfwSetInputMode(mGlfwWindow, GLFW_CURSOR, hidden ? GLFW_CURSOR_HIDDEN : GLFW_CURSOR_NORMAL);
    }
}

void WindowImplGlfw::draw()
{
    if (!mReadyToDraw || !mWindow || isUnseen()) {
        return;
    }
    // The window may close itself from a draw slot; keep it alive to the swap.
    const WindowRef window = mWindow;
    const RendererRef renderer = mRenderer;
    renderer->startDraw();
    mAppImpl.setActiveWindow(this);
    if (mResizePending) {
        mResizePending = false;
        emitResize();
    }
    window->emitDraw();
    renderer->finishDraw();
}

std::uint32_t WindowImplGlfw::currentModifiers() const
{
    // GLFW's key state already includes the key being reported, which is the state
    // after the change, unlike the mods argument on X11.
    if (!mGlfwWindow) {
        return 0;
    }
    auto down = [this](int key) { return glfwGetKey(mGlfwWindow, key) == GLFW_PRESS; };
    std::uint32_t result = 0;
    if (down(GLFW_KEY_LEFT_SHIFT) || down(GLFW_KEY_RIGHT_SHIFT)) {
        result |= Event::SHIFT_DOWN;
    }
    if (down(GLFW_KEY_LEFT_ALT) || down(GLFW_KEY_RIGHT_ALT)) {
        result |= Event::ALT_DOWN;
    }
    if (down(GLFW_KEY_LEFT_CONTROL) || down(GLFW_KEY_RIGHT_CONTROL)) {
        result |= Event::CTRL_DOWN;
    }
    if (down(GLFW_KEY_LEFT_SUPER) || down(GLFW_KEY_RIGHT_SUPER)) {
        result |= Event::META_DOWN;
    }
    return result;
}

Vec2i WindowImplGlfw::cursorPos() const
{
    return mCursorPos;
}

void WindowImplGlfw::prepareEvent(Event& event)
{
    mAppImpl.setActiveWindow(this);
    event.setWindow(mWindow);
}

void WindowImplGlfw::flushPendingKey()
{
    if (!mPendingKeyDown) {
        return;
    }
    KeyEvent event = *mPendingKeyDown;
    mPendingKeyDown.reset();
    if (!mWindow) {
        return;
    }
    prepareEvent(event);
    mWindow->emitKeyDown(event);
}

void WindowImplGlfw::onKey(GLFWwindow* window, int key, int scancode, int action, int mods)
{
    if (WindowImplGlfw* self = from(window)) {
        self->handleKey(key, scancode, action);
    }
}

void WindowImplGlfw::handleKey(int key, int scancode, int action)
{
    flushPendingKey();
    if (!mWindow || !mAppImpl.getApp().receivesEvents()) {
        return;
    }

    const std::uint32_t modifiers = currentModifiers();
    if (action != GLFW_RELEASE && modifiers == Event::CTRL_DOWN) {
        // The application menu's keyboard equivalents take these before the window.
        if (key == GLFW_KEY_Q) {
            mAppImpl.quit();
            return;
        }
        if (key == GLFW_KEY_H) {
            glfwIconifyWindow(mGlfwWindow);
            return;
        }
    }

    // Keys GLFW cannot name keep their scan code as the native code.
    const std::uint32_t native = std::uint32_t(key == GLFW_KEY_UNKNOWN ? scancode : key) & 0xffffu;
    // Until GLFW delivers the text, the key's own character; Shift still applies, as the
    // panels take typed characters from here.
    char character = unmodifiedChar(key, scancode);
    if ((modifiers & Event::SHIFT_DOWN) && character >= 'a' && character <= 'z') {
        character = char(character - 'a' + 'A');
    }
    KeyEvent event(mWindow, translateKey(key), std::uint32_t(static_cast<unsigned char>(character)),
                   character, modifiers, native);
    if (action == GLFW_RELEASE) {
        prepareEvent(event);
        mWindow->emitKeyUp(event);
    } else {
        mPendingKeyDown = event;
    }
}

void WindowImplGlfw::onChar(GLFWwindow* window, unsigned int codepoint)
{
    WindowImplGlfw* self = from(window);
    if (!self || !self->mPendingKeyDown) {
        return;
    }
    const KeyEvent& pending = *self->mPendingKeyDown;
    // The character with modifiers applied (Shift+a gives 'A'); the event carries the
    // first UTF-16 unit of it.
    const std::uint32_t unit = codepoint > 0xffff ? 0xd800u + ((codepoint - 0x10000u) >> 10) : codepoint;
    // Plain ASCII text stands for the 8-bit character too, so shifted symbols come through.
    const char character = codepoint < 0x80 ? char(codepoint) : pending.getChar();
    self->mPendingKeyDown = KeyEvent(pending.getWindow(), pending.getCode(), unit, character,
                                     pending.getModifiers(), pending.getNativeKeyCode());
    self->flushPendingKey();
}

void WindowImplGlfw::onMouseButton(GLFWwindow* window, int button, int action, int mods)
{
    WindowImplGlfw* self = from(window);
    if (!self || !self->mWindow) {
        return;
    }
    self->flushPendingKey();
    if (!self->mAppImpl.getApp().receivesEvents()) {
        return;
    }
    const int initiator = initiatorForButton(button);
    const std::uint32_t flag = buttonFlag(initiator);
    if (action == GLFW_PRESS) {
        self->mButtonsDown |= flag;
    } else {
        self->mButtonsDown &= ~flag;
    }

    const Vec2i pos = self->cursorPos();
    MouseEvent event(self->mWindow, initiator, pos.x, pos.y, modifiersFromGlfw(mods) | flag, 0.0f,
                     std::uint32_t(mods));
    self->prepareEvent(event);
    if (action == GLFW_PRESS) {
        self->mWindow->emitMouseDown(event);
    } else {
        self->mWindow->emitMouseUp(event);
    }
}

void WindowImplGlfw::onCursorPos(GLFWwindow* window, double x, double y)
{
    WindowImplGlfw* self = from(window);
    if (!self || !self->mWindow) {
        return;
    }
    self->flushPendingKey();
    self->mCursorPos = {int(x), int(y)};
    if (!self->mAppImpl.getApp().receivesEvents()) {
        return;
    }
    const std::uint32_t modifiers = self->currentModifiers();
    int initiator = 0;
    if (self->mButtonsDown & Event::LEFT_DOWN) {
        initiator = MouseEvent::LEFT;
    } else if (self->mButtonsDown & Event::RIGHT_DOWN) {
        initiator = MouseEvent::RIGHT;
    } else if (self->mButtonsDown & Event::MIDDLE_DOWN) {
        initiator = MouseEvent::MIDDLE;
    }

    MouseEvent event(self->mWindow, initiator, int(x), int(y), modifiers | buttonFlag(initiator), 0.0f,
                     modifiers);
    self->prepareEvent(event);
    if (initiator != 0) {
        self->mWindow->emitMouseDrag(event);
    } else {
        self->mWindow->emitMouseMove(event);
    }
}

void WindowImplGlfw::onScroll(GLFWwindow* window, double dx, double dy)
{
    WindowImplGlfw* self = from(window);
    if (!self || !self->mWindow) {
        return;
    }
    self->flushPendingKey();
    if (!self->mAppImpl.getApp().receivesEvents()) {
        return;
    }
    const Vec2i pos = self->cursorPos();
    const std::uint32_t modifiers = self->currentModifiers();
    MouseEvent event(self->mWindow, 0, pos.x, pos.y, modifiers, float(dx + dy) * kWheelIncrementPerNotch,
                     modifiers);
    self->prepareEvent(event);
    self->mWindow->emitMouseWheel(event);
}

void WindowImplGlfw::onDrop(GLFWwindow* window, int count, const char** paths)
{
    WindowImplGlfw* self = from(window);
    if (!self || !self->mWindow) {
        return;
    }
    self->flushPendingKey();
    std::vector<std::filesystem::path> files;
    files.reserve(std::size_t(count));
    for (int i = 0; i < count; ++i) {
        files.emplace_back(std::u8string(reinterpret_cast<const char8_t*>(paths[i])));
    }
    const Vec2i pos = self->cursorPos();
    FileDropEvent event(self->mWindow, pos.x, pos.y, std::move(files));
    self->prepareEvent(event);
    self->mWindow->emitFileDrop(event);
}

void WindowImplGlfw::onWindowSize(GLFWwindow* window, int width, int height)
{
    if (WindowImplGlfw* self = from(window)) {
        self->handleResize(width, height);
    }
}

void WindowImplGlfw::handleResize(int width, int height)
{
    flushPendingKey();
    mRenderer->setFrameSize(width, height);
    mSize = {width, height};
    if (!mWindow) {
        return;
    }
    if (!mReadyToDraw) {
        // A window manager may answer a full-screen or size request only after start-up
        // sent the initial resize; the first draw passes the new size on.
        mResizePending = mSize != mResizedSize;
        return;
    }
    mResizePending = false;
    mRenderer->makeCurrentContext();
    mRenderer->defaultResize();
    mAppImpl.setActiveWindow(this);
    emitResize();
    draw();
}

void WindowImplGlfw::emitResize()
{
    if (!mWindow) {
        return;
    }
    const WindowRef keepAlive = mWindow;
    mResizedSize = mSize;
    keepAlive->emitResize();
}

void WindowImplGlfw::onWindowPos(GLFWwindow* window, int x, int y)
{
    if (WindowImplGlfw* self = from(window)) {
        self->handleMove(x, y);
    }
}

void WindowImplGlfw::handleMove(int x, int y)
{
    flushPendingKey();
    mPos = {x, y};
    if (!mWindow) {
        return;
    }
    const WindowRef keepAlive = mWindow;
    mAppImpl.setActiveWindow(this);
    const DisplayRef display = displayUnderWindow();
    if (display && display != mDisplay) {
        mDisplay = display;
        keepAlive->emitDisplayChange();
    }
    if (keepAlive->isValid()) {
        keepAlive->emitMove();
    }
}

DisplayRef WindowImplGlfw::displayUnderWindow() const
{
    const Vec2i center = mPos + Vec2i(mSize.x / 2, mSize.y / 2);
    for (const DisplayRef& display : mAppImpl.getDisplays()) {
        if (display->contains(center)) {
            return display;
        }
    }
    return mDisplay;
}

void WindowImplGlfw::onWindowClose(GLFWwindow* window)
{
    WindowImplGlfw* self = from(window);
    if (!self) {
        return;
    }
    self->flushPendingKey();
    // The close is ours to carry out (or refuse); GLFW's flag only records the request.
    glfwSetWindowShouldClose(window, GLFW_FALSE);
    self->mAppImpl.closeRequested(self);
}

void WindowImplGlfw::onWindowFocus(GLFWwindow* window, int focused)
{
    if (WindowImplGlfw* self = from(window)) {
        self->mAppImpl.focusChanged(self, focused == GLFW_TRUE);
    }
}

void WindowImplGlfw::onWindowIconify(GLFWwindow* window, int iconified)
{
    if (WindowImplGlfw* self = from(window)) {
        self->mIconified = iconified == GLFW_TRUE;
        self->mAppImpl.visibilityChanged();
    }
}

} // namespace mirvo::app::glfw
