// The file a person's settings are kept in between runs: named text values in sections,
//
//     version = 1
//     [panel Stars]
//     Star Count = 20000
//
// Reading never throws: a file that is missing, unreadable, damaged or written by a newer version
// is told apart, with one line that says why it is not used. Writing replaces the file whole or
// not at all: a temporary file in the same folder, synced, renamed over it. Any thread, one file
// operation at a time per file.
#pragma once

#include <filesystem>
#include <map>
#include <string>

namespace mirvo {

// Section name to key to value; the section "" holds what comes before the first section.
using SettingsSections = std::map<std::string, std::map<std::string, std::string>>;

class SettingsFile {
  public:
    // What this program writes; a file with a higher version is left alone.
    static constexpr int kVersion = 1;

    // $XDG_CONFIG_HOME/mirvo/settings.ini, or ~/.config/mirvo/settings.ini where that variable
    // is unset or not an absolute path; empty when $HOME is not set either.
    static std::filesystem::path defaultPath();

    explicit SettingsFile(std::filesystem::path path) : mPath(std::move(path)) {}
    const std::filesystem::path& getPath() const { return mPath; }

    struct Contents {
        enum class State { MISSING, READ, REFUSED };
        State state = State::MISSING;
        // READ: the sections, without the version.
        SettingsSections sections;
        // REFUSED: why, in a few words ("line 3 is not 'name = value'").
        std::string problem;
    };
    Contents read() const;
    // Empty on success, else why not in a few words. Creates the folder where it is missing.
    std::string write(const SettingsSections& sections) const;
    // Empty on success and where there was no file, else why not.
    std::string remove() const;

    // The text of a file, and back. Keys and values that the text cannot hold (a line break, a
    // key with '=' or one that would read as a comment or section) are left out.
    static std::string format(const SettingsSections& sections);
    static Contents parse(const std::string& text);

  private:
    std::filesystem::path mPath;
};

} // namespace mirvo
