#include "src/render/FolderRender.h"

#include "audio/SourceFile.h"
#include "core/DataSource.h"
#include "core/Resources.h"
#include "src/FailureText.h"
#include "src/StopSignals.h"
#include "src/render/FolderProgress.h"
#include "src/render/RenderJob.h"
#include "src/render/RenderProgress.h"
#include "src/render/RenderTracks.h"
#include "src/render/VideoNames.h"

#include <poll.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <memory>
#include <string_view>
#include <system_error>
#include <thread>

namespace mirvo::render {

namespace {

namespace fs = std::filesystem;

constexpr const char* kStartupMusic = "init.mp3";
// How often the progress is redrawn and a stop request looked for while the tracks render.
constexpr int kPollMilliseconds = 250;

struct Video {
    // The song; empty for the start-up music.
    std::string track;
    std::string path;
    std::string name;
    // As long as its file claims.
    double seconds = 0.0;
};

struct Failure {
    std::string track;
    std::string reason;
};

std::string shownName(const std::string& track)
{
    return track.empty() ? std::string(kStartupMusic) : track;
}

// Empty when videos may be written into `folder`, made here if its parent exists; else why not.
std::string prepareFolder(const fs::path& folder)
{
    std::error_code error;
    if (!fs::is_directory(folder, error)) {
        // "videos/" names the folder "videos", whose parent is the one that must exist.
        const fs::path named = folder.has_filename() ? folder : folder.parent_path();
        const fs::path parent = named.parent_path().empty() ? fs::path(".") : named.parent_path();
        if (fs::exists(folder, error)) {
            return "it is not a folder";
        }
        if (!fs::is_directory(parent, error)) {
            return "the folder '" + parent.string() + "' does not exist";
        }
        if (!fs::create_directory(folder, error) && error) {
            return "cannot make the folder: " + error.message();
        }
    }
    if (::access(folder.c_str(), W_OK) != 0) {
        return "the folder is not writable";
    }
    return {};
}

// The videos to make, one a track, named from its tags; a track that cannot even be opened is
// told at once and goes into `failures`.
std::vector<Video> planVideos(const std::vector<std::string>& files, const fs::path& folder,
                              const std::string& extension, std::vector<Failure>& failures)
{
    VideoNames names(extension);
    // A video never takes the name of a song in the same folder, which it would replace.
    for (const std::string& file : files) {
        const fs::path path(file);
        std::error_code error;
        if (!file.empty() &&
            fs::equivalent(path.has_parent_path() ? path.parent_path() : ".", folder, error)) {
            names.reserve(path.filename().string());
        }
    }
    std::vector<Video> videos;
    for (const std::string& file : files) {
        try {
            const DataSourceRef data = file.empty() ? app::loadResource(kStartupMusic) : loadFile(file);
            const std::unique_ptr<audio::SourceFile> source = audio::load(data);
            Video video;
            video.track = file;
            video.name = videoStem(source->getTitle(), source->getArtist(), shownName(file));
            video.path = (folder / names.take(video.name)).string();
            video.seconds = source->getSampleRate() == 0 ? 0.0
                                                         : static_cast<double>(source->getNumFrames()) /
                                                               static_cast<double>(source->getSampleRate());
            videos.push_back(std::move(video));
        } catch (const std::exception& exc) {
            const std::string reason = reasonForLog(exc);
            std::cerr << "mirvo: cannot play " << quotedName(shownName(file)) << ": " << reason << "; skipped"
                      << std::endl;
            failures.push_back({shownName(file), reason});
        }
    }
    return videos;
}

// The program's own command line with the track and its video put first: they stand in for
// the music and the folder it names.
std::vector<std::string> jobArgs(const std::vector<std::string>& args, const Video& video)
{
    std::vector<std::string> result = {args.empty() ? std::string("mirvo") : args.front(),
                                       "--job-output=" + video.path};
    if (!video.track.empty()) {
        result.push_back("--job-track=" + video.track);
    }
    if (!args.empty()) {
        result.insert(result.end(), args.begin() + 1, args.end());
    }
    return result;
}

// Why a track's render failed: the last line it said, else how it ended.
std::string reasonOf(const std::string& lastLine, int status)
{
    if (status > 128) {
        return std::string("it ended on ") + strsignal(status - 128);
    }
    constexpr std::string_view kPrefix = "mirvo: ";
    if (lastLine.compare(0, kPrefix.size(), kPrefix) == 0) {
        return lastLine.substr(kPrefix.size());
    }
    return lastLine.empty() ? "it ended with status " + std::to_string(status) : lastLine;
}

// The columns of the terminal standard error goes to; 0 when it goes elsewhere.
std::size_t terminalWidth()
{
    if (::isatty(STDERR_FILENO) != 1) {
        return 0;
    }
    struct winsize size = {};
    return ::ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0 ? size.ws_col : 80;
}

} // namespace

int defaultRenderJobs()
{
    // A render alone keeps about two cores busy, yet on two cores two at once beat one in every
    // round measured (by a tenth): each fills the other's start, end and waits. Three lost again.
    const unsigned cores = std::max(1U, std::thread::hardware_concurrency());
    return static_cast<int>(std::max(std::min(cores, 2U), cores / 2));
}

int runFolderRender(const CommandLine& commandLine, const std::vector<std::string>& args)
{
    // The tracks' renders take the signals as well, from the terminal or from here, and end
    // their files; this waits for them.
    const StopSignals stop({SIGINT, SIGTERM, SIGHUP}, {SIGXFSZ, SIGPIPE});
    const std::string& out = *commandLine.renderPath;
    const fs::path folder(out);
    if (const std::string problem = prepareFolder(folder); !problem.empty()) {
        std::cerr << "mirvo: cannot render to " << quotedName(out) << ": " << problem << std::endl;
        return 1;
    }
    std::vector<Failure> failures;
    const std::vector<std::string> files = collectRenderFiles(commandLine.musicFiles);
    const std::vector<Video> videos = planVideos(files, folder, commandLine.renderFormat, failures);
    if (videos.empty()) {
        std::cerr << "mirvo: nothing to render: no track plays" << std::endl;
        return 1;
    }
    const std::size_t jobs = std::min<std::size_t>(
        videos.size(),
        static_cast<std::size_t>(commandLine.renderJobs > 0 ? commandLine.renderJobs : defaultRenderJobs()));
    std::cerr << "mirvo: rendering " << videos.size() << (videos.size() == 1 ? " track" : " tracks") << " to "
              << quotedName(out) << ", " << jobs << " at once" << std::endl;

    std::vector<std::string> names;
    std::vector<double> seconds;
    for (const Video& video : videos) {
        names.push_back(video.name);
        seconds.push_back(video.seconds);
    }
    FolderProgress progress(names, seconds, commandLine.renderFps, terminalWidth());
    const auto start = std::chrono::steady_clock::now();
    const auto wallSeconds = [&start] {
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    };

    struct Running {
        std::size_t video;
        std::unique_ptr<RenderJob> job;
        std::string lastLine;
    };
    std::vector<Running> running;
    std::size_t next = 0;
    std::size_t written = 0;
    std::size_t cut = 0;
    int stoppedBy = 0;
    while (true) {
        if (stoppedBy == 0 && stop.getSignal() != 0) {
            stoppedBy = stop.getSignal();
            for (const Running& each : running) {
                each.job->signal(stoppedBy);
            }
        }
        for (; stoppedBy == 0 && running.size() < jobs && next < videos.size(); ++next) {
            try {
                running.push_back(
                    {next,
                     std::make_unique<RenderJob>(jobArgs(args, videos[next]), std::vector<std::string>()),
                     std::string()});
                progress.started(next, wallSeconds());
            } catch (const std::system_error& exc) {
                const std::string reason = oneLine(exc.what());
                std::cerr << progress.clear() << "mirvo: cannot render "
                          << quotedName(shownName(videos[next].track)) << ": " << reason << std::endl;
                failures.push_back({shownName(videos[next].track), reason});
                progress.ended(next, false);
            }
        }
        if (running.empty()) {
            break;
        }
        std::vector<pollfd> fds;
        for (const Running& each : running) {
            fds.push_back({each.job->getFd(), POLLIN, 0});
        }
        // A signal ends the wait early, and is looked at above.
        ::poll(fds.data(), fds.size(), kPollMilliseconds);
        bool printed = false;
        for (std::size_t i = 0; i < running.size();) {
            Running& each = running[i];
            if (fds[i].revents != 0) {
                for (const std::string& line : each.job->readLines()) {
                    unsigned long long done = 0;
                    unsigned long long total = 0;
                    if (std::sscanf(line.c_str(), "mirvo-job: progress %llu %llu", &done, &total) == 2) {
                        progress.advanced(each.video, done, total);
                        continue;
                    }
                    std::cerr << progress.clear() << line << '\n';
                    each.lastLine = line;
                    printed = true;
                }
            }
            if (!each.job->hasEnded()) {
                ++i;
                continue;
            }
            const int status = each.job->wait();
            const bool interrupted = stoppedBy != 0 && status > 128;
            if (status == 0) {
                ++written;
            } else if (interrupted) {
                // Stopped before its first frame, it leaves no file.
                std::error_code error;
                cut += fs::exists(videos[each.video].path, error) ? 1 : 0;
            } else {
                failures.push_back({shownName(videos[each.video].track), reasonOf(each.lastLine, status)});
            }
            progress.ended(each.video, status == 0);
            running.erase(running.begin() + static_cast<std::ptrdiff_t>(i));
            fds.erase(fds.begin() + static_cast<std::ptrdiff_t>(i));
        }
        std::cerr << progress.update(wallSeconds(), printed) << std::flush;
    }

    std::cerr << progress.update(wallSeconds(), true) << progress.end();
    for (const Failure& failure : failures) {
        std::cerr << "mirvo: not rendered: " << quotedName(failure.track) << ": " << failure.reason
                  << std::endl;
    }
    std::cerr << "mirvo: " << (stoppedBy != 0 ? "interrupted; " : "") << "wrote " << written << " of "
              << files.size() << (files.size() == 1 ? " video" : " videos")
              << (cut > 0 ? " and the first part of " + std::to_string(cut) : std::string()) << " to "
              << quotedName(out) << " in " << formatDuration(wallSeconds()) << std::endl;
    if (stoppedBy != 0) {
        return StopSignals::exitStatusFor(stoppedBy);
    }
    return failures.empty() ? 0 : 1;
}

} // namespace mirvo::render
