#include "app/Window.h"

#include "app/App.h"
#include "app/Renderer.h"
#include "app/WindowImpl.h"

namespace mirvo::app {

WindowRef Window::privateCreate(WindowImpl* impl, App* app)
{
    return WindowRef(new Window(impl, app));
}

Window::Window(WindowImpl* impl, App* app) : mApp(app), mImpl(impl)
{
}

void Window::checkValid() const
{
    if (!mValid || !mImpl) {
        throw ExcInvalidWindow();
    }
}

Vec2i Window::getSize() const
{
    checkValid();
    return mImpl->getSize();
}

float Window::getAspectRatio() const
{
    const Vec2i size = getSize();
    return size.y == 0 ? 1.0f : float(size.x) / float(size.y);
}

void Window::setSize(Vec2i size)
{
    checkValid();
    mImpl->setSize(size);
}

Vec2i Window::getPos() const
{
    checkValid();
    return mImpl->getPos();
}

void Window::setPos(Vec2i pos)
{
    checkValid();
    mImpl->setPos(pos);
}

std::string Window::getTitle() const
{
    checkValid();
    return mImpl->getTitle();
}

void Window::setTitle(const std::string& title)
{
    checkValid();
    mImpl->setTitle(title);
}

bool Window::isFullScreen() const
{
    checkValid();
    return mImpl->isFullScreen();
}

void Window::setFullScreen(bool fullScreen, const FullScreenOptions& options)
{
    checkValid();
    mImpl->setFullScreen(fullScreen, options);
}

bool Window::isBorderless() const
{
    checkValid();
    return mImpl->isBorderless();
}

void Window::setBorderless(bool borderless)
{
    checkValid();
    mImpl->setBorderless(borderless);
}

bool Window::isAlwaysOnTop() const
{
    checkValid();
    return mImpl->isAlwaysOnTop();
}

void Window::setAlwaysOnTop(bool alwaysOnTop)
{
    checkValid();
    mImpl->setAlwaysOnTop(alwaysOnTop);
}

void Window::hide()
{
    checkValid();
    mImpl->hide();
}

void Window::show()
{
    checkValid();
    mImpl->show();
}

bool Window::isHidden() const
{
    checkValid();
    return mImpl->isHidden();
}

void Window::close()
{
    checkValid();
    mImpl->close();
}

DisplayRef Window::getDisplay() const
{
    checkValid();
    return mImpl->getDisplay();
}

RendererRef Window::getRenderer() const
{
    checkValid();
    return mImpl->getRenderer();
}

float Window::getContentScale() const
{
    checkValid();
    return mImpl->getContentScale();
}

float Window::getFramebufferScale() const
{
    checkValid();
    return mImpl->getFramebufferScale();
}

void* Window::getNative() const
{
    checkValid();
    return mImpl->getNative();
}

template <typename EventT, typename Handler>
void Window::emitEvent(EventSignal<EventT>& signal, EventT& event, Handler handler)
{
    checkValid();
    if (const RendererRef renderer = mImpl->getRenderer()) {
        renderer->makeCurrentContext();
    }

    // Nested emissions (a slot that emits another event) restore the outer event.
    const Event* outer = mEmittingEvent;
    mEmittingEvent = &event;
    try {
        signal(event);
    } catch (...) {
        mEmittingEvent = outer;
        throw;
    }
    mEmittingEvent = outer;

    if (!event.isHandled() && mApp) {
        (mApp->*handler)(event);
    }
}

void Window::emitMouseDown(MouseEvent& event)
{
    emitEvent(mSignalMouseDown, event, &App::mouseDown);
}

void Window::emitMouseDrag(MouseEvent& event)
{
    emitEvent(mSignalMouseDrag, event, &App::mouseDrag);
}

void Window::emitMouseUp(MouseEvent& event)
{
    emitEvent(mSignalMouseUp, event, &App::mouseUp);
}

void Window::emitMouseWheel(MouseEvent& event)
{
    emitEvent(mSignalMouseWheel, event, &App::mouseWheel);
}

void Window::emitMouseMove(MouseEvent& event)
{
    emitEvent(mSignalMouseMove, event, &App::mouseMove);
}

void Window::emitTouchesBegan(TouchEvent& event)
{
    emitEvent(mSignalTouchesBegan, event, &App::touchesBegan);
}

void Window::emitTouchesMoved(TouchEvent& event)
{
    emitEvent(mSignalTouchesMoved, event, &App::touchesMoved);
}

void Window::emitTouchesEnded(TouchEvent& event)
{
    emitEvent(mSignalTouchesEnded, event, &App::touchesEnded);
}

void Window::emitKeyDown(KeyEvent& event)
{
    emitEvent(mSignalKeyDown, event, &App::keyDown);
}

void Window::emitKeyUp(KeyEvent& event)
{
    emitEvent(mSignalKeyUp, event, &App::keyUp);
}

void Window::emitFileDrop(FileDropEvent& event)
{
    emitEvent(mSignalFileDrop, event, &App::fileDrop);
}

void Window::emitDraw()
{
    checkValid();
    mSignalDraw();
    if (mApp) {
        mApp->draw();
    }
    mSignalPostDraw();
}

void Window::emitResize()
{
    checkValid();
    if (const RendererRef renderer = mImpl->getRenderer()) {
        renderer->makeCurrentContext();
        renderer->defaultResize();
    }
    mSignalResize();
    if (mApp) {
        mApp->resize();
    }
}

void Window::emitNotification(EventSignalWindow& signal)
{
    checkValid();
    if (const RendererRef renderer = mImpl->getRenderer()) {
        renderer->makeCurrentContext();
    }
    signal();
}

void Window::emitMove()
{
    emitNotification(mSignalMove);
}

void Window::emitDisplayChange()
{
    emitNotification(mSignalDisplayChange);
}

void Window::emitClose()
{
    mSignalClose();
}

void Window::privateInvalidate()
{
    mValid = false;
    mImpl = nullptr;
}

} // namespace mirvo::app
