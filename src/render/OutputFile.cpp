#include "src/render/OutputFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <random>
#include <system_error>

namespace mirvo::render {

namespace {

namespace fs = std::filesystem;

// The file a name stands for: a symbolic link's target, so that the video lands where the link
// points and the link stays.
fs::path resolveLink(const fs::path& out)
{
    std::error_code error;
    if (fs::is_symlink(out, error)) {
        const fs::path target = fs::canonical(out, error);
        if (!error) {
            return target;
        }
    }
    return out;
}

fs::path folderOf(const fs::path& file)
{
    return file.parent_path().empty() ? fs::path(".") : file.parent_path();
}

bool sameFile(const struct stat& a, const std::string& path)
{
    struct stat b = {};
    return ::stat(path.c_str(), &b) == 0 && a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

[[noreturn]] void throwErrno(const std::string& what)
{
    throw std::system_error(errno, std::generic_category(), what);
}

} // namespace

std::string checkOutputPath(const std::string& out, const std::vector<std::string>& inputs, bool overwrite)
{
    const fs::path target = resolveLink(out);
    const fs::path folder = folderOf(target);
    std::error_code error;
    if (!fs::is_directory(folder, error)) {
        return "the folder '" + folder.string() + "' does not exist";
    }
    if (::access(folder.c_str(), W_OK) != 0) {
        return "the folder '" + folder.string() + "' is not writable";
    }
    if (fs::is_directory(target, error)) {
        return "it is a folder";
    }
    struct stat existing = {};
    if (::stat(target.c_str(), &existing) != 0) {
        return {};
    }
    for (const std::string& input : inputs) {
        if (sameFile(existing, input)) {
            return "it is the music '" + input + "' itself";
        }
    }
    if (!overwrite) {
        return "it exists (--overwrite replaces it)";
    }
    // Renaming over it would go through; a file its owner protected stays protected.
    if (::access(target.c_str(), W_OK) != 0) {
        return "it is not writable";
    }
    return {};
}

OutputFile::OutputFile(const std::string& out) : mTarget(resolveLink(out).string())
{
    const fs::path target(mTarget);
    const std::string stem = (folderOf(target) / ("." + target.filename().string() + ".part-")).string();
    std::mt19937_64 random(
        static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count()) ^
        static_cast<std::uint64_t>(::getpid()));
    int fd = -1;
    for (int attempt = 0; fd < 0 && attempt < 100; ++attempt) {
        char suffix[17];
        std::snprintf(suffix, sizeof(suffix), "%08llx",
                      static_cast<unsigned long long>(random() & 0xffffffffU));
        mWritePath = stem + suffix;
        fd = ::open(mWritePath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0 && errno != EEXIST) {
            throwErrno("cannot create a file in its folder");
        }
    }
    if (fd < 0) {
        throwErrno("cannot create a file in its folder");
    }
    ::close(fd);
}

OutputFile::~OutputFile()
{
    if (!mKept) {
        ::unlink(mWritePath.c_str());
    }
}

void OutputFile::keep(bool replace)
{
    // Whatever happens, the video is not thrown away: at worst it stays under its own name.
    mKept = true;
    if (replace) {
        // Those who could read the replaced file can read the new one; a mode that forbids
        // writing is given only now, when nothing writes any more.
        struct stat existing = {};
        if (::stat(mTarget.c_str(), &existing) == 0) {
            ::chmod(mWritePath.c_str(), existing.st_mode & 07777);
        }
        if (::rename(mWritePath.c_str(), mTarget.c_str()) != 0) {
            throwErrno("cannot give it its name");
        }
        return;
    }
    // A file that took the name while the render ran is not replaced.
    if (::renameat2(AT_FDCWD, mWritePath.c_str(), AT_FDCWD, mTarget.c_str(), RENAME_NOREPLACE) == 0) {
        return;
    }
    if (errno != EINVAL && errno != ENOSYS) {
        throwErrno("cannot give it its name");
    }
    // A file system that cannot refuse to replace: look first.
    struct stat existing = {};
    if (::stat(mTarget.c_str(), &existing) == 0) {
        errno = EEXIST;
        throwErrno("cannot give it its name");
    }
    if (::rename(mWritePath.c_str(), mTarget.c_str()) != 0) {
        throwErrno("cannot give it its name");
    }
}

} // namespace mirvo::render
