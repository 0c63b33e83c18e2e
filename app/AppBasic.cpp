#include "app/AppBasic.h"

#include "app/AppImplBasic.h"
#include "app/RendererGl.h"

namespace mirvo::app {

AppBasic::AppBasic() = default;

AppBasic::~AppBasic()
{
    // The platform object goes first: its windows refer back to this application.
    mImpl.reset();
}

void AppBasic::launch(const char* title, int argc, char* const argv[])
{
    for (int i = 0; i < argc; ++i) {
        mCommandLineArgs.emplace_back(argv[i]);
    }
    mSettings.setTitle(title ? title : "");
    prepareSettings(&mSettings);
    if (mSettings.isShouldQuit()) {
        return;
    }
    enablePowerManagement(mSettings.isPowerManagementEnabled());

    if (!getDefaultRenderer()) {
        setDefaultRenderer(RendererGl::create());
    }
    mImpl = makeAppImplBasic(*this);
    mImpl->run();
}

void AppBasic::quit()
{
    if (mImpl) {
        mImpl->quit();
    }
}

WindowRef AppBasic::getWindow() const
{
    return mImpl ? mImpl->getWindow() : WindowRef();
}

std::size_t AppBasic::getNumWindows() const
{
    return mImpl ? mImpl->getNumWindows() : 0;
}

WindowRef AppBasic::getWindowIndex(std::size_t index) const
{
    if (!mImpl) {
        throw ExcInvalidWindow();
    }
    return mImpl->getWindowIndex(index);
}

float AppBasic::getFrameRate() const
{
    return mImpl ? mImpl->getFrameRate() : mSettings.getFrameRate();
}

void AppBasic::setFrameRate(float frameRate)
{
    if (mImpl) {
        mImpl->setFrameRate(frameRate);
    } else {
        mSettings.setFrameRate(frameRate);
    }
}

void AppBasic::disableFrameRate()
{
    if (mImpl) {
        mImpl->disableFrameRate();
    } else {
        mSettings.disableFrameRate();
    }
}

bool AppBasic::isFrameRateEnabled() const
{
    return mImpl ? mImpl->isFrameRateEnabled() : mSettings.isFrameRateEnabled();
}

WindowRef AppBasic::getForegroundWindow() const
{
    return mImpl ? mImpl->getForegroundWindow() : WindowRef();
}

void AppBasic::hideCursor()
{
    if (mImpl) {
        mImpl->hideCursor();
    }
}

void AppBasic::showCursor()
{
    if (mImpl) {
        mImpl->showCursor();
    }
}

WindowRef AppBasic::createWindow(const Window::Format& format)
{
    if (!mImpl) {
        throw ExcInvalidWindow();
    }
    return mImpl->createWindow(format);
}

DisplayRef AppBasic::getMainDisplay() const
{
    return mImpl ? mImpl->getMainDisplay() : DisplayRef();
}

std::vector<DisplayRef> AppBasic::getDisplays() const
{
    return mImpl ? mImpl->getDisplays() : std::vector<DisplayRef>();
}

} // namespace mirvo::app
