#include "src/settings/SettingsFile.h"

#include <cerrno>
#include <charconv>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sstream>
#include <system_error>
#include <unistd.h>
#include <utility>
#include <vector>

namespace mirvo {

namespace {

// Far more than any settings file; a larger one is not ours.
constexpr std::size_t kMaxFileBytes = 1 << 20;

std::string trimmed(const std::string& text)
{
    const auto first = text.find_first_not_of(" \t\r");
    if (first == std::string::npos) {
        return {};
    }
    const auto last = text.find_last_not_of(" \t\r");
    return text.substr(first, last - first + 1);
}

bool isComment(const std::string& line)
{
    return line.empty() || line[0] == '#' || line[0] == ';';
}

// What a line of the text can hold and read back as itself.
bool fitsKey(const std::string& key)
{
    return !key.empty() && key == trimmed(key) && key.find_first_of("=\n") == std::string::npos &&
           key[0] != '[' && !isComment(key);
}

bool fitsValue(const std::string& value)
{
    return value == trimmed(value) && value.find('\n') == std::string::npos;
}

bool fitsSection(const std::string& name)
{
    return !name.empty() && name == trimmed(name) && name.find_first_of("]\n") == std::string::npos;
}

// Empty for a version this program reads.
std::string versionProblem(const std::string& version)
{
    int number = 0;
    const char* last = version.data() + version.size();
    const auto [end, error] = std::from_chars(version.data(), last, number);
    const bool whole = end == last && !version.empty();
    if ((error == std::errc::result_out_of_range && version[0] != '-') ||
        (error == std::errc() && whole && number > SettingsFile::kVersion)) {
        return "a newer Mirvo wrote it (version " + version + ")";
    }
    if (error != std::errc() || !whole || number < 1) {
        return "its version '" + version + "' is not one Mirvo wrote";
    }
    return {};
}

std::string errorText(int error)
{
    return std::generic_category().message(error);
}

// Closes on every path out.
struct FileDescriptor {
    int fd = -1;
    ~FileDescriptor()
    {
        if (fd >= 0) {
            ::close(fd);
        }
    }
};

bool writeAll(int fd, const std::string& text)
{
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t written = ::write(fd, text.data() + done, text.size() - done);
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written <= 0) {
            return false;
        }
        done += static_cast<std::size_t>(written);
    }
    return true;
}

} // namespace

std::filesystem::path SettingsFile::defaultPath()
{
    // Relative values are to be ignored, as the base directory convention asks.
    const char* configHome = std::getenv("XDG_CONFIG_HOME");
    if (configHome != nullptr && configHome[0] == '/') {
        return std::filesystem::path(configHome) / "mirvo" / "settings.ini";
    }
    const char* home = std::getenv("HOME");
    if (home != nullptr && home[0] != '\0') {
        return std::filesystem::path(home) / ".config" / "mirvo" / "settings.ini";
    }
    return {};
}

SettingsFile::Contents SettingsFile::read() const
{
    Contents contents;
    FileDescriptor file{::open(mPath.c_str(), O_RDONLY | O_CLOEXEC)};
    if (file.fd < 0) {
        if (errno == ENOENT) {
            return contents;
        }
        contents.state = Contents::State::REFUSED;
        contents.problem = "cannot read it: " + errorText(errno);
        return contents;
    }
    std::string text;
    char block[4096];
    while (true) {
        const ssize_t got = ::read(file.fd, block, sizeof block);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got < 0) {
            contents.state = Contents::State::REFUSED;
            contents.problem = "cannot read it: " + errorText(errno);
            return contents;
        }
        if (got == 0) {
            break;
        }
        text.append(block, static_cast<std::size_t>(got));
        if (text.size() > kMaxFileBytes) {
            contents.state = Contents::State::REFUSED;
            contents.problem = "it is too large to be a settings file";
            return contents;
        }
    }
    return parse(text);
}

SettingsFile::Contents SettingsFile::parse(const std::string& text)
{
    Contents contents;
    contents.state = Contents::State::REFUSED;
    if (text.find('\0') != std::string::npos) {
        contents.problem = "it is not text";
        return contents;
    }
    SettingsSections sections;
    std::string section;
    // Some editors begin a UTF-8 file with a byte order mark.
    std::istringstream lines(text.rfind("\xEF\xBB\xBF", 0) == 0 ? text.substr(3) : text);
    std::string line;
    bool hasVersion = false;
    for (int number = 1; std::getline(lines, line); ++number) {
        line = trimmed(line);
        if (isComment(line)) {
            continue;
        }
        const std::string where = "line " + std::to_string(number);
        if (line[0] == '[') {
            if (line.back() != ']' || trimmed(line.substr(1, line.size() - 2)).empty()) {
                contents.problem = where + " is not a '[section]'";
                return contents;
            }
            section = trimmed(line.substr(1, line.size() - 2));
            continue;
        }
        const auto equals = line.find('=');
        if (equals == std::string::npos || trimmed(line.substr(0, equals)).empty()) {
            contents.problem = where + " is not 'name = value'";
            return contents;
        }
        const std::string key = trimmed(line.substr(0, equals));
        const std::string value = trimmed(line.substr(equals + 1));
        // Judged where it stands, at the top: what a newer version writes below it may be
        // nothing this one can read.
        if (section.empty() && key == "version") {
            if (std::string problem = versionProblem(value); !problem.empty()) {
                contents.problem = std::move(problem);
                return contents;
            }
            hasVersion = true;
            continue;
        }
        sections[section][key] = value;
    }
    if (!hasVersion) {
        contents.problem = "it has no 'version = N' line";
        return contents;
    }
    contents.state = Contents::State::READ;
    contents.sections = std::move(sections);
    return contents;
}

std::string SettingsFile::format(const SettingsSections& sections)
{
    std::string text =
        "# Mirvo's settings, written when it quits and when a panel value has rested a few seconds.\n"
        "# Options given on the command line win over them; mirvo --reset-settings removes them.\n"
        "version = " +
        std::to_string(kVersion) + "\n";
    const auto writeEntries = [&text](const std::map<std::string, std::string>& entries) {
        for (const auto& [key, value] : entries) {
            if (fitsKey(key) && key != "version" && fitsValue(value)) {
                text += key + " = " + value + "\n";
            }
        }
    };
    if (const auto top = sections.find(""); top != sections.end()) {
        writeEntries(top->second);
    }
    for (const auto& [name, entries] : sections) {
        if (fitsSection(name)) {
            text += "\n[" + name + "]\n";
            writeEntries(entries);
        }
    }
    return text;
}

std::string SettingsFile::write(const SettingsSections& sections) const
{
    // A file linked from elsewhere (a folder of dotfiles) is replaced where it lies, and the
    // link stays. A missing file is no error here.
    std::error_code error;
    const bool linked = std::filesystem::is_symlink(mPath, error);
    error.clear();
    const std::filesystem::path target = linked ? std::filesystem::weakly_canonical(mPath, error) : mPath;
    if (error) {
        return "cannot follow the link " + mPath.string() + ": " + error.message();
    }
    const std::filesystem::path folder = target.parent_path();
    std::filesystem::create_directories(folder, error);
    if (error) {
        return "cannot make the folder " + folder.string() + ": " + error.message();
    }
    // In the same folder, so that the rename replaces the file in one step: a reader, or a
    // crash, sees the old settings or the new ones, never a part of either.
    const std::string name = (folder / ".settings.ini.XXXXXX").string();
    std::vector<char> temporary(name.begin(), name.end());
    temporary.push_back('\0');
    FileDescriptor file{::mkostemp(temporary.data(), O_CLOEXEC)};
    if (file.fd < 0) {
        return "cannot write in " + folder.string() + ": " + errorText(errno);
    }
    bool written = writeAll(file.fd, format(sections)) && ::fsync(file.fd) == 0;
    int cause = errno;
    if (::close(std::exchange(file.fd, -1)) != 0 && written) {
        written = false;
        cause = errno;
    }
    if (!written) {
        ::unlink(temporary.data());
        return "cannot write in " + folder.string() + ": " + errorText(cause);
    }
    if (::rename(temporary.data(), target.c_str()) != 0) {
        cause = errno;
        ::unlink(temporary.data());
        return "cannot replace " + target.string() + ": " + errorText(cause);
    }
    // The rename itself lasts once the folder is synced.
    FileDescriptor directory{::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)};
    if (directory.fd >= 0) {
        ::fsync(directory.fd);
    }
    return {};
}

std::string SettingsFile::remove() const
{
    if (::unlink(mPath.c_str()) != 0 && errno != ENOENT) {
        return "cannot remove " + mPath.string() + ": " + errorText(errno);
    }
    return {};
}

} // namespace mirvo
