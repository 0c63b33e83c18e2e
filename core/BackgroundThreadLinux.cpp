#include "core/BackgroundThread.h"

#include <pthread.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cstring>

namespace mirvo {

namespace {

// Nice 10 gives the thread about a tenth of the weight of a normal one when the cores are
// contended, and all they leave when not.
constexpr int kNice = 10;

} // namespace

void becomeBackgroundThread(const char* name)
{
    char shortName[16] = {};
    std::strncpy(shortName, name, sizeof(shortName) - 1);
    pthread_setname_np(pthread_self(), shortName);
    // On Linux a priority set for a thread id is that thread's alone.
    setpriority(PRIO_PROCESS, static_cast<id_t>(gettid()), kNice);
}

} // namespace mirvo
