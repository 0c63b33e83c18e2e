#include "src/live/ApplicationCapture.h"

#include <gtest/gtest.h>

#include <csignal>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace mirvo {
namespace {

// A player's sound often comes from a helper it started (a browser's audio process, a player
// running paplay): the stream's process descends from the player's, however its name reads in
// the kernel's record.
TEST(ApplicationCapture, AProcessDescendsFromThePlayerThatStartedIt)
{
    int ready[2];
    ASSERT_EQ(pipe(ready), 0);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        // The record puts the name in parentheses; one that holds them and spaces must not
        // shift the fields after it.
        prctl(PR_SET_NAME, "pl) (ayer 1 2");
        const pid_t grandchild = fork();
        if (grandchild == 0) {
            pause();
            _exit(0);
        }
        (void)!write(ready[1], &grandchild, sizeof grandchild);
        pause();
        _exit(0);
    }
    pid_t grandchild = 0;
    ASSERT_EQ(read(ready[0], &grandchild, sizeof grandchild), static_cast<ssize_t>(sizeof grandchild));

    EXPECT_TRUE(ApplicationCapture::descendsFrom(grandchild, child));
    EXPECT_TRUE(ApplicationCapture::descendsFrom(grandchild, getpid()));
    EXPECT_TRUE(ApplicationCapture::descendsFrom(child, child));
    EXPECT_FALSE(ApplicationCapture::descendsFrom(child, grandchild));
    EXPECT_FALSE(ApplicationCapture::descendsFrom(getpid(), child));
    // A process that has gone, and one no stream names.
    EXPECT_FALSE(ApplicationCapture::descendsFrom(0, 0));

    kill(grandchild, SIGKILL);
    kill(child, SIGKILL);
    waitpid(child, nullptr, 0);
    close(ready[0]);
    close(ready[1]);
    // Orphaned, the grandchild belongs to nobody's player.
    EXPECT_FALSE(ApplicationCapture::descendsFrom(grandchild, child));
}

TEST(ApplicationCapture, AnApplicationIsNamedByItsNameOrItsProgramInAnyCase)
{
    audio::SoundServer::Stream stream;
    stream.application = "Firefox";
    stream.binary = "firefox-bin";
    EXPECT_TRUE(ApplicationCapture::isNamed(stream, "firefox"));
    EXPECT_TRUE(ApplicationCapture::isNamed(stream, "FIREFOX-BIN"));
    EXPECT_FALSE(ApplicationCapture::isNamed(stream, "fire"));
    // A stream that says nothing of itself is nobody's.
    EXPECT_FALSE(ApplicationCapture::isNamed(audio::SoundServer::Stream(), ""));
}

} // namespace
} // namespace mirvo
