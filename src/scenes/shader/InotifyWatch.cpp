#include "src/scenes/shader/InotifyWatch.h"

#include <sys/inotify.h>
#include <unistd.h>

#include <array>
#include <cerrno>

namespace mirvo {

InotifyWatch::InotifyWatch() : mFd(inotify_init1(IN_NONBLOCK | IN_CLOEXEC))
{
}

InotifyWatch::~InotifyWatch()
{
    if (mFd >= 0) {
        ::close(mFd);
    }
}

void InotifyWatch::watch(const std::filesystem::path& file)
{
    std::error_code error;
    const std::filesystem::path absolute = std::filesystem::absolute(file, error).lexically_normal();
    if (mFd < 0 || error || mWatched.contains(absolute)) {
        return;
    }
    const std::filesystem::path folder = absolute.parent_path();
    const int descriptor = inotify_add_watch(mFd, folder.c_str(), IN_CLOSE_WRITE | IN_MOVED_TO);
    if (descriptor < 0) {
        return;
    }
    mFolders[descriptor] = folder;
    mWatched.insert(absolute);
}

bool InotifyWatch::takeChange(const std::filesystem::path& file)
{
    readEvents();
    std::error_code error;
    const std::filesystem::path absolute = std::filesystem::absolute(file, error).lexically_normal();
    return mChanged.erase(absolute) > 0;
}

void InotifyWatch::readEvents()
{
    if (mFd < 0) {
        return;
    }
    alignas(inotify_event) std::array<char, 8192> buffer{};
    for (;;) {
        const ssize_t length = ::read(mFd, buffer.data(), buffer.size());
        if (length <= 0) {
            return;
        }
        for (ssize_t at = 0; at < length;) {
            const auto* event = reinterpret_cast<const inotify_event*>(buffer.data() + at);
            at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
            const auto folder = mFolders.find(event->wd);
            if (folder == mFolders.end() || event->len == 0) {
                continue;
            }
            const std::filesystem::path path = folder->second / event->name;
            if (mWatched.contains(path)) {
                mChanged.insert(path);
            }
        }
    }
}

} // namespace mirvo
