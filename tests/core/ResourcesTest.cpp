#include "core/Resources.h"

#include "TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace mirvo::app {
namespace {

class ResourcesTest : public ::testing::Test {
  protected:
    void SetUp() override { setResourceDirectory((mDir.path() / "res").string()); }
    void TearDown() override { setResourceDirectory(""); }

    std::string resource(const std::string& name, const std::string& bytes)
    {
        return mDir.write("res/" + name, bytes);
    }

    test::TempDir mDir;
};

TEST_F(ResourcesTest, FindsAFileAtTheTopAndInsideASubDirectory)
{
    const std::string top = resource("stars.vert", "void main() {}");
    const std::string nested = resource("shaders/glow.frag", "x");
    EXPECT_EQ(getResourcePath("stars.vert"), top);
    EXPECT_EQ(getResourcePath("shaders/glow.frag"), nested);
    // The sub-directory is part of the lookup, not a hint.
    EXPECT_EQ(getResourcePath("glow.frag"), "");
    EXPECT_EQ(getResourcePath("other/stars.vert"), "");
}

TEST_F(ResourcesTest, EmptyNamesFoldersAndEscapesFindNothing)
{
    resource("shaders/glow.frag", "x");
    mDir.write("outside.txt", "x");
    EXPECT_EQ(getResourcePath(""), "");
    EXPECT_EQ(getResourcePath("shaders/"), "");
    EXPECT_EQ(getResourcePath("shaders"), "");
    EXPECT_EQ(getResourcePath("../outside.txt"), "");
    EXPECT_EQ(getResourcePath("shaders/../../outside.txt"), "");
}

TEST_F(ResourcesTest, AbsoluteNamesStayInsideTheResourceFolder)
{
    const std::string inside = resource("etc/hosts", "x");
    EXPECT_EQ(getResourcePath("/etc/hosts"), inside);
}

TEST_F(ResourcesTest, LoadResourceNamesTheMissingResourceInItsError)
{
    try {
        loadResource("init.mp3");
        FAIL() << "a missing resource must throw";
    } catch (const ResourceLoadExc& exc) {
        EXPECT_STREQ(exc.what(), "Failed to load resource: init.mp3");
    }
    EXPECT_EQ(std::string(ResourceLoadExc(std::string(5000, 'a')).what()).size(), 4095u);
}

TEST_F(ResourcesTest, LoadResourceGivesADataSourceForTheFile)
{
    const std::string path = resource("100% odd name.mp3", "ID3");
    DataSourcePathRef source = loadResource("100% odd name.mp3");
    EXPECT_EQ(source->getFilePath(), path);
    EXPECT_EQ(source->getBuffer().getDataSize(), 3u);
}

TEST(ResourceDirectory, DefaultsToTheFolderBesideTheExecutable)
{
    setResourceDirectory("");
    const auto executable = std::filesystem::read_symlink("/proc/self/exe");
    EXPECT_EQ(getResourceDirectory(), (executable.parent_path() / "resources").string());
}

} // namespace
} // namespace mirvo::app
