#include "app/App.h"

#include "core/Resources.h"

#include <boost/system/system_error.hpp>

#include <cassert>

namespace mirvo::app {

App::App()
    : mTimeline(Timeline::create()), mIo(std::make_shared<boost::asio::io_service>()),
      mIoWork(std::make_shared<boost::asio::io_service::work>(*mIo))
{
    sInstance = this;
}

App::~App()
{
    // Wakes any thread blocked on the queue; handlers still queued never run.
    mIo->stop();
    if (sInstance == this) {
        sInstance = nullptr;
    }
}

void App::setWindowPos(Vec2i pos)
{
    getWindow()->setPos(pos);
}

std::filesystem::path App::getAppPath() const
{
    std::error_code error;
    const auto executable = std::filesystem::read_symlink("/proc/self/exe", error);
    if (error) {
        return std::filesystem::current_path(error);
    }
    return executable.parent_path();
}

std::filesystem::path App::getBundle() const
{
    return std::filesystem::path(getResourceDirectory());
}

void App::runSetup()
{
    mTimeline->stepTo(getElapsedSeconds());
    setup();
}

void App::runUpdate()
{
    ++mFrameCount;

    boost::system::error_code error;
    mIo->poll(error);
    if (error) {
        throw boost::system::system_error(error);
    }

    mSignalUpdate();
    update();
    mTimeline->stepTo(getElapsedSeconds());
    sampleFps();
}

void App::sampleFps()
{
    const double now = getElapsedSeconds();
    if (now > mFpsLastSampleTime + mFpsSampleInterval) {
        mAverageFps = float(double(mFrameCount - mFpsLastSampleFrame) / (now - mFpsLastSampleTime));
        mFpsLastSampleTime = now;
        mFpsLastSampleFrame = mFrameCount;
    }
}

void App::dispatchAsync(std::function<void()> handler)
{
    assert(handler && "dispatchAsync needs a handler");
    mIo->post(std::move(handler));
}

} // namespace mirvo::app
