// Running a shell script from a test and reading back what it wrote, for the tests
// that drive the sample program or xdotool as separate processes.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <unistd.h>

namespace mirvo::app::test {

// A fresh directory under the system's temporary folder, removed with the object.
class ScratchDir {
  public:
    ScratchDir()
    {
        mPath = std::filesystem::temp_directory_path() /
                ("mirvo-app-test-" + std::to_string(::getpid()) + "-" + std::to_string(sCounter++));
        std::filesystem::create_directories(mPath);
    }
    ~ScratchDir()
    {
        std::error_code ignored;
        std::filesystem::remove_all(mPath, ignored);
    }
    const std::filesystem::path& path() const { return mPath; }

  private:
    static inline int sCounter = 0;
    std::filesystem::path mPath;
};

inline std::string readFile(const std::filesystem::path& path)
{
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// Runs the script with bash and returns its exit status (-1 when it did not exit).
inline int runScript(const std::string& script)
{
    const std::string command = "bash -c '" + script + "'";
    const int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

} // namespace mirvo::app::test
