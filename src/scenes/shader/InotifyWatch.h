// Tells which of the watched files were saved since the last look, through one inotify
// instance for all of them (a folder of many shaders must not take many: the kernel allows
// few per user). Folders are watched, not files, since editors save by writing a new file and
// renaming it over the old. Main thread; never blocks.
#pragma once

#include <filesystem>
#include <map>
#include <set>
#include <string>

namespace mirvo {

class InotifyWatch {
  public:
    InotifyWatch();
    ~InotifyWatch();
    InotifyWatch(const InotifyWatch&) = delete;
    InotifyWatch& operator=(const InotifyWatch&) = delete;

    // Without inotify (or past the kernel's limits) the file is simply not watched.
    void watch(const std::filesystem::path& file);
    // True once for each save of `file` since the last call that returned true for it.
    bool takeChange(const std::filesystem::path& file);

  private:
    void readEvents();

    int mFd = -1;
    // Watch descriptor -> folder.
    std::map<int, std::filesystem::path> mFolders;
    std::set<std::filesystem::path> mWatched;
    std::set<std::filesystem::path> mChanged;
};

} // namespace mirvo
