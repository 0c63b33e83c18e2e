// Covers decoded by FFmpeg: an audio file's attached picture (ID3's APIC, FLAC's PICTURE, an
// M4A's covr) or an image file, scaled to its drawn size by swscale.
#include "src/render/Picture.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/error.h>
#include <libavutil/pixdesc.h>
#include <libswscale/swscale.h>
}

#include <memory>
#include <mutex>

namespace mirvo::render {

namespace {

std::string errorText(int error)
{
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(error, text, sizeof(text));
    return text;
}

std::string describeSize(Vec2i size)
{
    return std::to_string(size.x) + "x" + std::to_string(size.y);
}

void refuseIfTooLarge(Vec2i size)
{
    if (size.x > kMaxPictureSide || size.y > kMaxPictureSide) {
        throw PictureError("it is too large (" + describeSize(size) + ", at most " +
                           std::to_string(kMaxPictureSide) + " pixels a side)");
    }
}

struct FormatCloser {
    void operator()(AVFormatContext* format) const { avformat_close_input(&format); }
};
struct CodecFreer {
    void operator()(AVCodecContext* codec) const { avcodec_free_context(&codec); }
};
struct PacketFreer {
    void operator()(AVPacket* packet) const { av_packet_free(&packet); }
};
struct FrameFreer {
    void operator()(AVFrame* frame) const { av_frame_free(&frame); }
};
struct ScaleFreer {
    void operator()(SwsContext* scale) const { sws_freeContext(scale); }
};

bool isFullRange(const AVFrame& frame)
{
    switch (frame.format) {
    case AV_PIX_FMT_YUVJ420P:
    case AV_PIX_FMT_YUVJ422P:
    case AV_PIX_FMT_YUVJ444P:
    case AV_PIX_FMT_YUVJ440P:
    case AV_PIX_FMT_YUVJ411P:
        return true;
    default:
        return frame.color_range == AVCOL_RANGE_JPEG;
    }
}

Picture scaleToFit(const AVFrame& frame, Vec2i box)
{
    Picture picture;
    picture.size = fitInside(Vec2i(frame.width, frame.height), box);
    // Lanczos for the usual large cover made small; the full chroma keeps colour edges sharp.
    const std::unique_ptr<SwsContext, ScaleFreer> scale(sws_getContext(
        frame.width, frame.height, static_cast<AVPixelFormat>(frame.format), picture.size.x, picture.size.y,
        AV_PIX_FMT_RGBA, SWS_LANCZOS | SWS_ACCURATE_RND | SWS_FULL_CHR_H_INT | SWS_FULL_CHR_H_INP, nullptr,
        nullptr, nullptr));
    if (!scale) {
        throw PictureError("its pixels (" +
                           std::string(av_get_pix_fmt_name(static_cast<AVPixelFormat>(frame.format))
                                           ? av_get_pix_fmt_name(static_cast<AVPixelFormat>(frame.format))
                                           : "unknown") +
                           ") cannot be converted");
    }
    const int* coefficients = sws_getCoefficients(SWS_CS_DEFAULT);
    sws_setColorspaceDetails(scale.get(), coefficients, isFullRange(frame) ? 1 : 0, coefficients, 1, 0,
                             1 << 16, 1 << 16);
    picture.rgba.resize(static_cast<std::size_t>(picture.size.x) * static_cast<std::size_t>(picture.size.y) *
                        4);
    std::uint8_t* planes[4] = {picture.rgba.data(), nullptr, nullptr, nullptr};
    const int strides[4] = {picture.size.x * 4, 0, 0, 0};
    sws_scale(scale.get(), frame.data, frame.linesize, 0, frame.height, planes, strides);
    return picture;
}

} // namespace

std::optional<Picture> readPicture(const std::string& path, Vec2i box)
{
    static std::once_flag quiet;
    std::call_once(quiet, [] { av_log_set_level(AV_LOG_QUIET); });

    AVFormatContext* opened = nullptr;
    if (const int result = avformat_open_input(&opened, path.c_str(), nullptr, nullptr); result < 0) {
        throw PictureError("it cannot be read (" + errorText(result) + ")");
    }
    const std::unique_ptr<AVFormatContext, FormatCloser> format(opened);

    const AVStream* pictureStream = nullptr;
    bool hasAudio = false;
    for (unsigned i = 0; i < format->nb_streams; ++i) {
        const AVStream* stream = format->streams[i];
        hasAudio = hasAudio || stream->codecpar->codec_type == AVMEDIA_TYPE_AUDIO;
        if (!pictureStream && (stream->disposition & AV_DISPOSITION_ATTACHED_PIC) != 0) {
            pictureStream = stream;
        }
    }
    const std::unique_ptr<AVPacket, PacketFreer> packet(av_packet_alloc());
    if (!packet) {
        throw PictureError("out of memory");
    }
    if (pictureStream) {
        if (av_packet_ref(packet.get(), &pictureStream->attached_pic) < 0) {
            throw PictureError("it cannot be read");
        }
    } else {
        // An audio file without a picture of its own; else an image file, its only stream.
        if (hasAudio || format->nb_streams == 0 ||
            format->streams[0]->codecpar->codec_type != AVMEDIA_TYPE_VIDEO) {
            return std::nullopt;
        }
        pictureStream = format->streams[0];
        if (const int result = av_read_frame(format.get(), packet.get()); result < 0) {
            throw PictureError("it is damaged (" + errorText(result) + ")");
        }
    }
    if (const std::optional<Vec2i> stated =
            statedPictureSize(packet->data, static_cast<std::size_t>(packet->size))) {
        refuseIfTooLarge(*stated);
    }

    const AVCodec* decoder = avcodec_find_decoder(pictureStream->codecpar->codec_id);
    if (!decoder) {
        throw PictureError("it is not a picture that can be decoded");
    }
    const std::unique_ptr<AVCodecContext, CodecFreer> codec(avcodec_alloc_context3(decoder));
    if (!codec || avcodec_parameters_to_context(codec.get(), pictureStream->codecpar) < 0) {
        throw PictureError("out of memory");
    }
    // Whatever the header claimed, the decoder allocates no more than a picture that is allowed.
    codec->max_pixels = static_cast<std::int64_t>(kMaxPictureSide) * kMaxPictureSide;
    codec->thread_count = 1;
    codec->err_recognition |= AV_EF_CRCCHECK | AV_EF_BITSTREAM | AV_EF_BUFFER | AV_EF_EXPLODE;
    if (const int result = avcodec_open2(codec.get(), decoder, nullptr); result < 0) {
        throw PictureError("it cannot be decoded (" + errorText(result) + ")");
    }
    const std::unique_ptr<AVFrame, FrameFreer> frame(av_frame_alloc());
    int result = avcodec_send_packet(codec.get(), packet.get());
    if (result >= 0) {
        avcodec_send_packet(codec.get(), nullptr);
        result = avcodec_receive_frame(codec.get(), frame.get());
    }
    if (result < 0) {
        throw PictureError("it is damaged (" + errorText(result) + ")");
    }
    if (frame->decode_error_flags != 0 || (frame->flags & AV_FRAME_FLAG_CORRUPT) != 0 || frame->width <= 0 ||
        frame->height <= 0) {
        throw PictureError("it is damaged");
    }
    refuseIfTooLarge(Vec2i(frame->width, frame->height));
    return scaleToFit(*frame, box);
}

} // namespace mirvo::render
