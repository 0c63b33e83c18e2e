// Folders sorted as a file manager shows them, in the user's language: accented and capital
// letters beside their plain letter, numbers by value, and any name, even one that is not valid
// UTF-8, in a strict order.
#include "src/FileOrder.h"
#include "src/player/PlayQueue.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace mirvo {
namespace {

// Sets the collation locale for one test and puts back what was there.
class LocaleScope {
  public:
    explicit LocaleScope(const char* locale)
    {
        for (const char* name : {"LC_ALL", "LC_COLLATE", "LANG"}) {
            const char* value = std::getenv(name);
            mSaved.push_back({name, value ? std::optional<std::string>(value) : std::nullopt});
            unsetenv(name);
        }
        setenv("LANG", locale, 1);
    }
    ~LocaleScope()
    {
        for (const auto& [name, value] : mSaved) {
            if (value) {
                setenv(name, value->c_str(), 1);
            } else {
                unsetenv(name);
            }
        }
    }

  private:
    std::vector<std::pair<const char*, std::optional<std::string>>> mSaved;
};

std::size_t indexOf(const std::vector<std::string>& names, const std::string& name)
{
    return std::size_t(std::find(names.begin(), names.end(), name) - names.begin());
}

TEST(FileOrder, AccentedAndCapitalLettersSortBesideTheirLetterAndNumbersByValue)
{
    for (const char* locale : {"fr_FR.UTF-8", "en_US.UTF-8", "C"}) {
        LocaleScope scope(locale);
        std::vector<std::string> names = {"Zoé.mp3", "Éclair.mp3", "ça.mp3",  "10 b.mp3", "fin.mp3", "Ça.mp3",
                                          "Ca.mp3",  "2 a.mp3",    "eau.mp3", "ca.mp3",   "b.mp3"};
        std::sort(names.begin(), names.end(), FileOrder());
        EXPECT_EQ(indexOf(names, "2 a.mp3"), 0u) << locale;
        EXPECT_EQ(indexOf(names, "10 b.mp3"), 1u) << locale;
        EXPECT_EQ(indexOf(names, "b.mp3"), 2u) << locale;
        // The four spellings of "ca" together, whatever their order among themselves.
        for (const char* c : {"ca.mp3", "Ca.mp3", "ça.mp3", "Ça.mp3"}) {
            EXPECT_GE(indexOf(names, c), 3u) << locale << " " << c;
            EXPECT_LE(indexOf(names, c), 6u) << locale << " " << c;
        }
        EXPECT_EQ(std::vector<std::string>(names.begin() + 7, names.end()),
                  (std::vector<std::string>{"eau.mp3", "Éclair.mp3", "fin.mp3", "Zoé.mp3"}))
            << locale;
    }
}

TEST(FileOrder, IsAStrictOrderForAnyBytes)
{
    const FileOrder order;
    // Names the collation cannot tell apart still have an order, and no name is before itself.
    const std::string broken = "\xFF\xFE.mp3";
    const std::string otherBroken = "\xFE\xFF.mp3";
    EXPECT_FALSE(order(broken, broken));
    EXPECT_NE(order(broken, otherBroken), order(otherBroken, broken));
    EXPECT_TRUE(order("t99999999999999999999999", "t100000000000000000000000"));
    EXPECT_TRUE(order("track", "track 1"));
}

TEST(FileOrder, AFolderIsQueuedInThatOrder)
{
    LocaleScope scope("fr_FR.UTF-8");
    const std::filesystem::path folder = std::filesystem::temp_directory_path() / "mirvo-order-test";
    std::filesystem::remove_all(folder);
    std::filesystem::create_directories(folder);
    for (const char* name : {"Été.mp3", "10.mp3", "2.mp3", "ça.flac", "Cb.ogg", "Ca.wav"}) {
        std::ofstream(folder / name) << "x";
    }
    std::vector<std::string> queued;
    for (const std::filesystem::path& track : collectTracks({folder})) {
        queued.push_back(track.filename().string());
    }
    std::filesystem::remove_all(folder);
    ASSERT_EQ(queued.size(), 6u);
    EXPECT_EQ(std::vector<std::string>(queued.begin(), queued.begin() + 2),
              (std::vector<std::string>{"2.mp3", "10.mp3"}));
    EXPECT_EQ(queued.back(), "Été.mp3");
    EXPECT_EQ(queued[4], "Cb.ogg") << "ça and Ca go together, before Cb";
}

} // namespace
} // namespace mirvo
