// Files dropped on a window: the drop position in points and the paths in the order
// the platform listed them.
#pragma once

#include "app/Event.h"

#include "core/Vec.h"

#include <filesystem>
#include <vector>

namespace mirvo::app {

class FileDropEvent : public Event {
  public:
    FileDropEvent() = default;
    FileDropEvent(WindowRef window, int x, int y, std::vector<std::filesystem::path> files)
        : Event(std::move(window)), mX(x), mY(y), mFiles(std::move(files))
    {
    }

    int getX() const { return mX; }
    int getY() const { return mY; }
    Vec2i getPos() const { return {mX, mY}; }
    const std::vector<std::filesystem::path>& getFiles() const { return mFiles; }
    std::size_t getNumFiles() const { return mFiles.size(); }
    // Throws std::out_of_range past the end.
    const std::filesystem::path& getFile(std::size_t index) const { return mFiles.at(index); }

  private:
    int mX = 0;
    int mY = 0;
    std::vector<std::filesystem::path> mFiles;
};

} // namespace mirvo::app
