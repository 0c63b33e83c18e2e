// One GLFW window: its stored size and position, full-screen state, and the bridge
// from GLFW's callbacks (found through the window's user pointer) to the Window's
// emissions. Owned by AppImplGlfwBasic; main thread only.
#pragma once

#include "app/KeyEvent.h"
#include "app/Window.h"
#include "app/WindowImpl.h"

#include <cstdint>
#include <exception>
#include <optional>

struct GLFWwindow;

namespace mirvo::app::glfw {

class AppImplGlfwBasic;
class RendererImplGlfw;

class WindowImplGlfw : public WindowImpl {
  public:
    // Creates the native window and its renderer from the format; throws ExcNoDisplay
    // when no GL window can be made.
    WindowImplGlfw(AppImplGlfwBasic& appImpl, Window::Format format, const RendererRef& sharedRenderer);
    ~WindowImplGlfw() override;

    Vec2i getSize() const override { return mSize; }
    void setSize(Vec2i size) override;
    Vec2i getPos() const override { return mPos; }
    void setPos(Vec2i pos) override;
    std::string getTitle() const override { return mTitle; }
    void setTitle(const std::string& title) override;
    bool isFullScreen() const override { return mFullScreen; }
    void setFullScreen(bool fullScreen, const FullScreenOptions& options) override;
    bool isBorderless() const override { return mBorderless; }
    void setBorderless(bool borderless) override;
    bool isAlwaysOnTop() const override { return mAlwaysOnTop; }
    void setAlwaysOnTop(bool alwaysOnTop) override;
    void hide() override;
    void show() override;
    bool isHidden() const override { return mHidden; }
    // Minimised or hidden: nobody can see it, so it is not drawn.
    bool isUnseen() const { return mHidden || mIconified; }
    void close() override;
    DisplayRef getDisplay() const override { return mDisplay; }
    RendererRef getRenderer() const override { return mRenderer; }
    float getContentScale() const override;
    float getFramebufferScale() const override;
    void* getNative() const override { return mGlfwWindow; }

    const WindowRef& getWindow() const { return mWindow; }
    GLFWwindow* getGlfwWindow() const { return mGlfwWindow; }
    bool isFocused() const;

    // The frame timer marks the view ready; only then do draws and resizes reach the
    // application.
    void setReadyToDraw(bool ready) { mReadyToDraw = ready; }
    void draw();
    // A key press waits for the character GLFW delivers right after it; anything else
    // that happens first sends it without one.
    void flushPendingKey();
    void setCursorHidden(bool hidden);
    // The window's resize emission, remembering the size it announced.
    void emitResize();

    // Keeps an exception thrown inside a GLFW callback for the event loop to rethrow.
    void deferException(std::exception_ptr exception);

    // The Window becomes invalid and the native window disappears; the native window is
    // destroyed with this object.
    void release();

  private:
    static WindowImplGlfw* from(GLFWwindow* window);
    static void onKey(GLFWwindow* window, int key, int scancode, int action, int mods);
    static void onChar(GLFWwindow* window, unsigned int codepoint);
    static void onMouseButton(GLFWwindow* window, int button, int action, int mods);
    static void onCursorPos(GLFWwindow* window, double x, double y);
    static void onScroll(GLFWwindow* window, double dx, double dy);
    static void onDrop(GLFWwindow* window, int count, const char** paths);
    static void onWindowSize(GLFWwindow* window, int width, int height);
    static void onWindowPos(GLFWwindow* window, int x, int y);
    static void onWindowClose(GLFWwindow* window);
    static void onWindowFocus(GLFWwindow* window, int focused);
    static void onWindowIconify(GLFWwindow* window, int iconified);

    void installCallbacks();
    void handleKey(int key, int scancode, int action);
    void handleResize(int width, int height);
    void handleMove(int x, int y);
    std::uint32_t currentModifiers() const;
    Vec2i cursorPos() const;
    void prepareEvent(Event& event);
    DisplayRef displayUnderWindow() const;

    AppImplGlfwBasic& mAppImpl;
    WindowRef mWindow;
    RendererRef mRenderer;
    RendererImplGlfw* mRendererImpl = nullptr;
    GLFWwindow* mGlfwWindow = nullptr;
    DisplayRef mDisplay;

    Vec2i mSize;
    Vec2i mPos;
    std::string mTitle;
    bool mResizable = true;
    bool mBorderless = false;
    bool mAlwaysOnTop = false;
    bool mHidden = false;
    bool mIconified = false;
    bool mFullScreen = false;
    Vec2i mWindowedPos;
    Vec2i mWindowedSize;
    bool mReadyToDraw = false;
    bool mResizePending = false;
    // The size the application last heard of.
    Vec2i mResizedSize;

    std::optional<KeyEvent> mPendingKeyDown;
    // Button flags of the buttons held, so that cursor motion becomes a drag.
    std::uint32_t mButtonsDown = 0;
    // Where the last motion event put the cursor: button, wheel and drop events carry no
    // position of their own, and asking the server would give where the pointer is now.
    Vec2i mCursorPos;
};

} // namespace mirvo::app::glfw
