// libvorbisfile behind SourceFile. Decoded samples are copied from the per-channel arrays that
// ov_read_float hands out straight into the caller's channels.
#include "audio/vorbis/SourceFileOggVorbis.h"

#include "audio/Exception.h"
#include "core/DataSource.h"
#include "core/Stream.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <string>
#include <sys/stat.h>

#include <vorbis/vorbisfile.h>

namespace mirvo::audio {

struct SourceFileOggVorbis::State {
    OggVorbis_File vorbisFile;
    bool open = false;

    ~State()
    {
        if (open) {
            ov_clear(&vorbisFile);
        }
    }
};

namespace {

const char* const kOpenError = "Failed to open Ogg Vorbis file with error: ";
// A damaged page makes ov_read_float report a hole once and then go on; only a run of them
// means the rest of the file is garbage.
constexpr int kMaxHolesInARow = 64;

// The stream callbacks; the context is the source's input stream.
size_t readCallback(void* ptr, size_t size, size_t count, void* context)
{
    if (size == 0) {
        return 0;
    }
    auto* stream = static_cast<IStreamMirvo*>(context);
    try {
        return stream->readDataAvailable(ptr, size * count) / size;
    } catch (const std::exception&) {
        errno = EIO;
        return 0;
    }
}

int seekCallback(void* context, ogg_int64_t offset, int whence)
{
    auto* stream = static_cast<IStreamMirvo*>(context);
    try {
        switch (whence) {
        case SEEK_SET:
            stream->seekAbsolute(offset);
            return 0;
        case SEEK_CUR:
            stream->seekRelative(offset);
            return 0;
        case SEEK_END:
            stream->seekAbsolute(stream->size());
            return 0;
        default:
            return -1;
        }
    } catch (const std::exception&) {
        return -1;
    }
}

int closeCallback(void*)
{
    // The stream lives as long as the source.
    return 0;
}

long tellCallback(void* context)
{
    return long(static_cast<IStreamMirvo*>(context)->tell());
}

bool isRegularFile(const std::string& path)
{
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

AudioFileExc::Reason reasonOf(int status)
{
    switch (status) {
    case OV_EREAD:
        return AudioFileExc::Reason::CANNOT_READ;
    case OV_ENOTVORBIS:
    case OV_EVERSION:
        return AudioFileExc::Reason::NOT_AUDIO;
    case OV_EBADHEADER:
    case OV_EFAULT:
        return AudioFileExc::Reason::DAMAGED;
    default:
        return AudioFileExc::Reason::NOT_AUDIO;
    }
}

// libvorbisfile reports headers cut short like data that is not Vorbis at all; a file that
// starts with a Vorbis identification page is the former.
bool startsAsVorbis(const std::string& path)
{
    char head[35] = {};
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) {
        return false;
    }
    const size_t got = std::fread(head, 1, sizeof head, file);
    std::fclose(file);
    return got == sizeof head && std::memcmp(head, "OggS", 4) == 0 &&
           std::memcmp(head + 28, "\x01vorbis", 7) == 0;
}

// The value of the first "TAG=value" comment, the tag in any case; empty when there is none.
std::string comment(const vorbis_comment& comments, const std::string& tag)
{
    for (int i = 0; i < comments.comments; ++i) {
        const std::string text(comments.user_comments[i], size_t(comments.comment_lengths[i]));
        if (text.size() > tag.size() && text[tag.size()] == '=' &&
            std::equal(tag.begin(), tag.end(), text.begin(), [](char a, char b) {
                return std::toupper((unsigned char)a) == std::toupper((unsigned char)b);
            })) {
            return text.substr(tag.size() + 1);
        }
    }
    return {};
}

} // namespace

SourceFileOggVorbis::SourceFileOggVorbis(const DataSourceRef& dataSource, size_t sampleRate)
    : SourceFile(sampleRate), mState(std::make_unique<State>()), mDataSource(dataSource)
{
    int status = OV_ENOTVORBIS;
    AudioFileExc::Reason pathReason = AudioFileExc::Reason::UNKNOWN;
    if (mDataSource->isFilePath()) {
        const std::string path = mDataSource->getFilePath();
        // Opening a FIFO or a device blocks or never ends; only regular files are decoded.
        pathReason = diagnosePath(path);
        if (isRegularFile(path)) {
            status = ov_fopen(path.c_str(), &mState->vorbisFile);
            if (status == OV_ENOTVORBIS && startsAsVorbis(path)) {
                status = OV_EBADHEADER;
            }
        }
    } else if (!mDataSource->isUrl()) {
        mStream = mDataSource->createStream();
        status = OV_EREAD;
        if (mStream) {
            const ov_callbacks callbacks{readCallback, seekCallback, closeCallback, tellCallback};
            status = ov_open_callbacks(mStream.get(), &mState->vorbisFile, nullptr, 0, callbacks);
        }
    }
    if (status != 0) {
        throw AudioFileExc(kOpenError,
                           pathReason != AudioFileExc::Reason::UNKNOWN ? pathReason : reasonOf(status));
    }
    mState->open = true;

    const vorbis_info* info = ov_info(&mState->vorbisFile, -1);
    if (!info || info->channels < 1 || size_t(info->channels) > kMaxFileChannels ||
        info->rate < long(kMinFileSampleRate) || info->rate > long(kMaxFileSampleRate)) {
        throw AudioFileExc(kOpenError, AudioFileExc::Reason::DAMAGED);
    }
    // After scanning a chained file libvorbisfile may be left positioned in its last link;
    // decoding starts from the first.
    if (ov_seekable(&mState->vorbisFile)) {
        ov_pcm_seek(&mState->vorbisFile, 0);
    }
    mNumChannels = size_t(info->channels);
    mNativeSampleRate = size_t(info->rate);
    const ogg_int64_t total = ov_pcm_total(&mState->vorbisFile, -1);
    mNumFrames = mFileNumFrames = total > 0 ? size_t(total) : 0;
    if (vorbis_comment* comments = ov_comment(&mState->vorbisFile, -1)) {
        mTitle = comment(*comments, "TITLE");
        mArtist = comment(*comments, "ARTIST");
        mAlbum = comment(*comments, "ALBUM");
    }
}

SourceFileOggVorbis::~SourceFileOggVorbis() = default;

SourceFileRef SourceFileOggVorbis::cloneWithSampleRate(size_t sampleRate) const
{
    auto result = std::make_shared<SourceFileOggVorbis>(mDataSource, sampleRate);
    result->setupSampleRateConversion();
    return result;
}

size_t SourceFileOggVorbis::performRead(Buffer* buffer, size_t bufferFrameOffset, size_t numFramesNeeded)
{
    if (numFramesNeeded == 0) {
        return 0;
    }
    const size_t channels = std::min(mNumChannels, buffer->getNumChannels());
    size_t readCount = 0;
    long framesRead = 0;
    int holesInARow = 0;
    while (readCount < numFramesNeeded) {
        float** pcm = nullptr;
        int section = 0;
        const size_t wanted = std::min<size_t>(numFramesNeeded - readCount, 1 << 30);
        framesRead = ov_read_float(&mState->vorbisFile, &pcm, int(wanted), &section);
        if (framesRead == OV_HOLE && ++holesInARow < kMaxHolesInARow) {
            continue;
        }
        if (framesRead < 1) {
            break;
        }
        holesInARow = 0;
        // A chained file may change its channel count from one link to the next: never read a
        // channel the link does not have; a narrower link repeats its last channel.
        const vorbis_info* linkInfo = ov_info(&mState->vorbisFile, section);
        const size_t linkChannels = linkInfo && linkInfo->channels > 0 ? size_t(linkInfo->channels) : 1;
        for (size_t ch = 0; ch < channels; ++ch) {
            const float* source = pcm[std::min(ch, linkChannels - 1)];
            std::memcpy(buffer->getChannel(ch) + bufferFrameOffset + readCount, source,
                        size_t(framesRead) * sizeof(float));
        }
        readCount += size_t(framesRead);
    }
    if (framesRead < 0) {
        throw AudioFileExc("ov_read_float error", AudioFileExc::Reason::DAMAGED);
    }
    return readCount;
}

void SourceFileOggVorbis::performSeek(size_t fileFrame)
{
    ov_pcm_seek(&mState->vorbisFile, ogg_int64_t(fileFrame));
}

std::string SourceFileOggVorbis::getMetaData() const
{
    std::string text;
    vorbis_comment* comment = ov_comment(&mState->vorbisFile, -1);
    if (!comment) {
        return text;
    }
    text += "encoded by: ";
    text += comment->vendor ? comment->vendor : "";
    text += "\ncomments: \n";
    for (int i = 0; i < comment->comments; ++i) {
        text.append(comment->user_comments[i], size_t(comment->comment_lengths[i]));
        text += '\n';
    }
    return text;
}

} // namespace mirvo::audio
