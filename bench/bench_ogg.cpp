// What a user waits for when a take is stored or played back: a minute of speech through the
// Ogg/Opus encoder and decoder, next to libopus doing the same 20 ms frames bare, and the
// recording files next to the codec alone.
#include "bench/BenchRatio.h"
#include "core/audio/AudioStorage.h"
#include "core/audio/WavEncoder.h"
#include "core/ogg/OGGDecoder.h"
#include "core/ogg/OGGEncoder.h"

#include <QDir>
#include <QTemporaryDir>

#include <ogg/ogg.h>
#include <opus/opus.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

namespace {

constexpr int kRate = 16000;
constexpr int kFrame = 320;

Samples speechLikeMinute()
{
    Samples samples(60 * kRate);
    double phase = 0;
    uint32_t noise = 12345;
    for (size_t i = 0; i < samples.size(); ++i) {
        const double t = double(i) / kRate;
        phase += 2 * M_PI * (140 + 40 * std::sin(2 * M_PI * 0.7 * t)) / kRate;
        double voiced = 0;
        for (int h = 1; h <= 8; ++h)
            voiced += std::sin(h * phase) / h;
        noise = noise * 1664525u + 1013904223u;
        const double envelope = 0.5 + 0.5 * std::sin(2 * M_PI * 4 * t);
        samples[i] = float(0.25 * envelope * voiced + (double(noise >> 8) / double(1 << 24) - 0.5) * 0.02);
    }
    return samples;
}

const Samples& minute()
{
    static const Samples samples = speechLikeMinute();
    return samples;
}

const QByteArray& minutePcm()
{
    static const QByteArray pcm = WavEncoder::encode(minute(), kRate).mid(WavEncoder::kHeaderSize);
    return pcm;
}

QByteArray oursEncode()
{
    OGGEncoder encoder(kRate, 1, 2, kRate, OGGEncoder::Application::Audio);
    encoder.encode(minutePcm());
    encoder.finish();
    return encoder.bitstream(true);
}

const QByteArray& minuteOgg()
{
    static const QByteArray ogg = oursEncode();
    return ogg;
}

// libopus alone: the same encoder settings, the same frames, the packets kept in memory.
size_t bareEncode()
{
    int error = 0;
    OpusEncoder* encoder = opus_encoder_create(kRate, 1, OPUS_APPLICATION_AUDIO, &error);
    const auto* pcm = reinterpret_cast<const opus_int16*>(minutePcm().constData());
    const size_t frames = size_t(minutePcm().size()) / 2 / kFrame;
    std::vector<unsigned char> packets(frames * 3832);
    size_t total = 0;
    for (size_t f = 0; f < frames; ++f)
        total += size_t(opus_encode(encoder, pcm + f * kFrame, kFrame, packets.data() + total, 3832));
    opus_encoder_destroy(encoder);
    return total;
}

std::vector<QByteArray> packetsOf(const QByteArray& ogg)
{
    std::vector<QByteArray> packets;
    ogg_sync_state sync;
    ogg_sync_init(&sync);
    char* buffer = ogg_sync_buffer(&sync, long(ogg.size()));
    std::memcpy(buffer, ogg.constData(), size_t(ogg.size()));
    ogg_sync_wrote(&sync, long(ogg.size()));
    ogg_stream_state stream;
    bool started = false;
    ogg_page page;
    while (ogg_sync_pageout(&sync, &page) == 1) {
        if (!started)
            ogg_stream_init(&stream, ogg_page_serialno(&page));
        started = true;
        ogg_stream_pagein(&stream, &page);
        ogg_packet packet;
        while (ogg_stream_packetout(&stream, &packet) == 1)
            packets.emplace_back(reinterpret_cast<const char*>(packet.packet), qsizetype(packet.bytes));
    }
    ogg_stream_clear(&stream);
    ogg_sync_clear(&sync);
    packets.erase(packets.begin(), packets.begin() + 2);
    return packets;
}

// libopus alone decoding the packets of the same stream into one buffer.
size_t bareDecode(const std::vector<QByteArray>& packets)
{
    int error = 0;
    OpusDecoder* decoder = opus_decoder_create(kRate, 1, &error);
    std::vector<float> pcm(packets.size() * kFrame);
    size_t total = 0;
    for (const QByteArray& packet : packets)
        total += size_t(opus_decode_float(decoder, reinterpret_cast<const unsigned char*>(packet.constData()),
                                          opus_int32(packet.size()), pcm.data() + total, kFrame, 0));
    opus_decoder_destroy(decoder);
    return total;
}

void EncodeMinute(benchmark::State& state)
{
    for (auto _ : state)
        benchmark::DoNotOptimize(oursEncode());
    BenchRatio::compare(
        state, "Ogg/Opus encode 60 s / bare libopus frames", [] { benchmark::DoNotOptimize(oursEncode()); },
        [] { benchmark::DoNotOptimize(bareEncode()); }, 1.05);
}

void DecodeMinute(benchmark::State& state)
{
    const std::vector<QByteArray> packets = packetsOf(minuteOgg());
    for (auto _ : state)
        benchmark::DoNotOptimize(OGGDecoder(minuteOgg()).pcmData.size());
    BenchRatio::compare(
        state, "Ogg/Opus decode 60 s / bare libopus frames",
        [] { benchmark::DoNotOptimize(OGGDecoder(minuteOgg()).pcmData.size()); },
        [&] { benchmark::DoNotOptimize(bareDecode(packets)); }, 1.05);
}

void StoreAndReadMinute(benchmark::State& state)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("take.ogg"));
    const auto storage = [&] {
        AudioStorage::write(minute(), path);
        benchmark::DoNotOptimize(AudioStorage::readSamples(path).size());
    };
    for (auto _ : state)
        storage();
    BenchRatio::compare(
        state, "recording write+read 60 s / encoder+decoder alone", storage,
        [] { benchmark::DoNotOptimize(OGGDecoder(oursEncode()).pcmData.size()); }, 1.1);
}

} // namespace

BENCHMARK(EncodeMinute)->Unit(benchmark::kMillisecond);
BENCHMARK(DecodeMinute)->Unit(benchmark::kMillisecond);
BENCHMARK(StoreAndReadMinute)->Unit(benchmark::kMillisecond);
