#include "src/render/Render.h"

#include "app/Camera.h"
#include "audio/ContextManual.h"
#include "audio/FilePlayerNode.h"
#include "audio/GainNode.h"
#include "audio/MonitorSpectralNode.h"
#include "audio/SourceFile.h"
#include "core/DataSource.h"
#include "core/Resources.h"
#include "gl/Font.h"
#include "gl/Gl.h"
#include "gl/SoftwareRenderer.h"
#include "src/FailureText.h"
#include "src/Notices.h"
#include "src/StopSignals.h"
#include "src/render/OffscreenContext.h"
#include "src/render/OutputFile.h"
#include "src/render/RenderProgress.h"
#include "src/render/RenderStats.h"
#include "src/render/RenderTracks.h"
#include "src/render/ThreadedVideoEncoder.h"
#include "src/render/TrackSequenceNode.h"
#include "src/render/VideoEncoder.h"
#include "src/render/VideoOverlay.h"
#include "src/scenes/Stage.h"
#include "src/scenes/shader/ShaderScenes.h"

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <iostream>
#include <limits>
#include <numeric>
#include <optional>
#include <string>
#include <system_error>

namespace mirvo::render {

namespace {

namespace fs = std::filesystem;

// Matches the window's anti-aliasing (RendererGl level 5) where the GL is a GPU.
constexpr int kWantedSamples = 16;
constexpr float kFovDegrees = 60.0f;

// The audio block: the samples of one frame when they are few enough, else a divisor of them,
// so that the blocks end exactly on frame times wherever the rate allows it.
std::size_t blockSizeFor(std::size_t sampleRate, int fps)
{
    const std::size_t common = std::gcd(sampleRate, static_cast<std::size_t>(fps));
    const std::size_t samplesPerPeriod = sampleRate / common;
    for (std::size_t size = std::min<std::size_t>(samplesPerPeriod, 1024); size > 1; --size) {
        if (samplesPerPeriod % size == 0 && size >= 32) {
            return size;
        }
    }
    return 512;
}

class Framebuffers {
  public:
    Framebuffers(Vec2i size, int wantedSamples) : mSize(size)
    {
        GLint maxSamples = 0;
        glGetIntegerv(GL_MAX_SAMPLES, &maxSamples);
        const int samples = std::min(wantedSamples, static_cast<int>(maxSamples));
        mSamples = samples;

        glGenRenderbuffers(3, mRenderbuffers);
        glBindRenderbuffer(GL_RENDERBUFFER, mRenderbuffers[0]);
        glRenderbufferStorageMultisample(GL_RENDERBUFFER, samples, GL_RGBA8, size.x, size.y);
        glBindRenderbuffer(GL_RENDERBUFFER, mRenderbuffers[1]);
        // Depth alone: nothing draws with a stencil, and a software renderer clears the depth of a
        // depth-and-stencil buffer by reading and rewriting every pixel to keep the stencil.
        glRenderbufferStorageMultisample(GL_RENDERBUFFER, samples, GL_DEPTH_COMPONENT24, size.x, size.y);
        glBindRenderbuffer(GL_RENDERBUFFER, mRenderbuffers[2]);
        glRenderbufferStorage(GL_RENDERBUFFER, GL_RGBA8, size.x, size.y);

        glGenFramebuffers(2, mFramebuffers);
        glBindFramebuffer(GL_FRAMEBUFFER, mFramebuffers[0]);
        glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, mRenderbuffers[0]);
        glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_ATTACHMENT, GL_RENDERBUFFER, mRenderbuffers[1]);
        const bool drawComplete = glCheckFramebufferStatus(GL_FRAMEBUFFER) == GL_FRAMEBUFFER_COMPLETE;
        glBindFramebuffer(GL_FRAMEBUFFER, mFramebuffers[1]);
        glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, mRenderbuffers[2]);
        const bool resolveComplete = glCheckFramebufferStatus(GL_FRAMEBUFFER) == GL_FRAMEBUFFER_COMPLETE;
        if (!drawComplete || !resolveComplete) {
            release();
            throw NoGlError("no GL: no " + std::to_string(size.x) + "x" + std::to_string(size.y) +
                            " framebuffer with " + std::to_string(samples) + " samples");
        }

        const auto bytes = static_cast<GLsizeiptr>(size.x) * size.y * 4;
        glGenBuffers(2, mPixelBuffers);
        for (GLuint buffer : mPixelBuffers) {
            glBindBuffer(GL_PIXEL_PACK_BUFFER, buffer);
            glBufferData(GL_PIXEL_PACK_BUFFER, bytes, nullptr, GL_STREAM_READ);
        }
        glBindBuffer(GL_PIXEL_PACK_BUFFER, 0);
    }

    ~Framebuffers() { release(); }

    int getSamples() const { return mSamples; }

    // Binds the framebuffer drawn into with the window's viewport and matrices.
    void beginFrame() const
    {
        glBindFramebuffer(GL_FRAMEBUFFER, mFramebuffers[0]);
        glViewport(0, 0, mSize.x, mSize.y);
        CameraPersp camera(mSize.x, mSize.y, kFovDegrees);
        glMatrixMode(GL_PROJECTION);
        glLoadMatrixf(camera.getProjectionMatrix().data());
        glMatrixMode(GL_MODELVIEW);
        glLoadMatrixf(camera.getModelViewMatrix().data());
        glScalef(1.0f, -1.0f, 1.0f);
        glTranslatef(0.0f, -static_cast<float>(mSize.y), 0.0f);
    }

    // Averages the samples into the single-sampled framebuffer.
    void resolve() const
    {
        if (mSamples == 0) {
            return;
        }
        glBindFramebuffer(GL_READ_FRAMEBUFFER, mFramebuffers[0]);
        glBindFramebuffer(GL_DRAW_FRAMEBUFFER, mFramebuffers[1]);
        glBlitFramebuffer(0, 0, mSize.x, mSize.y, 0, 0, mSize.x, mSize.y, GL_COLOR_BUFFER_BIT, GL_NEAREST);
    }

    // Starts reading frame `index` back into its pixel buffer; the read completes while the
    // next frame draws.
    void startReadBack(std::uint64_t index) const
    {
        glBindFramebuffer(GL_READ_FRAMEBUFFER, mFramebuffers[mSamples == 0 ? 0 : 1]);
        glBindBuffer(GL_PIXEL_PACK_BUFFER, mPixelBuffers[index % 2]);
        glPixelStorei(GL_PACK_ALIGNMENT, 1);
        glReadPixels(0, 0, mSize.x, mSize.y, GL_RGBA, GL_UNSIGNED_BYTE, nullptr);
        glBindBuffer(GL_PIXEL_PACK_BUFFER, 0);
    }

    // Hands frame `index`'s pixels (bottom row first) to `use`.
    template <typename Use> void withPixels(std::uint64_t index, Use use) const
    {
        glBindBuffer(GL_PIXEL_PACK_BUFFER, mPixelBuffers[index % 2]);
        const void* pixels = glMapBuffer(GL_PIXEL_PACK_BUFFER, GL_READ_ONLY);
        if (pixels == nullptr) {
            glBindBuffer(GL_PIXEL_PACK_BUFFER, 0);
            throw NoGlError("the GL cannot map a frame's pixels");
        }
        try {
            use(static_cast<const std::uint8_t*>(pixels));
        } catch (...) {
            glUnmapBuffer(GL_PIXEL_PACK_BUFFER);
            glBindBuffer(GL_PIXEL_PACK_BUFFER, 0);
            throw;
        }
        glUnmapBuffer(GL_PIXEL_PACK_BUFFER);
        glBindBuffer(GL_PIXEL_PACK_BUFFER, 0);
    }

  private:
    void release()
    {
        glBindFramebuffer(GL_FRAMEBUFFER, 0);
        glDeleteBuffers(2, mPixelBuffers);
        glDeleteFramebuffers(2, mFramebuffers);
        glDeleteRenderbuffers(3, mRenderbuffers);
    }

    Vec2i mSize;
    int mSamples = 0;
    GLuint mRenderbuffers[3] = {};
    GLuint mFramebuffers[2] = {};
    GLuint mPixelBuffers[2] = {};
};

// The music graph of a render: the file player feeding the output (whose blocks are the video's
// audio track) and, through the analysis gain, the spectrum monitor the scenes read.
struct MusicGraph {
    audio::ContextManualRef context;
    audio::NodeRef player;
    MonitorSpectralNodeRef monitor;
};

// One song plays through a file player as in the window; a queue through one node that joins
// its tracks without a gap.
MusicGraph buildGraph(const RenderTracks& music, std::size_t blockSize)
{
    MusicGraph graph;
    graph.context = audio::ContextManual::create(music.sampleRate, blockSize, 2);
    // Decoding on the pulling thread keeps the render deterministic: no read-ahead to race.
    std::shared_ptr<audio::FilePlayerNode> filePlayer;
    if (music.tracks.size() == 1) {
        filePlayer = graph.context->makeNode(new audio::FilePlayerNode(music.tracks.front().source, false));
        graph.player = filePlayer;
    } else {
        std::vector<audio::SourceFileRef> sources;
        for (const RenderTrack& track : music.tracks) {
            sources.push_back(track.source);
        }
        graph.player = graph.context->makeNode(new TrackSequenceNode(std::move(sources)));
    }
    graph.monitor = Stage::makeSpectrumMonitor(*graph.context);
    auto analysisGain = graph.context->makeNode(new audio::GainNode(Stage::kAnalysisGain));
    graph.player->connect(graph.context->getOutput());
    graph.player->connect(analysisGain);
    analysisGain->connect(graph.monitor);
    graph.context->enable();
    if (filePlayer) {
        filePlayer->start();
    } else {
        graph.player->enable();
    }
    return graph;
}

// Frames waiting for the encoder: enough to ride out a slow frame on either side, fewer when
// they are large.
std::size_t queuedFramesFor(std::size_t frameBytes)
{
    constexpr std::size_t kQueueBytes = std::size_t(256) << 20;
    return std::clamp<std::size_t>(kQueueBytes / frameBytes, 2, 4);
}

std::string describeMusic(const RenderTracks& music)
{
    if (music.tracks.size() == 1) {
        return "'" +
               (music.tracks.front().path.empty() ? std::string("init.mp3") : music.tracks.front().path) +
               "'";
    }
    return std::to_string(music.tracks.size()) + " tracks";
}

// An album's chapters: one a track, named by its title.
std::vector<Chapter> chaptersOf(const RenderTracks& music)
{
    std::vector<Chapter> chapters;
    if (music.tracks.size() > 1) {
        for (const RenderTrack& track : music.tracks) {
            chapters.push_back({trackTitle(track), track.startSample, track.startSample + track.numSamples});
        }
    }
    return chapters;
}

// The height the tree's ring grows into. Its trunks start outside a landscape frame's top and
// bottom edges and reach in; a frame narrower than 4:3 would cut the ring at its sides as well,
// leaving a few branches in the corners, so there the ring is grown to fit the width instead.
float treeViewHeight(Vec2i size)
{
    return std::min(static_cast<float>(size.y), static_cast<float>(size.x) * 0.75f);
}

// The title, cover and progress bar the command line asks for, over a frame of `size`; null
// when it asks for none. A cover or font that cannot be had is told in a line, and the video
// goes on without it.
std::unique_ptr<VideoOverlay> makeOverlay(const CommandLine& commandLine, const RenderTrack& track,
                                          Vec2i size)
{
    using CoverPlace = CommandLine::CoverPlace;
    if (!commandLine.renderTitle && commandLine.renderCover == CoverPlace::NONE &&
        !commandLine.renderProgress) {
        return nullptr;
    }
    const std::string& song = track.path;
    auto overlay = std::make_unique<VideoOverlay>(size, commandLine.renderCover == CoverPlace::CENTRE);
    overlay->setProgressShown(commandLine.renderProgress);
    if (commandLine.renderCover != CoverPlace::NONE) {
        bool refused = false;
        const auto tell = [&refused](const std::string& line) {
            std::cerr << "mirvo: " << oneLine(line) << "; the video goes on without it" << std::endl;
            refused = true;
        };
        // The start-up music is a resource, and has no cover.
        if (std::optional<Picture> cover =
                song.empty() ? std::nullopt : findCover(song, overlay->getCoverBox(), tell)) {
            overlay->setCover(*cover);
        } else if (!refused) {
            std::cerr << "mirvo: '" << (song.empty() ? "init.mp3" : song) << "' has no cover" << std::endl;
        }
    }
    if (commandLine.renderTitle) {
        std::string title = notice::printable(*commandLine.renderTitle);
        std::string artist;
        if (commandLine.renderTitle->empty()) {
            title = trackTitle(track);
            artist = notice::printable(track.source->getArtist());
        }
        try {
            const std::unique_ptr<gl::Font> font = gl::Font::open(gl::Font::findFile("DejaVu Sans"));
            overlay->setTitle(*font, title, artist);
        } catch (const gl::FontExc& exc) {
            std::cerr << "mirvo: cannot show the title: " << oneLine(exc.what()) << std::endl;
        }
    }
    return overlay;
}

} // namespace

int runRender(const CommandLine& commandLine)
{
    const std::string out = *commandLine.renderPath;
    // A signal to end (Ctrl+C, a closed terminal, a job runner's kill) stops the render at the
    // next frame and the file is finished on what was drawn. Past a file size limit a write
    // fails with EFBIG, and a standard error whose reader has gone with EPIPE, instead of
    // killing the program mid-write.
    const StopSignals stop({SIGINT, SIGTERM, SIGHUP}, {SIGXFSZ, SIGPIPE});
    // The files of a queue are named by the walk of its folders as well: none may be the output.
    const std::vector<std::string> files = collectRenderFiles(commandLine.musicFiles);
    std::vector<std::string> inputs = commandLine.musicFiles;
    inputs.insert(inputs.end(), files.begin(), files.end());
    if (const std::string problem = checkOutputPath(out, inputs, commandLine.overwrite); !problem.empty()) {
        std::cerr << "mirvo: cannot render to '" << out << "': " << problem << std::endl;
        return 1;
    }
    std::error_code folderError;
    const bool queue = files.size() > 1 || (commandLine.musicFiles.size() == 1 &&
                                            fs::is_directory(commandLine.musicFiles.front(), folderError));
    const RenderTracks music = loadRenderTracks(files, queue);
    if (music.tracks.empty()) {
        return 1;
    }
    const std::string sourceName = describeMusic(music);
    const std::size_t sampleRate = music.sampleRate;
    const std::uint64_t numSamples = music.numSamples;
    const int fps = commandLine.renderFps;
    const std::uint64_t totalFrames =
        (numSamples * static_cast<std::uint64_t>(fps) + sampleRate - 1) / sampleRate;

    std::unique_ptr<OffscreenContext> glContext;
    std::unique_ptr<Framebuffers> framebuffers;
    bool smoothEdges = false;
    try {
        glContext = OffscreenContext::create();
        if (epoxy_gl_version() < 30) {
            throw NoGlError("no GL: OpenGL 3.0 is needed, this one is " +
                            std::to_string(epoxy_gl_version() / 10) + "." +
                            std::to_string(epoxy_gl_version() % 10));
        }
        // A software renderer spends most of a multisampled frame on its samples: two thirds of
        // it at 4x on llvmpipe, draw and resolve. Unless asked for samples, it draws with one and
        // the scenes smooth their own edges, for about a tenth of that.
        const auto* renderer = reinterpret_cast<const char*>(glGetString(GL_RENDERER));
        smoothEdges = !commandLine.msaa && renderer && gl::isSoftwareRenderer(renderer);
        framebuffers = std::make_unique<Framebuffers>(
            commandLine.renderSize, smoothEdges ? 0 : commandLine.msaa.value_or(kWantedSamples));
    } catch (const NoGlError& exc) {
        std::cerr << "mirvo: cannot render: " << exc.what() << std::endl;
        return 1;
    }

    const std::size_t blockSize = blockSizeFor(sampleRate, fps);
    MusicGraph graph = buildGraph(music, blockSize);

    // The window's scenes and spectrum shaping, without panels and notices.
    Stage stage;
    const Vec2i size = commandLine.renderSize;
    std::optional<OutputFile> file;
    std::unique_ptr<ThreadedVideoEncoder> encoder;
    // The playing track's, when any is asked for. Made as its track starts and dropped as it
    // ends, so that an album of a hundred large covers holds one at a time.
    std::unique_ptr<VideoOverlay> overlay;
    try {
        stage.setMonitor(graph.monitor);
        stage.takeSpectrum();
        stage.setOverlayShown(commandLine.renderSpectrum);
        stage.addStandardScenes([size] { return treeViewHeight(size); }, true, smoothEdges);
        // A video has no notices: a shader that fails is told on standard error alone.
        const ShaderScene::Report report = [](const std::string& line, bool failure) {
            if (failure) {
                std::cerr << "mirvo: " << line << std::endl;
            }
        };
        std::vector<notice::Failure> shaderFailures;
        const std::optional<std::string> firstShader = addShaderScenes(
            stage, commandLine.shaderPaths, report, [] { return Stage::kAnalysisGain; }, false,
            shaderFailures, true, smoothEdges);
        SceneSet& scenes = stage.getScenes();
        scenes.setup();
        // --scene, else the first shader the command line names.
        const std::string firstName =
            commandLine.sceneName.empty() ? firstShader.value_or("") : commandLine.sceneName;
        if (const std::optional<std::size_t> first = scenes.find(firstName); first && *first != 0) {
            scenes.select(*first);
        }
        scenes.setSwitchInterval(commandLine.sceneInterval > 0.0f ? commandLine.sceneInterval
                                                                  : std::numeric_limits<float>::infinity());
        VideoSettings settings;
        settings.path = out;
        file.emplace(out);
        settings.filePath = file->getWritePath();
        settings.size = commandLine.renderSize;
        settings.fps = fps;
        settings.crf = commandLine.renderCrf;
        settings.preset = commandLine.renderPreset;
        settings.sampleRate = sampleRate;
        settings.numChannels = 2;
        settings.numFrames = totalFrames;
        settings.chapters = chaptersOf(music);
        overlay = makeOverlay(commandLine, music.tracks.front(), size);
        // A queued frame is YUV 4:2:0: a byte and a half a pixel.
        const std::size_t frameBytes = static_cast<std::size_t>(settings.size.x) * settings.size.y * 3 / 2;
        encoder = std::make_unique<ThreadedVideoEncoder>(VideoEncoder::create(settings), settings.size,
                                                         settings.numChannels, queuedFramesFor(frameBytes));
    } catch (const std::exception& exc) {
        std::cerr << "mirvo: cannot render to '" << out << "': " << oneLine(exc.what()) << std::endl;
        return 1;
    }

    std::cerr << "mirvo: rendering " << sourceName << " to '" << out << "': " << commandLine.renderSize.x
              << "x" << commandLine.renderSize.y << " at " << fps << " fps, " << totalFrames << " frames ("
              << glContext->describe() << ", "
              << (smoothEdges ? std::string("edges smoothed without MSAA")
                              : std::to_string(framebuffers->getSamples()) + "x MSAA")
              << ")" << std::endl;

    const auto start = std::chrono::steady_clock::now();
    const auto wallSeconds = [&start] {
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    };
    RenderProgress progress(totalFrames, fps,
                            commandLine.renderJob          ? RenderProgress::Display::JOB
                            : ::isatty(STDERR_FILENO) == 1 ? RenderProgress::Display::TERMINAL
                                                           : RenderProgress::Display::LOG);
    const audio::OutputNodeManual& output = *graph.context->getManualOutput();
    std::uint64_t renderedSamples = 0;
    std::uint64_t writtenSamples = 0;
    // Pulls whole blocks until `target` samples are rendered; the track gets the source's
    // samples and none past its end.
    PhaseTimes times;
    // With --render-stats the GL finishes each phase before the next is timed; without, a GPU
    // is free to overlap them.
    const auto finishGl = [&commandLine] {
        if (commandLine.renderStats) {
            glFinish();
        }
    };
    const auto pullAudioTo = [&](std::uint64_t target) {
        while (renderedSamples < target) {
            {
                PhaseTimes::Scope timing(times, Phase::Audio);
                graph.context->renderBlocks(1);
            }
            renderedSamples += blockSize;
            const std::uint64_t take = std::min<std::uint64_t>(blockSize, numSamples - writtenSamples);
            if (take > 0) {
                const audio::Buffer& block = output.getOutputBuffer();
                const float* channels[2] = {block.getChannel(0), block.getChannel(1)};
                encoder->writeAudio(channels, take);
                writtenSamples += take;
            }
        }
    };

    // Mapping the older buffer waits for nothing when the read-back has completed meanwhile.
    const auto writeFrame = [&](std::uint64_t index) {
        std::optional<PhaseTimes::Scope> timing(std::in_place, times, Phase::ReadBack);
        framebuffers->withPixels(index, [&](const std::uint8_t* pixels) {
            timing.reset();
            encoder->writeVideoFrame(pixels);
        });
    };

    int exitCode = 0;
    // The signal that ended the render before its last frame, if one did.
    int stoppedBy = 0;
    std::uint64_t frame = 0;
    const float frameSeconds = 1.0f / static_cast<float>(fps);
    // The track the frame shows.
    std::size_t track = 0;
    try {
        for (; frame < totalFrames && stop.getSignal() == 0; ++frame) {
            const std::uint64_t frameSample = frame * sampleRate / static_cast<std::uint64_t>(fps);
            pullAudioTo(frameSample);
            {
                PhaseTimes::Scope timing(times, Phase::Update);
                stage.takeSpectrumEndingAt(frameSample);
                stage.advance(frameSeconds, size);
            }
            {
                PhaseTimes::Scope timing(times, Phase::Draw);
                framebuffers->beginFrame();
                stage.drawFrame(size);
                if (track + 1 < music.tracks.size() && frameSample >= music.tracks[track + 1].startSample) {
                    while (track + 1 < music.tracks.size() &&
                           frameSample >= music.tracks[track + 1].startSample) {
                        ++track;
                    }
                    overlay.reset();
                    // A line about the next track's cover goes below the progress line, not into it.
                    std::cerr << progress.end();
                    overlay = makeOverlay(commandLine, music.tracks[track], size);
                }
                if (overlay) {
                    const RenderTrack& playing = music.tracks[track];
                    overlay->draw(static_cast<double>(frameSample - playing.startSample) / sampleRate,
                                  static_cast<double>(playing.numSamples) / sampleRate);
                }
                finishGl();
            }
            {
                PhaseTimes::Scope timing(times, Phase::Resolve);
                framebuffers->resolve();
                finishGl();
            }
            {
                PhaseTimes::Scope timing(times, Phase::ReadBack);
                framebuffers->startReadBack(frame);
                finishGl();
            }
            if (frame > 0) {
                writeFrame(frame - 1);
                std::cerr << progress.update(frame, wallSeconds()) << std::flush;
            }
        }
        if (frame > 0) {
            writeFrame(frame - 1);
            std::cerr << progress.update(frame, wallSeconds()) << std::flush;
        }
        stoppedBy = frame < totalFrames ? stop.getSignal() : 0;
        // The track ends with the song, or after an interruption with the last frame.
        pullAudioTo(stoppedBy != 0 ? frame * sampleRate / static_cast<std::uint64_t>(fps) : numSamples);
        encoder->finish();
    } catch (const std::exception& exc) {
        std::cerr << progress.end() << "mirvo: the render stopped: " << oneLine(exc.what()) << std::endl;
        exitCode = 1;
    }
    if (exitCode != 0) {
        // Closes the file on what was written; the failure has been told already.
        try {
            encoder->finish();
        } catch (const std::exception&) {
        }
    }
    const std::uint64_t written = encoder->getNumVideoFrames();
    // The encoders' threads end with them: count their time first.
    std::vector<ThreadGroupCpu> cpu =
        commandLine.renderStats ? sampleThreadCpu() : std::vector<ThreadGroupCpu>();
    const double renderSeconds = wallSeconds();
    times.addAll(encoder->getTimes());
    if (encoder->getThreadCpuSeconds() > 0.0) {
        cpu.push_back({"mirvo-encode", 1, encoder->getThreadCpuSeconds()});
    }
    encoder.reset();
    std::cerr << progress.end();
    const bool interrupted = stoppedBy != 0;
    if (written > 0) {
        try {
            file->keep(commandLine.overwrite);
        } catch (const std::system_error& exc) {
            std::cerr << "mirvo: cannot render to '" << out << "': " << oneLine(exc.what())
                      << "; the video is in '" << file->getWritePath() << "'" << std::endl;
            exitCode = 1;
        }
    } else if (exitCode == 0 && interrupted) {
        std::cerr << "mirvo: interrupted before the first frame; '" << out << "' was not written"
                  << std::endl;
        exitCode = StopSignals::exitStatusFor(stoppedBy);
    }
    std::error_code error;
    const std::uint64_t bytes = fs::file_size(out, error);
    if (exitCode == 0) {
        const double length = static_cast<double>(written) / fps;
        std::cerr << "mirvo: " << (interrupted ? "interrupted; " : "") << "wrote '" << out
                  << "': " << formatDuration(length) << " of video (" << written << " frames"
                  << (interrupted ? " of " + std::to_string(totalFrames) : std::string()) << "), "
                  << formatSize(error ? 0 : bytes) << ", in " << formatDuration(wallSeconds()) << std::endl;
        if (interrupted) {
            exitCode = StopSignals::exitStatusFor(stoppedBy);
        }
    }
    if (exitCode == 0 && music.skipped > 0) {
        std::cerr << "mirvo: " << music.skipped << (music.skipped == 1 ? " file" : " files")
                  << " of the queue could not be played and " << (music.skipped == 1 ? "is" : "are")
                  << " not in the video" << std::endl;
        exitCode = 1;
    }
    if (commandLine.renderStats) {
        std::cerr << formatStats(times, written, renderSeconds, cpu);
    }

    // The scenes own GL objects: they go before the context.
    graph.context->disable();
    stage.getScenes().clear();
    overlay.reset();
    framebuffers.reset();
    return exitCode;
}

} // namespace mirvo::render
