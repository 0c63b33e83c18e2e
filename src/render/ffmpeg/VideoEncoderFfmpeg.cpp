// The video encoder on FFmpeg's libraries: libavformat muxes, libavcodec encodes and
// libswresample turns the float audio into whatever the audio codec takes; the RGBA frames
// become YUV 4:2:0 in ColourConversion. Each container has one fixed pair of codecs.
#include "src/render/VideoEncoder.h"

#include "src/render/ColourConversion.h"
#include "src/render/ffmpeg/GuardedFileOutput.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/audio_fifo.h>
#include <libavutil/channel_layout.h>
#include <libavutil/error.h>
#include <libavutil/imgutils.h>
#include <libavutil/opt.h>
#include <libswresample/swresample.h>
}

#include <algorithm>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <system_error>

namespace mirvo::render {

namespace {

struct Codecs {
    const char* video;
    // Null: the container carries no audio.
    const char* audio;
    int defaultCrf;
};

Codecs codecsFor(const std::string& path)
{
    std::string extension = std::filesystem::path(path).extension().string();
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    if (extension == ".mkv") {
        return {"libx264", "flac", 20};
    }
    if (extension == ".webm") {
        return {"libvpx-vp9", "libopus", 31};
    }
    if (extension == ".y4m") {
        return {"wrapped_avframe", nullptr, 0};
    }
    return {"libx264", "aac", 20};
}

std::string errorText(int error)
{
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(error, text, sizeof(text));
    return text;
}

class VideoEncoderFfmpeg : public VideoEncoder {
  public:
    explicit VideoEncoderFfmpeg(const VideoSettings& settings) : mSettings(settings)
    {
        try {
            open();
        } catch (...) {
            release();
            throw;
        }
    }

    ~VideoEncoderFfmpeg() override
    {
        if (!mFinished) {
            try {
                finish();
            } catch (const EncodeError&) {
                // Whoever dropped the encoder unfinished has already met a failure of its own.
            }
        }
        release();
    }

    bool hasAudio() const override { return mAudio != nullptr; }
    std::uint64_t getNumVideoFrames() const override { return mNumVideoFrames; }
    PhaseTimes getTimes() const override { return mTimes; }

    void writeVideoFrame(const std::uint8_t* rgba) override
    {
        check(av_frame_make_writable(mVideoFrame), "cannot prepare a video frame");
        {
            PhaseTimes::Scope timing(mTimes, Phase::Convert);
            rgbaToYuv420(rgba, mSettings.size.x, mSettings.size.y,
                         YuvPlanes{mVideoFrame->data[0], mVideoFrame->linesize[0], mVideoFrame->data[1],
                                   mVideoFrame->linesize[1], mVideoFrame->data[2], mVideoFrame->linesize[2]});
        }
        sendVideoFrame();
    }

    void writeYuvFrame(const YuvFrame& frame) override
    {
        check(av_frame_make_writable(mVideoFrame), "cannot prepare a video frame");
        {
            // What is left of the conversion here.
            PhaseTimes::Scope timing(mTimes, Phase::Convert);
            const int width = mSettings.size.x;
            const int height = mSettings.size.y;
            av_image_copy_plane(mVideoFrame->data[0], mVideoFrame->linesize[0], frame.y, frame.yStride, width,
                                height);
            av_image_copy_plane(mVideoFrame->data[1], mVideoFrame->linesize[1], frame.u, frame.uStride,
                                width / 2, height / 2);
            av_image_copy_plane(mVideoFrame->data[2], mVideoFrame->linesize[2], frame.v, frame.vStride,
                                width / 2, height / 2);
        }
        sendVideoFrame();
    }

    void writeAudio(const float* const* channels, std::size_t numFrames) override
    {
        if (mAudio == nullptr || numFrames == 0) {
            return;
        }
        {
            PhaseTimes::Scope timing(mTimes, Phase::EncodeAudio);
            convertIntoFifo(reinterpret_cast<const std::uint8_t**>(const_cast<const float**>(channels)),
                            static_cast<int>(numFrames));
        }
        while (av_audio_fifo_size(mFifo) >= mAudioFrameSize) {
            encodeAudioFrame(mAudioFrameSize);
        }
    }

    void finish() override
    {
        if (mFinished) {
            return;
        }
        mFinished = true;
        if (!mHeaderWritten) {
            return;
        }
        if (mAudio != nullptr) {
            convertIntoFifo(nullptr, 0);
            while (av_audio_fifo_size(mFifo) > 0) {
                encodeAudioFrame(std::min(mAudioFrameSize, av_audio_fifo_size(mFifo)));
            }
            avcodec_send_frame(mAudio, nullptr);
            drain(mAudio, mAudioStream, Phase::EncodeAudio);
        }
        avcodec_send_frame(mVideo, nullptr);
        drain(mVideo, mVideoStream, Phase::EncodeVideo);
        PhaseTimes::Scope timing(mTimes, Phase::Mux);
        check(av_write_trailer(mFormat), "cannot finish");
        const int closed = mOutput->close();
        mFormat->pb = nullptr;
        checkOutput();
        if (closed != 0) {
            fail("cannot close: " + errorText(AVERROR(closed)));
        }
    }

  private:
    // The frame filled in: it goes to the codec as the next one.
    void sendVideoFrame()
    {
        mVideoFrame->pts = static_cast<std::int64_t>(mNumVideoFrames);
        {
            PhaseTimes::Scope timing(mTimes, Phase::EncodeVideo);
            check(avcodec_send_frame(mVideo, mVideoFrame), "cannot encode a video frame");
        }
        ++mNumVideoFrames;
        drain(mVideo, mVideoStream, Phase::EncodeVideo);
    }

    void open()
    {
        const Codecs codecs = codecsFor(mSettings.path);
        check(avformat_alloc_output_context2(&mFormat, nullptr, nullptr, mSettings.path.c_str()),
              "no container for it");
        openVideo(codecs);
        if (codecs.audio != nullptr) {
            openAudio(codecs);
        }
        try {
            mOutput = std::make_unique<GuardedFileOutput>(mSettings.filePath.empty() ? mSettings.path
                                                                                     : mSettings.filePath);
        } catch (const std::system_error& exc) {
            fail("cannot open it for writing: " + errorText(AVERROR(exc.code().value())));
        }
        mFormat->pb = mOutput->getContext();
        mFormat->flags |= AVFMT_FLAG_CUSTOM_IO;
        // MP4 is written whole, not fragmented: a fragmented file carries no edit list, so the AAC
        // encoder's priming would play before the first frame and put the sound 21 ms behind the
        // picture. Its index goes into room kept at the front instead of after the frames, so
        // that a render cut off by a full disk can still write it, and players can start before
        // the whole file has arrived.
        addChapters();
        AVDictionary* options = nullptr;
        if (std::string(mFormat->oformat->name) == "mp4") {
            av_dict_set_int(&options, "moov_size", indexReserveBytes(), 0);
        }
        const int written = avformat_write_header(mFormat, &options);
        av_dict_free(&options);
        check(written, "cannot write its header");
        mHeaderWritten = true;
        checkOutput();
    }

    // The container's chapters, which it frees with itself.
    void addChapters()
    {
        const std::vector<Chapter>& chapters = mSettings.chapters;
        if (chapters.empty() || (mFormat->oformat->flags & AVFMT_NOFILE) != 0) {
            return;
        }
        mFormat->chapters = static_cast<AVChapter**>(av_calloc(chapters.size(), sizeof(AVChapter*)));
        if (mFormat->chapters == nullptr) {
            fail("out of memory");
        }
        for (std::size_t i = 0; i < chapters.size(); ++i) {
            auto* chapter = static_cast<AVChapter*>(av_mallocz(sizeof(AVChapter)));
            if (chapter == nullptr) {
                fail("out of memory");
            }
            chapter->id = static_cast<std::int64_t>(i) + 1;
            chapter->time_base = AVRational{1, static_cast<int>(mSettings.sampleRate)};
            chapter->start = static_cast<std::int64_t>(chapters[i].startSample);
            chapter->end = static_cast<std::int64_t>(chapters[i].endSample);
            av_dict_set(&chapter->metadata, "title", chapters[i].title.c_str(), 0);
            mFormat->chapters[i] = chapter;
            mFormat->nb_chapters = static_cast<unsigned>(i) + 1;
        }
    }

    // Room for the MP4 index of the whole video. It takes about 16 bytes a sample (video frame
    // or audio packet) and at worst, a chunk and a key frame for every sample, 36. A reserve
    // too small would fail the finish, so every sample gets 64.
    std::int64_t indexReserveBytes() const
    {
        const auto videoFrames = static_cast<std::int64_t>(mSettings.numFrames);
        std::int64_t audioPackets = 0;
        if (mAudio != nullptr) {
            const auto seconds = static_cast<double>(videoFrames) / mSettings.fps;
            audioPackets = static_cast<std::int64_t>(seconds * static_cast<double>(mSettings.sampleRate) /
                                                     std::max(mAudioFrameSize, 1)) +
                           16;
        }
        // The chapters' names and times, in a list and as a text track of their own.
        const auto chapterBytes = 1024 * static_cast<std::int64_t>(mSettings.chapters.size());
        return 16384 + 64 * (videoFrames + audioPackets) + chapterBytes;
    }

    // Reports the first write that did not reach the file, once: a render that goes on to
    // finish the file after it writes on without complaint.
    void checkOutput()
    {
        if (mOutput == nullptr || mOutput->getFailure() == 0 || mOutputFailureReported) {
            return;
        }
        mOutputFailureReported = true;
        fail("cannot write: " + errorText(AVERROR(mOutput->getFailure())));
    }

    void openVideo(const Codecs& codecs)
    {
        const AVCodec* codec = avcodec_find_encoder_by_name(codecs.video);
        if (codec == nullptr) {
            fail(std::string("FFmpeg has no encoder ") + codecs.video);
        }
        mVideo = avcodec_alloc_context3(codec);
        mVideo->width = mSettings.size.x;
        mVideo->height = mSettings.size.y;
        mVideo->pix_fmt = AV_PIX_FMT_YUV420P;
        mVideo->time_base = AVRational{1, mSettings.fps};
        mVideo->framerate = AVRational{mSettings.fps, 1};
        mVideo->color_range = AVCOL_RANGE_MPEG;
        mVideo->colorspace = AVCOL_SPC_BT709;
        mVideo->color_primaries = AVCOL_PRI_BT709;
        mVideo->color_trc = AVCOL_TRC_BT709;
        const int crf = mSettings.crf.value_or(codecs.defaultCrf);
        if (codec->id == AV_CODEC_ID_H264) {
            av_opt_set_int(mVideo->priv_data, "crf", crf, 0);
            av_opt_set(mVideo->priv_data, "preset",
                       mSettings.preset.empty() ? "superfast" : mSettings.preset.c_str(), 0);
            mVideo->gop_size = mSettings.fps * 2;
        } else if (codec->id == AV_CODEC_ID_VP9) {
            mVideo->bit_rate = 0;
            av_opt_set_int(mVideo->priv_data, "crf", crf, 0);
            av_opt_set(mVideo->priv_data, "deadline", "good", 0);
            av_opt_set_int(mVideo->priv_data, "cpu-used", 5, 0);
            av_opt_set_int(mVideo->priv_data, "row-mt", 1, 0);
            mVideo->gop_size = mSettings.fps * 2;
        }
        if ((mFormat->oformat->flags & AVFMT_GLOBALHEADER) != 0) {
            mVideo->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
        }
        check(avcodec_open2(mVideo, codec, nullptr), std::string("cannot open the encoder ") + codecs.video);
        mVideoStream = avformat_new_stream(mFormat, nullptr);
        check(mVideoStream == nullptr ? AVERROR(ENOMEM) : 0, "cannot add the video stream");
        check(avcodec_parameters_from_context(mVideoStream->codecpar, mVideo), "cannot describe the video");
        mVideoStream->time_base = mVideo->time_base;
        mVideoStream->avg_frame_rate = mVideo->framerate;

        mVideoFrame = av_frame_alloc();
        mVideoFrame->format = AV_PIX_FMT_YUV420P;
        mVideoFrame->width = mSettings.size.x;
        mVideoFrame->height = mSettings.size.y;
        check(av_frame_get_buffer(mVideoFrame, 0), "cannot allocate a video frame");
    }

    void openAudio(const Codecs& codecs)
    {
        const AVCodec* codec = avcodec_find_encoder_by_name(codecs.audio);
        if (codec == nullptr) {
            fail(std::string("FFmpeg has no encoder ") + codecs.audio);
        }
        mAudio = avcodec_alloc_context3(codec);
        int sampleRate = static_cast<int>(mSettings.sampleRate);
        if (codec->supported_samplerates != nullptr) {
            // The source's rate when the codec takes it, else the codec's first (Opus: 48 kHz).
            int chosen = codec->supported_samplerates[0];
            for (const int* rate = codec->supported_samplerates; *rate != 0; ++rate) {
                if (*rate == sampleRate) {
                    chosen = sampleRate;
                }
            }
            sampleRate = chosen;
        }
        mAudio->sample_rate = sampleRate;
        mAudio->sample_fmt = codec->sample_fmts != nullptr ? codec->sample_fmts[0] : AV_SAMPLE_FMT_FLTP;
        if (codec->sample_fmts != nullptr) {
            for (const AVSampleFormat* format = codec->sample_fmts; *format != AV_SAMPLE_FMT_NONE; ++format) {
                if (*format == AV_SAMPLE_FMT_FLTP) {
                    mAudio->sample_fmt = AV_SAMPLE_FMT_FLTP;
                }
            }
        }
        av_channel_layout_default(&mAudio->ch_layout, static_cast<int>(mSettings.numChannels));
        if (codec->id == AV_CODEC_ID_AAC) {
            mAudio->bit_rate = 192000;
            // The fast search costs a fraction of the default one, which counts when the encoder
            // shares a few cores with the drawing.
            av_opt_set(mAudio->priv_data, "aac_coder", "fast", 0);
        } else if (codec->id == AV_CODEC_ID_OPUS) {
            mAudio->bit_rate = 160000;
        }
        mAudio->time_base = AVRational{1, sampleRate};
        if ((mFormat->oformat->flags & AVFMT_GLOBALHEADER) != 0) {
            mAudio->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
        }
        check(avcodec_open2(mAudio, codec, nullptr), std::string("cannot open the encoder ") + codecs.audio);
        mAudioStream = avformat_new_stream(mFormat, nullptr);
        check(mAudioStream == nullptr ? AVERROR(ENOMEM) : 0, "cannot add the audio stream");
        check(avcodec_parameters_from_context(mAudioStream->codecpar, mAudio), "cannot describe the audio");
        mAudioStream->time_base = mAudio->time_base;
        mAudioFrameSize = mAudio->frame_size > 0 ? mAudio->frame_size : 1024;

        AVChannelLayout sourceLayout;
        av_channel_layout_default(&sourceLayout, static_cast<int>(mSettings.numChannels));
        check(swr_alloc_set_opts2(&mResampler, &mAudio->ch_layout, mAudio->sample_fmt, sampleRate,
                                  &sourceLayout, AV_SAMPLE_FMT_FLTP, static_cast<int>(mSettings.sampleRate),
                                  0, nullptr),
              "cannot convert the audio");
        av_channel_layout_uninit(&sourceLayout);
        check(swr_init(mResampler), "cannot convert the audio");
        mFifo = av_audio_fifo_alloc(mAudio->sample_fmt, mAudio->ch_layout.nb_channels, mAudioFrameSize);
        if (mFifo == nullptr) {
            fail("cannot buffer the audio");
        }
        mAudioFrame = av_frame_alloc();
        check(mAudioFrame == nullptr ? AVERROR(ENOMEM) : 0, "cannot allocate an audio frame");
        mAudioFrame->nb_samples = mAudioFrameSize;
        mAudioFrame->format = mAudio->sample_fmt;
        mAudioFrame->sample_rate = mAudio->sample_rate;
        check(av_channel_layout_copy(&mAudioFrame->ch_layout, &mAudio->ch_layout),
              "cannot describe the audio");
        check(av_frame_get_buffer(mAudioFrame, 0), "cannot allocate an audio frame");
    }

    // `input` null flushes what the resampler holds back.
    void convertIntoFifo(const std::uint8_t** input, int numFrames)
    {
        const int capacity = swr_get_out_samples(mResampler, numFrames);
        if (capacity <= 0) {
            return;
        }
        // One buffer, grown when a block needs more, serves every block.
        if (capacity > mConvertedCapacity) {
            freeConverted();
            check(av_samples_alloc_array_and_samples(&mConverted, nullptr, mAudio->ch_layout.nb_channels,
                                                     capacity, mAudio->sample_fmt, 0),
                  "cannot allocate audio");
            mConvertedCapacity = capacity;
        }
        const int produced = swr_convert(mResampler, mConverted, capacity, input, numFrames);
        int result = produced;
        if (produced > 0) {
            result = av_audio_fifo_write(mFifo, reinterpret_cast<void**>(mConverted), produced);
        }
        check(result < 0 ? result : 0, "cannot convert the audio");
    }

    void freeConverted()
    {
        if (mConverted != nullptr) {
            av_freep(&mConverted[0]);
            av_freep(&mConverted);
        }
        mConvertedCapacity = 0;
    }

    void encodeAudioFrame(int numFrames)
    {
        std::optional<PhaseTimes::Scope> timing(std::in_place, mTimes, Phase::EncodeAudio);
        // The codec may still hold the last frame: writable makes a new buffer only then.
        mAudioFrame->nb_samples = mAudioFrameSize;
        int result = av_frame_make_writable(mAudioFrame);
        if (result >= 0) {
            mAudioFrame->nb_samples = numFrames;
            av_audio_fifo_read(mFifo, reinterpret_cast<void**>(mAudioFrame->data), numFrames);
            mAudioFrame->pts = mNumAudioFrames;
            mNumAudioFrames += numFrames;
            result = avcodec_send_frame(mAudio, mAudioFrame);
        }
        timing.reset();
        check(result, "cannot encode the audio");
        drain(mAudio, mAudioStream, Phase::EncodeAudio);
    }

    // Receiving counts to `encoding`, which is where a codec's work surfaces; writing to Mux.
    void drain(AVCodecContext* codec, AVStream* stream, Phase encoding)
    {
        if (mPacket == nullptr) {
            mPacket = av_packet_alloc();
        }
        while (true) {
            int received = 0;
            {
                PhaseTimes::Scope timing(mTimes, encoding);
                received = avcodec_receive_packet(codec, mPacket);
            }
            if (received == AVERROR(EAGAIN) || received == AVERROR_EOF) {
                return;
            }
            check(received, "cannot encode");
            av_packet_rescale_ts(mPacket, codec->time_base, stream->time_base);
            mPacket->stream_index = stream->index;
            PhaseTimes::Scope timing(mTimes, Phase::Mux);
            check(av_interleaved_write_frame(mFormat, mPacket), "cannot write");
            checkOutput();
        }
    }

    void check(int result, const std::string& what)
    {
        if (result < 0) {
            fail(what + ": " + errorText(result));
        }
    }

    [[noreturn]] void fail(const std::string& what)
    {
        throw EncodeError("'" + mSettings.path + "': " + what);
    }

    void release()
    {
        if (mFormat != nullptr) {
            mFormat->pb = nullptr;
        }
        mOutput.reset();
        avformat_free_context(mFormat);
        mFormat = nullptr;
        avcodec_free_context(&mVideo);
        avcodec_free_context(&mAudio);
        av_frame_free(&mVideoFrame);
        av_frame_free(&mAudioFrame);
        freeConverted();
        av_packet_free(&mPacket);
        swr_free(&mResampler);
        if (mFifo != nullptr) {
            av_audio_fifo_free(mFifo);
            mFifo = nullptr;
        }
    }

    VideoSettings mSettings;
    AVFormatContext* mFormat = nullptr;
    AVCodecContext* mVideo = nullptr;
    AVCodecContext* mAudio = nullptr;
    AVStream* mVideoStream = nullptr;
    AVStream* mAudioStream = nullptr;
    AVFrame* mVideoFrame = nullptr;
    AVFrame* mAudioFrame = nullptr;
    std::uint8_t** mConverted = nullptr;
    int mConvertedCapacity = 0;
    AVPacket* mPacket = nullptr;
    SwrContext* mResampler = nullptr;
    AVAudioFifo* mFifo = nullptr;
    int mAudioFrameSize = 1024;
    std::int64_t mNumAudioFrames = 0;
    std::uint64_t mNumVideoFrames = 0;
    PhaseTimes mTimes;
    std::unique_ptr<GuardedFileOutput> mOutput;
    bool mOutputFailureReported = false;
    bool mHeaderWritten = false;
    bool mFinished = false;
};

} // namespace

std::unique_ptr<VideoEncoder> VideoEncoder::create(const VideoSettings& settings)
{
    // The encoders' own reports (settings, statistics) are no business of a render's output.
    if (av_log_get_level() > AV_LOG_ERROR) {
        av_log_set_level(AV_LOG_ERROR);
    }
    return std::make_unique<VideoEncoderFfmpeg>(settings);
}

} // namespace mirvo::render
