#include "core/Timer.h"

#include <chrono>

namespace mirvo {

Timer::Timer(bool startOnConstruction)
{
    if (startOnConstruction) {
        start();
    }
}

void Timer::start()
{
    mStartTime = now();
    mIsStopped = false;
}

void Timer::stop()
{
    if (!mIsStopped) {
        mEndTime = now();
        mIsStopped = true;
    }
}

double Timer::getSeconds() const
{
    return mIsStopped ? mEndTime - mStartTime : now() - mStartTime;
}

double Timer::now()
{
    using namespace std::chrono;
    return duration<double>(steady_clock::now().time_since_epoch()).count();
}

} // namespace mirvo
