// A private temporary folder for one test, removed with everything in it afterwards.
#pragma once

#include <cstdio>
#include <filesystem>
#include <string>
#include <string_view>
#include <unistd.h>

namespace mirvo::test {

class TempDir {
  public:
    TempDir()
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "mirvo-core-XXXXXX").string();
        if (mkdtemp(pattern.data())) {
            mPath = pattern;
        }
    }
    ~TempDir()
    {
        std::error_code ignored;
        std::filesystem::remove_all(mPath, ignored);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& path() const { return mPath; }

    // Writes `bytes` to `relative` (creating its folders) and returns the full path.
    std::string write(const std::filesystem::path& relative, std::string_view bytes) const
    {
        const std::filesystem::path full = mPath / relative;
        std::filesystem::create_directories(full.parent_path());
        FILE* file = std::fopen(full.c_str(), "wb");
        if (file) {
            std::fwrite(bytes.data(), 1, bytes.size(), file);
            std::fclose(file);
        }
        return full.string();
    }

  private:
    std::filesystem::path mPath;
};

// Bytes 0, 1, 2, ... wrapping at 251 so that any misplaced offset shows.
inline std::string patternBytes(std::size_t count)
{
    std::string bytes(count, '\0');
    for (std::size_t i = 0; i < count; ++i) {
        bytes[i] = static_cast<char>(i % 251);
    }
    return bytes;
}

} // namespace mirvo::test
