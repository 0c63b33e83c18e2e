#include "app/glfw/AppImplGlfwBasic.h"

#include "app/AppBasic.h"
#include "app/glfw/GlfwErrors.h"
#include "app/glfw/KeepAwakeX11.h"
#include "app/glfw/WindowImplGlfw.h"

#include "core/Timer.h"

#include <GLFW/glfw3.h>

#include <algorithm>
#include <cmath>
#include <utility>

namespace mirvo::app {

std::unique_ptr<AppImplBasic> makeAppImplBasic(AppBasic& app)
{
    return std::make_unique<glfw::AppImplGlfwBasic>(app);
}

namespace glfw {

namespace {

constexpr double kKeepAwakeInterval = 30.0;
constexpr double kDisabledFrameInterval = 0.001;
// Waking this close to the deadline is as good as on it; sleeping the remainder would
// cost more than it saves.
constexpr double kDeadlineSlack = 50e-6;
// Nothing to wait for without a frame timer; wake now and then all the same.
constexpr double kIdleWait = 0.5;
// While no window can be seen nothing is drawn, and the frames that keep the application going
// (its music, its media controls) come this far apart.
constexpr double kUnseenFrameInterval = 0.1;

} // namespace

AppImplGlfwBasic::AppImplGlfwBasic(AppBasic& app) : mApp(app)
{
    installErrorCallback();
    clearLastError();
    if (!glfwInit()) {
        throw ExcNoDisplay(noDisplayMessage(app.getSettings().getTitle() + ": cannot open a window"));
    }
    glfwSetMonitorCallback(onMonitor);
    refreshDisplays();
}

AppImplGlfwBasic::~AppImplGlfwBasic()
{
    mActiveWindow = nullptr;
    for (auto& window : mWindows) {
        window->release();
    }
    mWindows.clear();
    mReleasedWindows.clear();
    glfwSetMonitorCallback(nullptr);
    glfwTerminate();
}

void AppImplGlfwBasic::onMonitor(GLFWmonitor* monitor, int event)
{
    auto* app = dynamic_cast<AppBasic*>(App::get());
    if (auto* self = app ? dynamic_cast<AppImplGlfwBasic*>(app->getImpl()) : nullptr) {
        self->refreshDisplays();
    }
}

void AppImplGlfwBasic::refreshDisplays()
{
    int count = 0;
    GLFWmonitor** monitors = glfwGetMonitors(&count);
    std::vector<DisplayRef> displays;
    for (int i = 0; i < count; ++i) {
        GLFWmonitor* monitor = monitors[i];
        Vec2i pos;
        glfwGetMonitorPos(monitor, &pos.x, &pos.y);
        const GLFWvidmode* mode = glfwGetVideoMode(monitor);
        const Vec2i size = mode ? Vec2i(mode->width, mode->height) : Vec2i();
        float scaleX = 1.0f;
        float scaleY = 1.0f;
        glfwGetMonitorContentScale(monitor, &scaleX, &scaleY);
        // Keep the objects of displays that are still there, so windows keep theirs.
        auto existing = std::find_if(mDisplays.begin(), mDisplays.end(),
                                     [monitor](const DisplayRef& d) { return d->getNative() == monitor; });
        if (existing != mDisplays.end()) {
            (*existing)->setBounds(pos, size);
            displays.push_back(*existing);
        } else {
            const char* name = glfwGetMonitorName(monitor);
            displays.push_back(std::make_shared<Display>(pos, size, scaleX, monitor, name ? name : ""));
        }
    }
    mDisplays = std::move(displays);
}

DisplayRef AppImplGlfwBasic::getMainDisplay() const
{
    // glfwGetMonitors lists the primary monitor first.
    return mDisplays.empty() ? DisplayRef() : mDisplays.front();
}

WindowImplGlfw* AppImplGlfwBasic::instantiateWindow(const Window::Format& format)
{
    const RendererRef shared = mWindows.empty() ? RendererRef() : mWindows.front()->getRenderer();
    mWindows.push_back(std::make_unique<WindowImplGlfw>(*this, format, shared));
    WindowImplGlfw* window = mWindows.back().get();
    if (mCursorHidden) {
        window->setCursorHidden(true);
    }
    if (!mActiveWindow) {
        mActiveWindow = window;
    }
    return window;
}

void AppImplGlfwBasic::run()
{
    startUp();

    while (!mTerminating) {
        const double now = Timer::now();
        if (mTimerRunning && now + kDeadlineSlack >= mNextFrameTime) {
            // Like a repeating timer: a late tick fires once and the next one keeps to
            // the original grid of deadlines.
            const double interval = getFrameInterval();
            mNextFrameTime += interval;
            if (mNextFrameTime <= now) {
                mNextFrameTime += (std::floor((now - mNextFrameTime) / interval) + 1.0) * interval;
            }
            timerFired();
            destroyReleasedWindows();
            if (mTerminating) {
                break;
            }
        }
        // Events are handled between any two frames, even when frames run late.
        const double wait = mTimerRunning ? mNextFrameTime - Timer::now() : kIdleWait;
        if (wait > 0.0) {
            glfwWaitEventsTimeout(wait);
        } else {
            glfwPollEvents();
        }
        if (mDeferredException) {
            std::rethrow_exception(std::exchange(mDeferredException, nullptr));
        }
        for (auto& window : mWindows) {
            window->flushPendingKey();
        }
        checkResignActive();
        destroyReleasedWindows();
    }

    shutdownSequence();
}

void AppImplGlfwBasic::startUp()
{
    const auto& settings = mApp.getSettings();
    std::vector<Window::Format> formats = settings.getWindowFormats();
    if (formats.empty()) {
        formats.push_back(settings.getDefaultWindowFormat());
    }
    for (const Window::Format& format : formats) {
        WindowImplGlfw* window = instantiateWindow(format);
        if (format.isFullScreen()) {
            window->setFullScreen(true, format.getFullScreenOptions());
        }
    }

    mFrameRate = settings.getFrameRate();
    mFrameRateEnabled = settings.isFrameRateEnabled();

    mApp.getWindow()->getRenderer()->makeCurrentContext();
    mApp.runSetup();

    // Copy: a resize handler may open or close windows.
    std::vector<WindowImplGlfw*> windows;
    for (auto& window : mWindows) {
        windows.push_back(window.get());
    }
    for (WindowImplGlfw* window : windows) {
        const WindowRef ref = window->getWindow();
        if (!ref) {
            continue;
        }
        window->getRenderer()->makeCurrentContext();
        mActiveWindow = window;
        window->emitResize();
    }

    mActiveWindow = mWindows.empty() ? nullptr : mWindows.front().get();
    startAnimationTimer();
}

void AppImplGlfwBasic::startAnimationTimer()
{
    mTimerRunning = true;
    mNextFrameTime = Timer::now() + getFrameInterval();
}

double AppImplGlfwBasic::getFrameInterval() const
{
    if (mAllUnseen) {
        return kUnseenFrameInterval;
    }
    return mFrameRateEnabled && mFrameRate > 0.0f ? 1.0 / double(mFrameRate) : kDisabledFrameInterval;
}

void AppImplGlfwBasic::timerFired()
{
    if (!mApp.isPowerManagementEnabled()) {
        const double elapsed = mApp.getElapsedSeconds();
        if (elapsed - mLastKeepAwakeTime >= kKeepAwakeInterval) {
            keepDisplayAwake();
            mLastKeepAwakeTime = elapsed;
        }
    }

    mApp.runUpdate();
    if (mTerminating) {
        return;
    }

    std::vector<WindowImplGlfw*> windows;
    for (auto& window : mWindows) {
        window->setReadyToDraw(true);
        windows.push_back(window.get());
    }
    for (WindowImplGlfw* window : windows) {
        // A draw may close another window; skip the ones already released.
        if (window->getWindow()) {
            window->draw();
        }
    }
}

WindowRef AppImplGlfwBasic::createWindow(const Window::Format& format)
{
    WindowImplGlfw* window = instantiateWindow(format);
    if (format.isFullScreen()) {
        window->setFullScreen(true, format.getFullScreenOptions());
    }
    const WindowRef ref = window->getWindow();
    window->getRenderer()->makeCurrentContext();
    mActiveWindow = window;
    window->emitResize();
    window->setReadyToDraw(true);
    return ref;
}

WindowRef AppImplGlfwBasic::getWindow() const
{
    if (!mActiveWindow) {
        throw ExcInvalidWindow();
    }
    return mActiveWindow->getWindow();
}

WindowRef AppImplGlfwBasic::getWindowIndex(std::size_t index) const
{
    if (index >= mWindows.size()) {
        throw ExcInvalidWindow();
    }
    return mWindows[index]->getWindow();
}

WindowRef AppImplGlfwBasic::getForegroundWindow() const
{
    for (const auto& window : mWindows) {
        if (window->isFocused()) {
            return window->getWindow();
        }
    }
    return {};
}

void AppImplGlfwBasic::setFrameRate(float frameRate)
{
    mFrameRate = frameRate;
    mFrameRateEnabled = true;
    startAnimationTimer();
}

void AppImplGlfwBasic::disableFrameRate()
{
    mFrameRateEnabled = false;
    startAnimationTimer();
}

void AppImplGlfwBasic::quit()
{
    if (mApp.privateShouldQuit()) {
        terminate();
    }
}

void AppImplGlfwBasic::terminate()
{
    // The platform asks the query itself before it lets the application end.
    if (mApp.privateShouldQuit()) {
        mTerminating = true;
        mTimerRunning = false;
        glfwPostEmptyEvent();
    }
}

void AppImplGlfwBasic::shutdownSequence()
{
    while (!mWindows.empty()) {
        closeWindow(mWindows.front().get());
    }
    mApp.getSignalShutdown()();
    mApp.shutdown();
    destroyReleasedWindows();
}

void AppImplGlfwBasic::closeWindow(WindowImplGlfw* window)
{
    auto found =
        std::find_if(mWindows.begin(), mWindows.end(), [window](const auto& w) { return w.get() == window; });
    if (found == mWindows.end()) {
        return;
    }
    const bool wasLast = mWindows.size() == 1;

    if (const WindowRef ref = window->getWindow()) {
        mActiveWindow = window;
        ref->emitClose();
    }

    // Release: the active window falls back to the first remaining one.
    found =
        std::find_if(mWindows.begin(), mWindows.end(), [window](const auto& w) { return w.get() == window; });
    if (found == mWindows.end()) {
        return;
    }
    std::unique_ptr<WindowImplGlfw> released = std::move(*found);
    mWindows.erase(found);
    released->release();
    mReleasedWindows.push_back(std::move(released));
    if (mActiveWindow == window) {
        mActiveWindow = mWindows.empty() ? nullptr : mWindows.front().get();
    }

    if (wasLast && !mTerminating && mApp.getSettings().isQuitOnLastWindowCloseEnabled()) {
        terminate();
    }
}

void AppImplGlfwBasic::closeRequested(WindowImplGlfw* window)
{
    if (mWindows.size() == 1 && mApp.getSettings().isQuitOnLastWindowCloseEnabled()) {
        // Closing the last window quits, so the should-quit query may keep it open; the
        // shutdown closes it.
        terminate();
        return;
    }
    closeWindow(window);
}

void AppImplGlfwBasic::destroyReleasedWindows()
{
    mReleasedWindows.clear();
}

void AppImplGlfwBasic::visibilityChanged()
{
    const bool wasUnseen = mAllUnseen;
    mAllUnseen = !mWindows.empty() && std::all_of(mWindows.begin(), mWindows.end(),
                                                  [](const auto& window) { return window->isUnseen(); });
    if (wasUnseen && !mAllUnseen && mTimerRunning) {
        // Shown again: the next frame is drawn at once, not a slow tick later.
        mNextFrameTime = Timer::now();
    }
}

void AppImplGlfwBasic::focusChanged(WindowImplGlfw* window, bool focused)
{
    if (!focused) {
        mFocusLost = true;
    } else if (!mActive) {
        mActive = true;
        mApp.getSignalDidBecomeActive()();
    }
}

void AppImplGlfwBasic::deferException(std::exception_ptr exception)
{
    if (!mDeferredException) {
        mDeferredException = std::move(exception);
    }
}

void AppImplGlfwBasic::checkResignActive()
{
    // Asking for the focus is a round trip to the display server: only after a loss.
    if (!mFocusLost) {
        return;
    }
    mFocusLost = false;
    if (!mActive) {
        return;
    }
    for (const auto& window : mWindows) {
        if (window->isFocused()) {
            return;
        }
    }
    mActive = false;
    mApp.getSignalWillResignActive()();
}

void AppImplGlfwBasic::hideCursor()
{
    mCursorHidden = true;
    for (auto& window : mWindows) {
        window->setCursorHidden(true);
    }
}

void AppImplGlfwBasic::showCursor()
{
    mCursorHidden = false;
    for (auto& window : mWindows) {
        window->setCursorHidden(false);
    }
}

} // namespace glfw
} // namespace mirvo::app
