// libavformat + libavcodec + libswresample behind SourceFile. Decoded frames are resampled
// straight into the caller's channels; output that does not fit waits inside the resampler.
// Every frame's format is checked, because a chained Ogg can change rate and channel count
// in mid-file, and the resampler is rebuilt (here, on the reading thread) when it does.
#include "audio/ffmpeg/SourceFileFfmpeg.h"

#include "audio/Exception.h"
#include "core/DataSource.h"
#include "core/Stream.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <optional>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libavutil/log.h>
#include <libavutil/opt.h>
#include <libswresample/swresample.h>
}

namespace mirvo::audio {

namespace {

// Packets that fail to decode in a row before the rest of the file is given up.
constexpr int kMaxBadPacketsInARow = 100;
// Decoding starts this long before a seek target, so that codecs with overlapping frames
// (MP3, AAC, Vorbis) have settled by the time the target is reached.
constexpr double kSeekPrerollSeconds = 0.1;
constexpr int kIoBufferSize = 32 * 1024;
// What recognising a file may read. A file of zeros named .mp3 (a preallocated download) has
// the MP3 parser looking for a frame to its very end, holding every byte: the probe is cut off
// after a few MB, so that any file is accepted or refused in about a second.
constexpr int64_t kProbeBytes = 5'000'000;
constexpr int64_t kProbeMicroseconds = 5'000'000;
constexpr int64_t kMaxBytesToRecognise = 3 * kProbeBytes + (1 << 20);
// What one packet may cost to find while playing: far more than any audio packet, and than the
// video a badly interleaved file puts between two of them, yet no run of zeros (an unfinished
// download) keeps the reader for long or fills the memory.
constexpr int64_t kMaxBytesPerPacket = 32 << 20;
// A run of zero bytes this long ends a compressed file. Every compressed frame carries a
// header, so no such file holds megabytes of zeros, while an unfinished or preallocated
// download ends in nothing else; and the MP3 parser keeps every byte while it looks for a frame
// in them, so without this cut the budgets above decide the memory a bad file takes.
constexpr int64_t kMaxZeroRun = 2 << 20;

bool isRegularFile(const std::string& path)
{
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

int readStream(void* opaque, uint8_t* buffer, int size)
{
    auto* stream = static_cast<IStreamMirvo*>(opaque);
    try {
        const size_t bytes = stream->readDataAvailable(buffer, size_t(size));
        return bytes == 0 ? AVERROR_EOF : int(bytes);
    } catch (const std::exception&) {
        return AVERROR(EIO);
    }
}

int64_t seekStream(void* opaque, int64_t offset, int whence)
{
    auto* stream = static_cast<IStreamMirvo*>(opaque);
    try {
        switch (whence & ~AVSEEK_FORCE) {
        case AVSEEK_SIZE:
            return int64_t(stream->size());
        case SEEK_SET:
            stream->seekAbsolute(offset);
            break;
        case SEEK_CUR:
            stream->seekRelative(offset);
            break;
        case SEEK_END:
            stream->seekAbsolute(int64_t(stream->size()) + offset);
            break;
        default:
            return AVERROR(EINVAL);
        }
        return int64_t(stream->tell());
    } catch (const std::exception&) {
        return AVERROR(EIO);
    }
}

// A local file as FFmpeg reads it, through our own callbacks rather than its file protocol, so
// that a long run of zeros can end it (see kMaxZeroRun) and nothing else is ever opened.
class FileInput {
  public:
    ~FileInput()
    {
        if (mFd >= 0) {
            ::close(mFd);
        }
    }

    // 0, or the errno of the failed open.
    int open(const std::string& path)
    {
        mFd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
        return mFd < 0 ? errno : 0;
    }

    // Uncompressed samples are zeros when the music is silent: from then on zeros are read.
    void allowZeroRuns() { mZerosAreMusic = true; }
    bool cutAZeroRun() const { return mCut; }

    static int read(void* opaque, uint8_t* buffer, int size)
    {
        auto* self = static_cast<FileInput*>(opaque);
        ssize_t got = 0;
        do {
            got = ::read(self->mFd, buffer, size_t(size));
        } while (got < 0 && errno == EINTR);
        if (got < 0) {
            return AVERROR(errno);
        }
        if (got == 0) {
            return AVERROR_EOF;
        }
        if (!self->mZerosAreMusic) {
            int64_t trailingZeros = 0;
            while (trailingZeros < got && buffer[got - 1 - trailingZeros] == 0) {
                ++trailingZeros;
            }
            if (trailingZeros < got) {
                self->mZeroRun = trailingZeros;
            } else if ((self->mZeroRun += got) > kMaxZeroRun) {
                // Unread, so that the position FFmpeg holds stays the file's.
                ::lseek(self->mFd, -off_t(got), SEEK_CUR);
                self->mZeroRun -= got;
                self->mCut = true;
                return AVERROR_EOF;
            }
        }
        return int(got);
    }

    static int64_t seek(void* opaque, int64_t offset, int whence)
    {
        auto* self = static_cast<FileInput*>(opaque);
        if ((whence & ~AVSEEK_FORCE) == AVSEEK_SIZE) {
            struct stat info {};
            return ::fstat(self->mFd, &info) == 0 ? int64_t(info.st_size) : AVERROR(errno);
        }
        const off_t at = ::lseek(self->mFd, off_t(offset), whence & ~AVSEEK_FORCE);
        if (at < 0) {
            return AVERROR(errno);
        }
        self->mZeroRun = 0;
        return int64_t(at);
    }

  private:
    int mFd = -1;
    int64_t mZeroRun = 0;
    bool mZerosAreMusic = false;
    bool mCut = false;
};

// Whether a codec's bytes are samples as they stand, where silence is zeros: PCM and ADPCM,
// whose ids FFmpeg keeps in one block before the first compressed codec.
bool zerosCanBeMusic(AVCodecID id)
{
    return id >= AV_CODEC_ID_PCM_S16LE && id < AV_CODEC_ID_AMR_NB;
}

// Whether the file starts the way some container FFmpeg knows starts, its name aside: a file
// that does and still cannot be opened is damaged rather than something else than audio.
bool recognisedByContent(const std::string& path)
{
    constexpr size_t kProbeHead = 64 * 1024;
    std::vector<unsigned char> head(kProbeHead + AVPROBE_PADDING_SIZE, 0);
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) {
        return false;
    }
    const size_t got = std::fread(head.data(), 1, kProbeHead, file);
    std::fclose(file);
    AVProbeData probe{};
    probe.filename = "";
    probe.buf = head.data();
    probe.buf_size = int(got);
    int score = 0;
    return av_probe_input_format3(&probe, 1, &score) && score > AVPROBE_SCORE_EXTENSION;
}

} // namespace

std::string percentEscapePath(const std::string& path)
{
    static const char* const hex = "0123456789ABCDEF";
    std::string result;
    result.reserve(path.size());
    for (const unsigned char c : path) {
        const bool unreserved = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                                c == '-' || c == '.' || c == '_' || c == '~' || c == '/';
        if (unreserved) {
            result += char(c);
        } else {
            result += '%';
            result += hex[c >> 4];
            result += hex[c & 0xF];
        }
    }
    return result;
}

class SourceFileFfmpeg::Decoder {
  public:
    using Reason = AudioFileExc::Reason;
    // Opens the file and its best audio stream; returns why not when either fails.
    std::optional<Reason> open(const DataSourceRef& dataSource, std::shared_ptr<IStreamMirvo>& stream);
    ~Decoder();
    // FFmpeg's interrupt check, asked during every read: stops a reading that has gone past
    // its budget.
    static int interruptCallback(void* opaque);

    size_t read(Buffer* buffer, size_t offset, size_t numFrames);
    void seek(size_t fileFrame);

    int numChannels = 0;
    int nativeRate = 0;
    int outputRate = 0;
    size_t lengthFrames = 0;
    std::string title;
    std::string artist;
    std::string album;

  private:
    void readTags(const AVStream* audioStream);
    // The next decoded frame into mFrame; false at the end of the material.
    bool decodeNextFrame();
    // Makes the resampler match mFrame's format, first saving what the old one still holds.
    bool prepareResampler();
    // Moves whatever the resampler still holds into mPending.
    void drainResampler();
    int64_t framePosition() const;
    void setOutputPointers(Buffer* buffer, size_t frame);
    // The reads from here on may take `bytes` more from the file before they are cut off.
    void limitReading(int64_t bytes);
    bool overBudget() const;

    AVFormatContext* mFormat = nullptr;
    FileInput mFile;
    AVIOContext* mIo = nullptr;
    AVCodecContext* mCodec = nullptr;
    AVPacket* mPacket = nullptr;
    AVFrame* mFrame = nullptr;
    SwrContext* mSwr = nullptr;
    AVChannelLayout mOutputLayout{};
    AVChannelLayout mSwrInputLayout{};
    // The layout as the frames give it, which mSwrInputLayout may have replaced by a default:
    // what later frames are compared with, so that the resampler is not rebuilt for each one.
    AVChannelLayout mSwrFrameLayout{};
    int mSwrInputRate = 0;
    int mSwrInputFormat = -1;
    int mStreamIndex = -1;
    AVRational mTimeBase{0, 1};
    int64_t mStartPts = 0;
    bool mDemuxerDone = false;
    bool mDecoderDone = false;
    bool mResamplerDrained = false;
    // Frames into and out of the resampler since it was made or reset. Its filter rings on past
    // the last input frame; that tail is no part of the music and is cut where the input ends.
    int64_t mSwrFramesIn = 0;
    int64_t mSwrFramesOut = 0;
    // After a seek: the first native frame to keep; earlier decoded frames are dropped.
    int64_t mSkipUntil = -1;
    // Converted frames that did not fit the caller's buffer while the resampler was rebuilt
    // or drained at the end.
    std::vector<std::vector<float>> mPending;
    size_t mPendingOffset = 0;
    size_t mPendingFrames = 0;
    std::vector<uint8_t*> mOutputPointers;
    std::vector<float> mDiscard;
    std::vector<const uint8_t*> mInputPointers;
    int64_t mBudgetStart = 0;
    int64_t mBudget = 0;
};

int SourceFileFfmpeg::Decoder::interruptCallback(void* opaque)
{
    return static_cast<const Decoder*>(opaque)->overBudget() ? 1 : 0;
}

bool SourceFileFfmpeg::Decoder::overBudget() const
{
    const AVIOContext* io = mFormat ? mFormat->pb : nullptr;
    return mBudget > 0 && io && io->bytes_read - mBudgetStart > mBudget;
}

void SourceFileFfmpeg::Decoder::limitReading(int64_t bytes)
{
    mBudgetStart = mFormat && mFormat->pb ? mFormat->pb->bytes_read : 0;
    mBudget = bytes;
}

std::optional<AudioFileExc::Reason> SourceFileFfmpeg::Decoder::open(const DataSourceRef& dataSource,
                                                                    std::shared_ptr<IStreamMirvo>& stream)
{
    AVDictionary* options = nullptr;
    int status = -1;
    mFormat = avformat_alloc_context();
    if (!mFormat) {
        return Reason::UNKNOWN;
    }
    mFormat->interrupt_callback = AVIOInterruptCB{interruptCallback, this};
    mFormat->probesize = kProbeBytes;
    mFormat->max_analyze_duration = kProbeMicroseconds;
    limitReading(kMaxBytesToRecognise);
    const auto openCustom = [&](void* opaque, int (*readBytes)(void*, uint8_t*, int),
                                int64_t (*seekBytes)(void*, int64_t, int)) -> bool {
        auto* ioBuffer = static_cast<unsigned char*>(av_malloc(kIoBufferSize));
        mIo = ioBuffer ? avio_alloc_context(ioBuffer, kIoBufferSize, 0, opaque, readBytes, nullptr, seekBytes)
                       : nullptr;
        if (!mIo) {
            av_free(ioBuffer);
            return false;
        }
        mFormat->pb = mIo;
        mFormat->flags |= AVFMT_FLAG_CUSTOM_IO;
        // What a playlist or a crafted file names is never opened: local bytes only.
        av_dict_set(&options, "protocol_whitelist", "none", 0);
        status = avformat_open_input(&mFormat, nullptr, nullptr, &options);
        return true;
    };
    if (dataSource->isFilePath()) {
        const std::string path = dataSource->getFilePath();
        // A FIFO or a device node would block the open forever.
        if (!isRegularFile(path)) {
            return Reason::NOT_AUDIO;
        }
        if (const int error = mFile.open(path)) {
            return error == EACCES ? Reason::CANNOT_READ : Reason::NOT_AUDIO;
        }
        if (!openCustom(&mFile, FileInput::read, FileInput::seek)) {
            return Reason::UNKNOWN;
        }
    } else if (!dataSource->isUrl()) {
        stream = dataSource->createStream();
        if (!stream) {
            return Reason::CANNOT_READ;
        }
        if (!openCustom(stream.get(), readStream, seekStream)) {
            return Reason::UNKNOWN;
        }
    }
    av_dict_free(&options);
    if (status == AVERROR(EACCES)) {
        return Reason::CANNOT_READ;
    }
    if (status < 0 || !mFormat) {
        if (dataSource->isFilePath() && recognisedByContent(dataSource->getFilePath())) {
            return Reason::DAMAGED;
        }
        return Reason::NOT_AUDIO;
    }
    // The container was recognised, so what follows fails on its content.
    limitReading(kMaxBytesToRecognise);
    if (avformat_find_stream_info(mFormat, nullptr) < 0) {
        return Reason::DAMAGED;
    }
    // Cover art in an MP3 or the picture of a video is another stream: ask for the audio one.
    const AVCodec* codec = nullptr;
    mStreamIndex = av_find_best_stream(mFormat, AVMEDIA_TYPE_AUDIO, -1, -1, &codec, 0);
    if (mStreamIndex < 0 || !codec) {
        return Reason::NOT_AUDIO;
    }
    AVStream* audioStream = mFormat->streams[mStreamIndex];
    for (unsigned i = 0; i < mFormat->nb_streams; ++i) {
        if (int(i) != mStreamIndex) {
            mFormat->streams[i]->discard = AVDISCARD_ALL;
        }
    }
    mCodec = avcodec_alloc_context3(codec);
    if (!mCodec || avcodec_parameters_to_context(mCodec, audioStream->codecpar) < 0) {
        return Reason::DAMAGED;
    }
    if (zerosCanBeMusic(audioStream->codecpar->codec_id)) {
        mFile.allowZeroRuns();
        // Silence cut off while the stream was being looked at is read again.
        if (mFile.cutAZeroRun()) {
            avio_seek(mFormat->pb, avio_tell(mFormat->pb), SEEK_SET);
        }
    }
    mCodec->pkt_timebase = audioStream->time_base;
    if (avcodec_open2(mCodec, codec, nullptr) < 0) {
        return Reason::DAMAGED;
    }
    numChannels = audioStream->codecpar->ch_layout.nb_channels;
    nativeRate = audioStream->codecpar->sample_rate;
    if (numChannels < 1 || size_t(numChannels) > kMaxFileChannels ||
        size_t(nativeRate) < kMinFileSampleRate || size_t(nativeRate) > kMaxFileSampleRate) {
        return Reason::DAMAGED;
    }
    mTimeBase = audioStream->time_base;
    mStartPts = audioStream->start_time != AV_NOPTS_VALUE ? audioStream->start_time : 0;
    // Durations are what the demuxer believes; a file without a header (a VBR MP3) may hold
    // more or less, and readers treat a short read as the end.
    if (audioStream->duration != AV_NOPTS_VALUE && audioStream->duration > 0) {
        lengthFrames = size_t(av_rescale_q(audioStream->duration, mTimeBase, AVRational{1, nativeRate}));
    } else if (mFormat->duration != AV_NOPTS_VALUE && mFormat->duration > 0) {
        lengthFrames = size_t(av_rescale(mFormat->duration, nativeRate, AV_TIME_BASE));
    }
    mPacket = av_packet_alloc();
    mFrame = av_frame_alloc();
    if (!mPacket || !mFrame) {
        return Reason::UNKNOWN;
    }
    // Output channels are the stream's as opened; a later link with a different layout is
    // remixed to it by the resampler.
    av_channel_layout_default(&mOutputLayout, numChannels);
    mPending.resize(size_t(numChannels));
    mOutputPointers.resize(size_t(numChannels));
    readTags(audioStream);
    return std::nullopt;
}

void SourceFileFfmpeg::Decoder::readTags(const AVStream* audioStream)
{
    // ID3 and most containers keep tags on the file, Ogg and some others on the stream.
    const auto tag = [&](const char* key) -> std::string {
        for (const AVDictionary* dictionary : {mFormat->metadata, audioStream->metadata}) {
            const AVDictionaryEntry* entry = av_dict_get(dictionary, key, nullptr, 0);
            if (entry && entry->value && *entry->value) {
                return entry->value;
            }
        }
        return {};
    };
    title = tag("title");
    artist = tag("artist");
    if (artist.empty()) {
        artist = tag("album_artist");
    }
    album = tag("album");
}

SourceFileFfmpeg::Decoder::~Decoder()
{
    swr_free(&mSwr);
    av_frame_free(&mFrame);
    av_packet_free(&mPacket);
    avcodec_free_context(&mCodec);
    avformat_close_input(&mFormat);
    if (mIo) {
        av_freep(&mIo->buffer);
        avio_context_free(&mIo);
    }
    av_channel_layout_uninit(&mOutputLayout);
    av_channel_layout_uninit(&mSwrInputLayout);
    av_channel_layout_uninit(&mSwrFrameLayout);
}

bool SourceFileFfmpeg::Decoder::decodeNextFrame()
{
    int badPackets = 0;
    while (!mDecoderDone) {
        const int received = avcodec_receive_frame(mCodec, mFrame);
        if (received == 0) {
            if (mFrame->nb_samples > 0 && mFrame->ch_layout.nb_channels > 0 && mFrame->sample_rate > 0) {
                return true;
            }
            av_frame_unref(mFrame);
            continue;
        }
        if (received == AVERROR_EOF) {
            mDecoderDone = true;
            break;
        }
        if (received != AVERROR(EAGAIN)) {
            // A frame that failed to decode: carry on with the next packet.
            if (++badPackets >= kMaxBadPacketsInARow) {
                mDecoderDone = true;
                break;
            }
        }
        if (mDemuxerDone) {
            avcodec_send_packet(mCodec, nullptr);
            continue;
        }
        limitReading(kMaxBytesPerPacket);
        const int status = av_read_frame(mFormat, mPacket);
        if (status < 0) {
            // The end of the file, or a read error that ends it: let the decoder drain.
            mDemuxerDone = true;
            avcodec_send_packet(mCodec, nullptr);
            continue;
        }
        if (mPacket->stream_index == mStreamIndex) {
            const int sent = avcodec_send_packet(mCodec, mPacket);
            if (sent < 0 && sent != AVERROR(EAGAIN) && ++badPackets >= kMaxBadPacketsInARow) {
                mDecoderDone = true;
            } else if (sent == 0) {
                badPackets = std::max(0, badPackets - 1);
            }
        }
        av_packet_unref(mPacket);
    }
    return false;
}

int64_t SourceFileFfmpeg::Decoder::framePosition() const
{
    const int64_t pts = mFrame->best_effort_timestamp;
    if (pts == AV_NOPTS_VALUE) {
        return -1;
    }
    return av_rescale_q(pts - mStartPts, mTimeBase, AVRational{1, nativeRate});
}

bool SourceFileFfmpeg::Decoder::prepareResampler()
{
    const bool same = mSwr && mSwrInputRate == mFrame->sample_rate && mSwrInputFormat == mFrame->format &&
                      av_channel_layout_compare(&mSwrFrameLayout, &mFrame->ch_layout) == 0;
    if (same) {
        return true;
    }
    // A later link of a chained file gets the same scrutiny as the first; its frames are dropped.
    if (size_t(mFrame->sample_rate) < kMinFileSampleRate ||
        size_t(mFrame->sample_rate) > kMaxFileSampleRate ||
        size_t(mFrame->ch_layout.nb_channels) > kMaxFileChannels) {
        return false;
    }
    if (mSwr) {
        drainResampler();
        swr_free(&mSwr);
    }
    av_channel_layout_uninit(&mSwrInputLayout);
    av_channel_layout_uninit(&mSwrFrameLayout);
    if (av_channel_layout_copy(&mSwrInputLayout, &mFrame->ch_layout) < 0 ||
        av_channel_layout_copy(&mSwrFrameLayout, &mFrame->ch_layout) < 0) {
        return false;
    }
    // A layout the resampler cannot remix (unknown order) is taken as the default of its count.
    if (mSwrInputLayout.order == AV_CHANNEL_ORDER_UNSPEC) {
        const int count = mSwrInputLayout.nb_channels;
        av_channel_layout_uninit(&mSwrInputLayout);
        av_channel_layout_default(&mSwrInputLayout, count);
    }
    mSwrInputRate = mFrame->sample_rate;
    mSwrInputFormat = mFrame->format;
    if (swr_alloc_set_opts2(&mSwr, &mOutputLayout, AV_SAMPLE_FMT_FLTP, outputRate, &mSwrInputLayout,
                            AVSampleFormat(mFrame->format), mFrame->sample_rate, 0, nullptr) < 0 ||
        swr_init(mSwr) < 0) {
        swr_free(&mSwr);
        return false;
    }
    mResamplerDrained = false;
    mSwrFramesIn = 0;
    mSwrFramesOut = 0;
    mInputPointers.resize(size_t(mSwrInputLayout.nb_channels));
    return true;
}

void SourceFileFfmpeg::Decoder::drainResampler()
{
    if (!mSwr || mResamplerDrained) {
        return;
    }
    mResamplerDrained = true;
    // Keep what is still pending in front of what comes out now.
    if (mPendingOffset > 0) {
        for (auto& channel : mPending) {
            std::memmove(channel.data(), channel.data() + mPendingOffset, mPendingFrames * sizeof(float));
        }
        mPendingOffset = 0;
    }
    bool flush = true;
    for (;;) {
        // The estimate leaves out the filter's padding; what does not fit comes out next round.
        const int capacity = std::max(swr_get_out_samples(mSwr, 0), 0) + 1024;
        for (size_t ch = 0; ch < mPending.size(); ++ch) {
            mPending[ch].resize(mPendingFrames + size_t(capacity));
            mOutputPointers[ch] = reinterpret_cast<uint8_t*>(mPending[ch].data() + mPendingFrames);
        }
        const int produced =
            flush ? swr_convert(mSwr, mOutputPointers.data(), capacity, nullptr, 0)
                  : swr_convert(mSwr, mOutputPointers.data(), capacity, mInputPointers.data(), 0);
        flush = false;
        if (produced <= 0) {
            break;
        }
        const int64_t due =
            av_rescale_rnd(mSwrFramesIn, outputRate, mSwrInputRate, AV_ROUND_UP) - mSwrFramesOut;
        const int64_t kept = std::clamp<int64_t>(due, 0, produced);
        mSwrFramesOut += kept;
        mPendingFrames += size_t(kept);
    }
}

void SourceFileFfmpeg::Decoder::setOutputPointers(Buffer* buffer, size_t frame)
{
    const size_t available = buffer->getNumFrames() - frame;
    for (size_t ch = 0; ch < mOutputPointers.size(); ++ch) {
        if (ch < buffer->getNumChannels()) {
            mOutputPointers[ch] = reinterpret_cast<uint8_t*>(buffer->getChannel(ch) + frame);
        } else {
            // A caller's buffer narrower than the file: the extra channels go nowhere.
            mDiscard.resize(std::max(mDiscard.size(), available));
            mOutputPointers[ch] = reinterpret_cast<uint8_t*>(mDiscard.data());
        }
    }
}

size_t SourceFileFfmpeg::Decoder::read(Buffer* buffer, size_t offset, size_t numFrames)
{
    size_t produced = 0;
    const size_t channels = std::min(size_t(numChannels), buffer->getNumChannels());
    while (produced < numFrames) {
        if (mPendingFrames > 0) {
            const size_t count = std::min(mPendingFrames, numFrames - produced);
            for (size_t ch = 0; ch < channels; ++ch) {
                std::memcpy(buffer->getChannel(ch) + offset + produced, mPending[ch].data() + mPendingOffset,
                            count * sizeof(float));
            }
            mPendingOffset += count;
            mPendingFrames -= count;
            if (mPendingFrames == 0) {
                mPendingOffset = 0;
            }
            produced += count;
            continue;
        }
        const int space = int(std::min<size_t>(numFrames - produced, 1 << 30));
        if (mSwr && !mResamplerDrained) {
            // Output held back from an earlier call.
            setOutputPointers(buffer, offset + produced);
            const int held = swr_convert(mSwr, mOutputPointers.data(), space, mInputPointers.data(), 0);
            if (held > 0) {
                mSwrFramesOut += held;
                produced += size_t(held);
                continue;
            }
        }
        if (decodeNextFrame()) {
            int64_t skip = 0;
            if (mSkipUntil >= 0) {
                const int64_t position = framePosition();
                skip = position < 0 ? 0 : std::clamp<int64_t>(mSkipUntil - position, 0, mFrame->nb_samples);
                if (skip < mFrame->nb_samples) {
                    mSkipUntil = -1;
                }
            }
            if (skip < mFrame->nb_samples && prepareResampler()) {
                const bool planar = av_sample_fmt_is_planar(AVSampleFormat(mFrame->format));
                const int bytesPerSample = av_get_bytes_per_sample(AVSampleFormat(mFrame->format));
                // Only the planes this frame really has are passed on.
                const int planes = planar ? mFrame->ch_layout.nb_channels : 1;
                const int64_t skipBytes =
                    skip * bytesPerSample * (planar ? 1 : mFrame->ch_layout.nb_channels);
                for (int p = 0; p < planes; ++p) {
                    mInputPointers[size_t(p)] = mFrame->extended_data[p] + skipBytes;
                }
                setOutputPointers(buffer, offset + produced);
                const int converted = swr_convert(mSwr, mOutputPointers.data(), space, mInputPointers.data(),
                                                  int(mFrame->nb_samples - skip));
                mSwrFramesIn += mFrame->nb_samples - skip;
                mSwrFramesOut += std::max(converted, 0);
                produced += size_t(std::max(converted, 0));
            }
            av_frame_unref(mFrame);
            continue;
        }
        if (mSwr && !mResamplerDrained) {
            drainResampler();
            continue;
        }
        break;
    }
    return produced;
}

void SourceFileFfmpeg::Decoder::seek(size_t fileFrame)
{
    // The pre-roll may reach before the first packet: priming packets (AAC, Opus) sit at
    // negative times and are needed to decode the first frames correctly.
    const int64_t preroll = int64_t(kSeekPrerollSeconds * nativeRate);
    const int64_t from = int64_t(fileFrame) - preroll;
    const int64_t timestamp = mStartPts + av_rescale_q(from, AVRational{1, nativeRate}, mTimeBase);
    limitReading(kMaxBytesPerPacket);
    if (avformat_seek_file(mFormat, mStreamIndex, INT64_MIN, timestamp, timestamp, 0) < 0 &&
        avformat_seek_file(mFormat, mStreamIndex, INT64_MIN, timestamp, INT64_MAX, 0) < 0) {
        // Not seekable by time at all: start over and decode up to the target.
        avio_seek(mFormat->pb, 0, SEEK_SET);
    }
    avcodec_flush_buffers(mCodec);
    if (mSwr) {
        swr_close(mSwr);
        swr_init(mSwr);
    }
    mResamplerDrained = false;
    mSwrFramesIn = 0;
    mSwrFramesOut = 0;
    mDemuxerDone = false;
    mDecoderDone = false;
    mPendingFrames = 0;
    mPendingOffset = 0;
    mSkipUntil = int64_t(fileFrame);
}

SourceFileFfmpeg::SourceFileFfmpeg(const DataSourceRef& dataSource, size_t sampleRate)
    : SourceFile(sampleRate), mDataSource(dataSource), mDecoder(std::make_unique<Decoder>())
{
    // The program writes no log; FFmpeg's own remarks about odd files would go to stderr.
    static std::once_flag quiet;
    std::call_once(quiet, [] { av_log_set_level(AV_LOG_QUIET); });
    if (const auto failure = mDecoder->open(dataSource, mStream)) {
        // A path that cannot be read at all says so better than the decoder can.
        AudioFileExc::Reason reason = *failure;
        if (dataSource->isFilePath()) {
            const AudioFileExc::Reason pathReason = diagnosePath(dataSource->getFilePath());
            if (pathReason != AudioFileExc::Reason::UNKNOWN) {
                reason = pathReason;
            }
        }
        throw AudioFileExc(
            "could not open audio source file: " + percentEscapePath(dataSource->getFilePath()), reason);
    }
    mNumChannels = size_t(mDecoder->numChannels);
    mNativeSampleRate = size_t(mDecoder->nativeRate);
    mDecoder->outputRate = int(sampleRate ? sampleRate : mNativeSampleRate);
    mNumFrames = mFileNumFrames = mDecoder->lengthFrames;
    // Whatever the container says, the decoder's end is the end.
    mNumFramesKnown = false;
    mTitle = mDecoder->title;
    mArtist = mDecoder->artist;
    mAlbum = mDecoder->album;
}

SourceFileFfmpeg::~SourceFileFfmpeg() = default;

SourceFileRef SourceFileFfmpeg::cloneWithSampleRate(size_t sampleRate) const
{
    auto result = std::make_shared<SourceFileFfmpeg>(mDataSource, sampleRate);
    result->setupSampleRateConversion();
    return result;
}

size_t SourceFileFfmpeg::performRead(Buffer* buffer, size_t bufferFrameOffset, size_t numFramesNeeded)
{
    if (numFramesNeeded == 0 || buffer->getNumChannels() == 0) {
        return 0;
    }
    return mDecoder->read(buffer, bufferFrameOffset, numFramesNeeded);
}

void SourceFileFfmpeg::performSeek(size_t fileFrame)
{
    mDecoder->seek(fileFrame);
}

} // namespace mirvo::audio
