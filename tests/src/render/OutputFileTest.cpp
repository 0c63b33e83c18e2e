#include "src/render/OutputFile.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <system_error>

namespace mirvo::render {
namespace {

namespace fs = std::filesystem;

class OutputFiles : public ::testing::Test {
  protected:
    OutputFiles() : folder(fs::temp_directory_path() / ("mirvo-output-" + std::to_string(::getpid())))
    {
        fs::create_directories(folder);
    }
    ~OutputFiles() override { fs::remove_all(folder); }

    std::string path(const std::string& name) const { return (folder / name).string(); }

    static void write(const std::string& file, const std::string& text) { std::ofstream(file) << text; }

    static std::string read(const std::string& file)
    {
        std::ifstream in(file);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }

    std::size_t entries() const
    {
        return static_cast<std::size_t>(
            std::distance(fs::directory_iterator(folder), fs::directory_iterator()));
    }

    fs::path folder;
};

// A file that took the name while the render ran is someone else's: without --overwrite it
// stays, and so does the video, under the name it was written to.
TEST_F(OutputFiles, NameTakenDuringTheRenderIsNotReplaced)
{
    std::string written;
    {
        OutputFile file(path("out.mp4"));
        written = file.getWritePath();
        write(written, "video");
        write(path("out.mp4"), "theirs");
        EXPECT_THROW(file.keep(false), std::system_error);
    }
    EXPECT_EQ(read(path("out.mp4")), "theirs");
    EXPECT_EQ(read(written), "video");
}

// A symbolic link called OUT keeps pointing where it did, now at the video, with the replaced
// file's permissions.
TEST_F(OutputFiles, LinkedNameGetsTheVideoAtItsTarget)
{
    write(path("old.mp4"), "old");
    ::chmod(path("old.mp4").c_str(), 0640);
    fs::create_symlink("old.mp4", path("link.mp4"));
    {
        OutputFile file(path("link.mp4"));
        write(file.getWritePath(), "new");
        EXPECT_EQ(read(path("old.mp4")), "old");
        file.keep(true);
    }
    EXPECT_TRUE(fs::is_symlink(path("link.mp4")));
    EXPECT_EQ(read(path("link.mp4")), "new");
    struct stat status = {};
    ASSERT_EQ(::stat(path("old.mp4").c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 0777, 0640U);
    EXPECT_EQ(entries(), 2U);
}

TEST_F(OutputFiles, UnkeptFileLeavesNothing)
{
    write(path("out.mkv"), "old");
    {
        OutputFile file(path("out.mkv"));
        write(file.getWritePath(), "half");
    }
    EXPECT_EQ(read(path("out.mkv")), "old");
    EXPECT_EQ(entries(), 1U);
}

} // namespace
} // namespace mirvo::render
