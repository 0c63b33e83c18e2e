// The window the application draws into: creation options (Window::Format), the
// seventeen event and notification signals, and the path from an event to the
// application's handler. Created and released by the platform layer on the main
// thread; a WindowRef kept after the window closed throws ExcInvalidWindow on use.
#pragma once

#include "app/Display.h"
#include "app/EventCombiner.h"
#include "app/FileDropEvent.h"
#include "app/FullScreenOptions.h"
#include "app/KeyEvent.h"
#include "app/MouseEvent.h"
#include "app/TouchEvent.h"

#include "core/Exception.h"
#include "core/Vec.h"

#include <boost/signals2/signal.hpp>

#include <memory>
#include <string>

namespace mirvo::app {

class App;
class Renderer;
class WindowImpl;
using RendererRef = std::shared_ptr<Renderer>;

class ExcInvalidWindow : public mirvo::Exception {
  public:
    ExcInvalidWindow() : mirvo::Exception("Invalid window") {}
};

class Window : public std::enable_shared_from_this<Window> {
  public:
    class Format {
      public:
        Format() = default;

        Format& renderer(RendererRef renderer)
        {
            mRenderer = std::move(renderer);
            return *this;
        }
        Format& fullScreen(bool fullScreen = true, const FullScreenOptions& options = FullScreenOptions())
        {
            mFullScreen = fullScreen;
            mFullScreenOptions = options;
            return *this;
        }
        Format& display(DisplayRef display)
        {
            mDisplay = std::move(display);
            return *this;
        }
        Format& size(Vec2i size)
        {
            mSize = size;
            return *this;
        }
        Format& size(int width, int height) { return size(Vec2i(width, height)); }
        // Points from the display's top-left corner.
        Format& pos(Vec2i pos)
        {
            mPos = pos;
            mPosSpecified = true;
            return *this;
        }
        Format& pos(int x, int y) { return pos(Vec2i(x, y)); }
        Format& resizable(bool resizable = true)
        {
            mResizable = resizable;
            return *this;
        }
        Format& borderless(bool borderless = true)
        {
            mBorderless = borderless;
            return *this;
        }
        Format& alwaysOnTop(bool alwaysOnTop = true)
        {
            mAlwaysOnTop = alwaysOnTop;
            return *this;
        }
        Format& fullScreenButton(bool enabled = true)
        {
            mFullScreenButton = enabled;
            return *this;
        }
        Format& title(std::string title)
        {
            mTitle = std::move(title);
            return *this;
        }

        const RendererRef& getRenderer() const { return mRenderer; }
        void setRenderer(RendererRef renderer) { mRenderer = std::move(renderer); }
        bool isFullScreen() const { return mFullScreen; }
        void setFullScreen(bool enable, const FullScreenOptions& options = FullScreenOptions())
        {
            fullScreen(enable, options);
        }
        const FullScreenOptions& getFullScreenOptions() const { return mFullScreenOptions; }
        // Empty means the main display.
        const DisplayRef& getDisplay() const { return mDisplay; }
        Vec2i getSize() const { return mSize; }
        void setSize(Vec2i size) { mSize = size; }
        Vec2i getPos() const { return mPos; }
        void setPos(Vec2i pos) { this->pos(pos); }
        bool isPosSpecified() const { return mPosSpecified; }
        bool isResizable() const { return mResizable; }
        bool isBorderless() const { return mBorderless; }
        bool isAlwaysOnTop() const { return mAlwaysOnTop; }
        bool isFullScreenButtonEnabled() const { return mFullScreenButton; }
        const std::string& getTitle() const { return mTitle; }
        void setTitle(std::string title) { mTitle = std::move(title); }

      private:
        RendererRef mRenderer;
        bool mFullScreen = false;
        FullScreenOptions mFullScreenOptions;
        DisplayRef mDisplay;
        Vec2i mSize{640, 480};
        Vec2i mPos{0, 0};
        bool mPosSpecified = false;
        bool mResizable = true;
        bool mBorderless = false;
        bool mAlwaysOnTop = false;
        bool mFullScreenButton = false;
        std::string mTitle;
    };

    template <typename EventT>
    using EventSignal = boost::signals2::signal<void(EventT&), EventCombiner<EventT>>;
    using EventSignalMouse = EventSignal<MouseEvent>;
    using EventSignalTouch = EventSignal<TouchEvent>;
    using EventSignalKey = EventSignal<KeyEvent>;
    using EventSignalFileDrop = EventSignal<FileDropEvent>;
    using EventSignalWindow = boost::signals2::signal<void()>;

    // Made by the platform layer, which attaches itself and the application at once.
    static WindowRef privateCreate(WindowImpl* impl, App* app);

    Window(const Window&) = delete;
    Window& operator=(const Window&) = delete;
    ~Window() = default;

    Vec2i getSize() const;
    int getWidth() const { return getSize().x; }
    int getHeight() const { return getSize().y; }
    float getAspectRatio() const;
    void setSize(Vec2i size);
    Vec2i getPos() const;
    void setPos(Vec2i pos);
    std::string getTitle() const;
    void setTitle(const std::string& title);
    bool isFullScreen() const;
    void setFullScreen(bool fullScreen, const FullScreenOptions& options = FullScreenOptions());
    bool isBorderless() const;
    void setBorderless(bool borderless = true);
    bool isAlwaysOnTop() const;
    void setAlwaysOnTop(bool alwaysOnTop = true);
    void hide();
    void show();
    bool isHidden() const;
    // Emits the close signal and releases the window; the object becomes invalid.
    void close();
    DisplayRef getDisplay() const;
    RendererRef getRenderer() const;
    // How much larger than at the standard 96 dots per inch the screen wants text and
    // controls drawn: 2 on a typical HiDPI screen. The environment variable
    // MIRVO_CONTENT_SCALE, when it holds a number from 0.5 to 8, takes the screen's place.
    float getContentScale() const;
    // Framebuffer pixels per point of window size and pointer position; 1 where points are
    // pixels, as on X11, however large the content scale.
    float getFramebufferScale() const;
    // The platform's window handle.
    void* getNative() const;

    bool isValid() const { return mValid; }
    App* getApp() const { return mApp; }

    EventSignalMouse& getSignalMouseDown() { return mSignalMouseDown; }
    EventSignalMouse& getSignalMouseDrag() { return mSignalMouseDrag; }
    EventSignalMouse& getSignalMouseUp() { return mSignalMouseUp; }
    EventSignalMouse& getSignalMouseWheel() { return mSignalMouseWheel; }
    EventSignalMouse& getSignalMouseMove() { return mSignalMouseMove; }
    EventSignalTouch& getSignalTouchesBegan() { return mSignalTouchesBegan; }
    EventSignalTouch& getSignalTouchesMoved() { return mSignalTouchesMoved; }
    EventSignalTouch& getSignalTouchesEnded() { return mSignalTouchesEnded; }
    EventSignalKey& getSignalKeyDown() { return mSignalKeyDown; }
    EventSignalKey& getSignalKeyUp() { return mSignalKeyUp; }
    EventSignalWindow& getSignalDraw() { return mSignalDraw; }
    // After the application's draw and before the buffers swap: the place to read the
    // finished frame back.
    EventSignalWindow& getSignalPostDraw() { return mSignalPostDraw; }
    EventSignalWindow& getSignalMove() { return mSignalMove; }
    EventSignalWindow& getSignalResize() { return mSignalResize; }
    EventSignalWindow& getSignalDisplayChange() { return mSignalDisplayChange; }
    EventSignalWindow& getSignalClose() { return mSignalClose; }
    EventSignalFileDrop& getSignalFileDrop() { return mSignalFileDrop; }

    // Called by the platform layer: the signal first, then, unless a slot handled the
    // event, the application's handler with a copy.
    void emitMouseDown(MouseEvent& event);
    void emitMouseDrag(MouseEvent& event);
    void emitMouseUp(MouseEvent& event);
    void emitMouseWheel(MouseEvent& event);
    void emitMouseMove(MouseEvent& event);
    void emitTouchesBegan(TouchEvent& event);
    void emitTouchesMoved(TouchEvent& event);
    void emitTouchesEnded(TouchEvent& event);
    void emitKeyDown(KeyEvent& event);
    void emitKeyUp(KeyEvent& event);
    void emitFileDrop(FileDropEvent& event);
    void emitDraw();
    void emitResize();
    void emitMove();
    void emitDisplayChange();
    void emitClose();

    // Called by the platform layer when it releases the window.
    void privateInvalidate();

  private:
    Window(WindowImpl* impl, App* app);

    void checkValid() const;
    template <typename EventT, typename Handler>
    void emitEvent(EventSignal<EventT>& signal, EventT& event, Handler handler);
    void emitNotification(EventSignalWindow& signal);

    App* mApp;
    bool mValid = true;
    // Points at the event being emitted so the combiners can see its handled flag.
    const Event* mEmittingEvent = nullptr;

    EventSignalMouse mSignalMouseDown{EventCombiner<MouseEvent>(&mEmittingEvent)};
    EventSignalMouse mSignalMouseDrag{EventCombiner<MouseEvent>(&mEmittingEvent)};
    EventSignalMouse mSignalMouseUp{EventCombiner<MouseEvent>(&mEmittingEvent)};
    EventSignalMouse mSignalMouseWheel{EventCombiner<MouseEvent>(&mEmittingEvent)};
    EventSignalMouse mSignalMouseMove{EventCombiner<MouseEvent>(&mEmittingEvent)};
    EventSignalTouch mSignalTouchesBegan{EventCombiner<TouchEvent>(&mEmittingEvent)};
    EventSignalTouch mSignalTouchesMoved{EventCombiner<TouchEvent>(&mEmittingEvent)};
    EventSignalTouch mSignalTouchesEnded{EventCombiner<TouchEvent>(&mEmittingEvent)};
    EventSignalKey mSignalKeyDown{EventCombiner<KeyEvent>(&mEmittingEvent)};
    EventSignalKey mSignalKeyUp{EventCombiner<KeyEvent>(&mEmittingEvent)};
    EventSignalWindow mSignalDraw;
    EventSignalWindow mSignalPostDraw;
    EventSignalWindow mSignalMove;
    EventSignalWindow mSignalResize;
    EventSignalWindow mSignalDisplayChange;
    EventSignalWindow mSignalClose;
    EventSignalFileDrop mSignalFileDrop{EventCombiner<FileDropEvent>(&mEmittingEvent)};

    WindowImpl* mImpl;
};

} // namespace mirvo::app
