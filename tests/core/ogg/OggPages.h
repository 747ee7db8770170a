#pragma once

// Reads and rewrites Ogg pages byte by byte, written from the format's description (RFC 3533)
// without libogg, so that tests check the encoder's output against an independent reading.

#include <QByteArray>
#include <QList>
#include <QtEndian>

#include <cmath>
#include <cstdint>
#include <optional>
#include <vector>

namespace OggPages {

struct Page
{
    uint8_t version = 0;
    uint8_t headerType = 0;
    int64_t granulePosition = 0;
    uint32_t serial = 0;
    uint32_t sequence = 0;
    uint32_t crc = 0;
    QByteArray lacing;
    QByteArray body;

    bool continued() const { return headerType & 0x01; }
    bool beginOfStream() const { return headerType & 0x02; }
    bool endOfStream() const { return headerType & 0x04; }
    // The last packet on the page goes on to the next page.
    bool endsInsidePacket() const { return !lacing.isEmpty() && uint8_t(lacing.back()) == 255; }
};

inline uint32_t crc(const QByteArray& bytes)
{
    static const std::vector<uint32_t> table = [] {
        std::vector<uint32_t> t(256);
        for (uint32_t i = 0; i < 256; ++i) {
            uint32_t r = i << 24;
            for (int bit = 0; bit < 8; ++bit)
                r = (r & 0x80000000u) ? (r << 1) ^ 0x04c11db7u : (r << 1);
            t[i] = r;
        }
        return t;
    }();
    uint32_t value = 0;
    for (const char c : bytes)
        value = (value << 8) ^ table[((value >> 24) ^ uint8_t(c)) & 0xff];
    return value;
}

inline QByteArray serialise(const Page& page, bool fixCrc = true)
{
    QByteArray out("OggS", 4);
    out.append(char(page.version));
    out.append(char(page.headerType));
    char field[8];
    qToLittleEndian<int64_t>(page.granulePosition, field);
    out.append(field, 8);
    qToLittleEndian<uint32_t>(page.serial, field);
    out.append(field, 4);
    qToLittleEndian<uint32_t>(page.sequence, field);
    out.append(field, 4);
    out.append(QByteArray(4, '\0'));
    out.append(char(page.lacing.size()));
    out.append(page.lacing);
    out.append(page.body);
    const uint32_t value = fixCrc ? crc(out) : page.crc;
    qToLittleEndian<uint32_t>(value, out.data() + 22);
    return out;
}

// The pages of a stream; std::nullopt when the bytes are not a clean sequence of pages with
// correct checksums.
inline std::optional<QList<Page>> parse(const QByteArray& bytes)
{
    QList<Page> pages;
    qsizetype pos = 0;
    while (pos < bytes.size()) {
        if (bytes.size() - pos < 27 || bytes.mid(pos, 4) != "OggS")
            return std::nullopt;
        const char* h = bytes.constData() + pos;
        Page page;
        page.version = uint8_t(h[4]);
        page.headerType = uint8_t(h[5]);
        page.granulePosition = qFromLittleEndian<int64_t>(h + 6);
        page.serial = qFromLittleEndian<uint32_t>(h + 14);
        page.sequence = qFromLittleEndian<uint32_t>(h + 18);
        page.crc = qFromLittleEndian<uint32_t>(h + 22);
        const int segments = uint8_t(h[26]);
        if (bytes.size() - pos < 27 + segments)
            return std::nullopt;
        page.lacing = bytes.mid(pos + 27, segments);
        qsizetype bodySize = 0;
        for (const char l : page.lacing)
            bodySize += uint8_t(l);
        if (bytes.size() - pos - 27 - segments < bodySize)
            return std::nullopt;
        page.body = bytes.mid(pos + 27 + segments, bodySize);
        QByteArray check = bytes.mid(pos, 27 + segments + bodySize);
        std::fill(check.begin() + 22, check.begin() + 26, '\0');
        if (crc(check) != page.crc)
            return std::nullopt;
        pages.append(page);
        pos += 27 + segments + bodySize;
    }
    return pages;
}

// The complete packets of a page (a packet continued from an earlier page is not counted).
inline QList<QByteArray> packets(const Page& page)
{
    QList<QByteArray> out;
    QByteArray current;
    qsizetype offset = 0;
    for (const char l : page.lacing) {
        current.append(page.body.mid(offset, uint8_t(l)));
        offset += uint8_t(l);
        if (uint8_t(l) < 255) {
            out.append(current);
            current.clear();
        }
    }
    return out;
}

inline QByteArray serialiseAll(const QList<Page>& pages)
{
    QByteArray out;
    for (const Page& page : pages)
        out.append(serialise(page));
    return out;
}

// Something like speech: a voiced tone whose pitch glides, with harmonics, syllable-rate
// loudness changes and a little breath noise. Deterministic.
inline std::vector<float> speechLike(size_t count, int sampleRate = 16000)
{
    std::vector<float> out(count);
    double phase = 0;
    uint32_t noise = 12345;
    for (size_t i = 0; i < count; ++i) {
        const double t = double(i) / sampleRate;
        const double pitch = 140 + 40 * std::sin(2 * M_PI * 0.7 * t);
        phase += 2 * M_PI * pitch / sampleRate;
        const double envelope = 0.5 + 0.5 * std::sin(2 * M_PI * 4 * t);
        double voiced = 0;
        for (int h = 1; h <= 8; ++h)
            voiced += std::sin(h * phase) / h;
        noise = noise * 1664525u + 1013904223u;
        const double breath = (double(noise >> 8) / double(1u << 24) - 0.5) * 0.02;
        out[i] = float(0.25 * envelope * voiced + breath);
    }
    return out;
}

// The highest normalised correlation between a and b shifted by 0..maxLag samples: how much
// of the original waveform survived a lossy round trip that may have delayed it.
inline double bestCorrelation(const std::vector<float>& a, const std::vector<float>& b, size_t maxLag)
{
    double best = 0;
    for (size_t lag = 0; lag <= maxLag; ++lag) {
        double ab = 0, aa = 0, bb = 0;
        for (size_t i = 0; i + lag < b.size() && i < a.size(); ++i) {
            ab += double(a[i]) * b[i + lag];
            aa += double(a[i]) * a[i];
            bb += double(b[i + lag]) * b[i + lag];
        }
        if (aa > 0 && bb > 0)
            best = std::max(best, ab / std::sqrt(aa * bb));
    }
    return best;
}

} // namespace OggPages

#include "core/audio/WavEncoder.h"

namespace OggPages {

// Samples as the 16-bit little-endian PCM the encoder takes.
inline QByteArray pcm16(const std::vector<float>& samples)
{
    return WavEncoder::encode(samples, 16000).mid(WavEncoder::kHeaderSize);
}

inline QList<QByteArray> audioPackets(const QList<Page>& pages)
{
    QList<QByteArray> out;
    for (qsizetype i = 2; i < pages.size(); ++i)
        out.append(packets(pages[i]));
    return out;
}

} // namespace OggPages
