#pragma once

#include <QByteArray>
#include <QProcess>
#include <QtEndian>

#include <cmath>
#include <vector>

// Records what the null sink "out" plays, through its monitor, as 44.1 kHz mono 16-bit samples.
class MonitorRecorder
{
public:
    static constexpr int rate = 44100;

    bool start()
    {
        m_process.start(QStringLiteral("parec"), {"--device=out.monitor", "--format=s16le", "--rate=44100",
                                                  "--channels=1", "--raw", "--latency-msec=20"});
        QObject::connect(&m_process, &QProcess::readyReadStandardOutput,
                         [this] { m_bytes.append(m_process.readAllStandardOutput()); });
        return m_process.waitForStarted(20000);
    }

    ~MonitorRecorder()
    {
        m_process.kill();
        m_process.waitForFinished(2000);
    }

    qsizetype sampleCount() const { return m_bytes.size() / 2; }

    std::vector<double> samples(qsizetype from) const
    {
        std::vector<double> out;
        for (qsizetype i = from; i < sampleCount(); ++i)
            out.push_back(qFromLittleEndian<qint16>(m_bytes.constData() + 2 * i) / 32768.0);
        return out;
    }

private:
    QProcess m_process;
    QByteArray m_bytes;
};

// The stretches of samples louder than threshold, joined across gaps shorter than 20 ms, as
// [first, last] sample indices.
inline std::vector<std::pair<qsizetype, qsizetype>> bursts(const std::vector<double>& s, double threshold)
{
    std::vector<std::pair<qsizetype, qsizetype>> found;
    const qsizetype joinGap = MonitorRecorder::rate / 50;
    for (qsizetype i = 0; i < qsizetype(s.size()); ++i) {
        if (std::abs(s[size_t(i)]) < threshold)
            continue;
        if (!found.empty() && i - found.back().second <= joinGap)
            found.back().second = i;
        else
            found.push_back({i, i});
    }
    return found;
}

// The frequency between low and high (1 Hz steps) with the most energy in s[first...last].
inline double dominantFrequency(const std::vector<double>& s, qsizetype first, qsizetype last, double low, double high)
{
    double best = low;
    double bestPower = -1;
    for (double f = low; f <= high; f += 1.0) {
        const double w = 2.0 * M_PI * f / MonitorRecorder::rate;
        const double c = 2.0 * std::cos(w);
        double s1 = 0, s2 = 0;
        for (qsizetype i = first; i <= last; ++i) {
            const double s0 = s[size_t(i)] + c * s1 - s2;
            s2 = s1;
            s1 = s0;
        }
        const double power = s1 * s1 + s2 * s2 - c * s1 * s2;
        if (power > bestPower) {
            bestPower = power;
            best = f;
        }
    }
    return best;
}
