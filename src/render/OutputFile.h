// The file a render writes. The video goes to a new file beside OUT and takes OUT's name only
// once there is something to keep, so that a file already called OUT is replaced whole or not at
// all, never left half overwritten; and nothing is written at all when OUT is one of the songs.
#pragma once

#include <string>
#include <vector>

namespace mirvo::render {

// Empty when a render may write `out`, else why not: a missing or unwritable folder, a folder
// called `out`, `out` being one of `inputs` (by device and inode, so links count), `out`
// existing without `overwrite` or, with it, not writable. Opens nothing.
std::string checkOutputPath(const std::string& out, const std::vector<std::string>& inputs, bool overwrite);

class OutputFile {
  public:
    // Creates an empty file beside `out` (beside the file `out` links to, when it is a symbolic
    // link). Throws std::system_error.
    explicit OutputFile(const std::string& out);
    // Removes the written file unless it was kept.
    ~OutputFile();
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    // Where the bytes go while the render runs.
    const std::string& getWritePath() const { return mWritePath; }

    // Gives the written file the name `out`, replacing a file of that name only when `replace`
    // (the new file then has the old one's permissions). Throws std::system_error, the written
    // file then staying where getWritePath says.
    void keep(bool replace);

  private:
    std::string mTarget;
    std::string mWritePath;
    bool mKept = false;
};

} // namespace mirvo::render
