#include "core/Resources.h"

#include <filesystem>
#include <mutex>

namespace mirvo::app {

namespace fs = std::filesystem;

namespace {

constexpr std::size_t kMaxMessageLength = 4095;

std::mutex& resourceDirectoryMutex()
{
    static std::mutex mutex;
    return mutex;
}

std::string& resourceDirectoryOverride()
{
    static std::string directory;
    return directory;
}

fs::path defaultResourceDirectory()
{
    std::error_code error;
    const fs::path executable = fs::read_symlink("/proc/self/exe", error);
    if (error || executable.empty()) {
        return fs::current_path(error) / "resources";
    }
    const fs::path beside = executable.parent_path() / "resources";
    // An installed program finds its resources under share/ instead.
    const fs::path installed = executable.parent_path().parent_path() / "share" / "mirvo" / "resources";
    if (!fs::is_directory(beside, error) && fs::is_directory(installed, error)) {
        return installed;
    }
    return beside;
}

} // namespace

ResourceLoadExc::ResourceLoadExc(const std::string& resourceName)
{
    std::string message = "Failed to load resource: " + resourceName;
    if (message.size() > kMaxMessageLength) {
        message.resize(kMaxMessageLength);
    }
    setMessage(std::move(message));
}

std::string getResourceDirectory()
{
    {
        std::lock_guard<std::mutex> lock(resourceDirectoryMutex());
        if (!resourceDirectoryOverride().empty()) {
            return resourceDirectoryOverride();
        }
    }
    return defaultResourceDirectory().string();
}

void setResourceDirectory(const std::string& directory)
{
    std::lock_guard<std::mutex> lock(resourceDirectoryMutex());
    resourceDirectoryOverride() = directory;
}

std::string getResourcePath(const std::string& name)
{
    const fs::path whole(name);
    const fs::path fileName = whole.filename();
    if (fileName.empty() || fileName == "." || fileName == "..") {
        return {};
    }
    // The sub-directory is always taken relative to the resource folder, and may not climb
    // out of it.
    fs::path subDirectory = whole.parent_path().relative_path();
    for (const fs::path& element : subDirectory) {
        if (element == "..") {
            return {};
        }
    }

    const fs::path candidate = fs::path(getResourceDirectory()) / subDirectory / fileName;
    std::error_code error;
    if (!fs::is_regular_file(candidate, error)) {
        return {};
    }
    return candidate.string();
}

DataSourcePathRef loadResource(const std::string& name)
{
    const std::string path = getResourcePath(name);
    if (path.empty()) {
        throw ResourceLoadExc(name);
    }
    return DataSourcePath::create(path);
}

} // namespace mirvo::app
