// Decoding the start-up music through our sources against bare loops over the same libraries
// (the floor), and playback of it through the file player's read-ahead thread. The counter
// "x_realtime" is seconds of audio decoded per second of wall time.
#include "audio/ContextManual.h"
#include "audio/FilePlayerNode.h"
#include "audio/SourceFile.h"
#include "tests/TestPaths.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libswresample/swresample.h>
}
#include <vorbis/vorbisfile.h>

namespace {

using namespace mirvo::audio;

constexpr double kInitSeconds = 60.0;
constexpr int kGraphRate = 48000;

std::string initMp3()
{
    return std::string(MIRVO_SOURCE_DIR) + "/resources/init.mp3";
}

// An Ogg Vorbis rendition of init.mp3, made once per run in the temporary directory.
const std::string& initOgg()
{
    static const std::string path = [] {
        const std::string out = (std::filesystem::temp_directory_path() / "mirvo-bench-init.ogg").string();
        const std::string command = "ffmpeg -nostdin -loglevel error -y -i '" + initMp3() +
                                    "' -c:a libvorbis -q:a 5 '" + out + "' >/dev/null 2>&1";
        if (std::system(command.c_str()) != 0) {
            return std::string();
        }
        return out;
    }();
    return path;
}

void setRealTimeCounter(benchmark::State& state)
{
    state.counters["x_realtime"] =
        benchmark::Counter(kInitSeconds * double(state.iterations()), benchmark::Counter::kIsRate);
}

void BM_DecodeInitMp3(benchmark::State& state)
{
    for (auto _ : state) {
        auto source = load(mirvo::loadFile(initMp3()), kGraphRate);
        BufferRef buffer = source->loadBuffer();
        benchmark::DoNotOptimize(buffer->getData());
    }
    setRealTimeCounter(state);
}
BENCHMARK(BM_DecodeInitMp3)->Unit(benchmark::kMillisecond)->UseRealTime();

// The same work with nothing of ours in between: open, decode every packet, resample to
// 48 kHz planar float into one buffer for the whole file.
void BM_DecodeInitMp3Floor(benchmark::State& state)
{
    const std::string path = initMp3();
    std::vector<std::vector<float>> output(2, std::vector<float>(size_t(kInitSeconds * kGraphRate) + 48000));
    for (auto _ : state) {
        AVFormatContext* format = nullptr;
        avformat_open_input(&format, path.c_str(), nullptr, nullptr);
        avformat_find_stream_info(format, nullptr);
        const AVCodec* codec = nullptr;
        const int streamIndex = av_find_best_stream(format, AVMEDIA_TYPE_AUDIO, -1, -1, &codec, 0);
        AVCodecContext* decoder = avcodec_alloc_context3(codec);
        avcodec_parameters_to_context(decoder, format->streams[streamIndex]->codecpar);
        decoder->pkt_timebase = format->streams[streamIndex]->time_base;
        avcodec_open2(decoder, codec, nullptr);
        SwrContext* swr = nullptr;
        swr_alloc_set_opts2(&swr, &decoder->ch_layout, AV_SAMPLE_FMT_FLTP, kGraphRate, &decoder->ch_layout,
                            decoder->sample_fmt, decoder->sample_rate, 0, nullptr);
        swr_init(swr);
        AVPacket* packet = av_packet_alloc();
        AVFrame* frame = av_frame_alloc();
        size_t written = 0;
        auto drain = [&] {
            while (avcodec_receive_frame(decoder, frame) == 0) {
                uint8_t* out[2] = {reinterpret_cast<uint8_t*>(output[0].data() + written),
                                   reinterpret_cast<uint8_t*>(output[1].data() + written)};
                const int room = int(output[0].size() - written);
                written += size_t(
                    std::max(0, swr_convert(swr, out, room, const_cast<const uint8_t**>(frame->extended_data),
                                            frame->nb_samples)));
                av_frame_unref(frame);
            }
        };
        while (av_read_frame(format, packet) >= 0) {
            if (packet->stream_index == streamIndex) {
                avcodec_send_packet(decoder, packet);
                drain();
            }
            av_packet_unref(packet);
        }
        avcodec_send_packet(decoder, nullptr);
        drain();
        benchmark::DoNotOptimize(written);
        av_frame_free(&frame);
        av_packet_free(&packet);
        swr_free(&swr);
        avcodec_free_context(&decoder);
        avformat_close_input(&format);
    }
    setRealTimeCounter(state);
}
BENCHMARK(BM_DecodeInitMp3Floor)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_DecodeVorbis(benchmark::State& state)
{
    if (initOgg().empty()) {
        state.SkipWithError("ffmpeg could not make the Ogg Vorbis rendition");
        return;
    }
    for (auto _ : state) {
        auto source = load(mirvo::loadFile(initOgg()), 0);
        BufferRef buffer = source->loadBuffer();
        benchmark::DoNotOptimize(buffer->getData());
    }
    setRealTimeCounter(state);
}
BENCHMARK(BM_DecodeVorbis)->Unit(benchmark::kMillisecond)->UseRealTime();

// A bare ov_read_float loop copying into one planar buffer for the whole file.
void BM_DecodeVorbisFloor(benchmark::State& state)
{
    if (initOgg().empty()) {
        state.SkipWithError("ffmpeg could not make the Ogg Vorbis rendition");
        return;
    }
    std::vector<std::vector<float>> output(2, std::vector<float>(size_t(kInitSeconds * 44100) + 44100));
    for (auto _ : state) {
        OggVorbis_File file;
        ov_fopen(initOgg().c_str(), &file);
        size_t written = 0;
        float** pcm = nullptr;
        int section = 0;
        for (long got; (got = ov_read_float(&file, &pcm, 4096, &section)) > 0;) {
            const size_t count = std::min(size_t(got), output[0].size() - written);
            for (size_t ch = 0; ch < 2; ++ch) {
                std::copy(pcm[ch], pcm[ch] + count, output[ch].data() + written);
            }
            written += count;
        }
        benchmark::DoNotOptimize(written);
        ov_clear(&file);
    }
    setRealTimeCounter(state);
}
BENCHMARK(BM_DecodeVorbisFloor)->Unit(benchmark::kMillisecond)->UseRealTime();

// Plays init.mp3 through the read-ahead thread into a manual output, one block every
// 1 / speed of its real duration (speed 0: no pacing at all). Underruns are blocks that found
// the rings short in mid-file.
void BM_FilePlayerReadAhead(benchmark::State& state)
{
    const double speed = double(state.range(0));
    const size_t framesPerBlock = 512;
    uint64_t underruns = 0;
    for (auto _ : state) {
        state.PauseTiming();
        auto context = ContextManual::create(kGraphRate, framesPerBlock, 2);
        auto player =
            context->makeNode(new FilePlayerNode(load(mirvo::loadFile(initMp3()), kGraphRate), true));
        player->connect(context->getOutput());
        player->start();
        // Let the first refill land, as a device would during its start-up.
        while (player->getNumBufferedFrames() < framesPerBlock) {
            std::this_thread::yield();
        }
        state.ResumeTiming();
        const auto blockPeriod =
            std::chrono::duration<double>(speed > 0 ? framesPerBlock / (kGraphRate * speed) : 0);
        auto next = std::chrono::steady_clock::now();
        while (player->isEnabled()) {
            context->renderBlocks(1);
            if (speed > 0) {
                // A late block does not make the next ones come faster, as with a device.
                next = std::max(
                    next + std::chrono::duration_cast<std::chrono::steady_clock::duration>(blockPeriod),
                    std::chrono::steady_clock::now());
                std::this_thread::sleep_until(next);
            }
        }
        underruns += player->getNumUnderruns();
    }
    state.counters["underruns"] = double(underruns) / double(state.iterations());
    setRealTimeCounter(state);
}
BENCHMARK(BM_FilePlayerReadAhead)
    ->Arg(10)
    ->Arg(50)
    ->Arg(200)
    ->Arg(0)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(2);

} // namespace
