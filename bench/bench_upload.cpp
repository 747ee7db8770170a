// What a user waits for while a recording goes up to the gateway: from the request's start until
// the server has the whole body, a 100 KB upload again and again over one kept-alive connection,
// through our transport (Qt's HTTP), next to the same request written by a bare socket with
// Nagle's algorithm off, as one buffer, on a kept-alive connection of its own, to the same server.
// Once over loopback as it is, where Qt's separate writes of headers and body would meet Nagle's
// algorithm and a delayed acknowledgement (see InternetSegments.h), as for a gateway on this
// machine: there ours should stay within a few milliseconds of the bare socket. And once with the
// segments of a path through the internet, the way the gateway is usually reached: the ratio is
// taken there.

#include "bench/BenchRatio.h"
#include "bench/InternetSegments.h"
#include "core/net/HttpTransport.h"
#include "tests/support/FakeHttpService.h"
#include "tests/support/RunTask.h"

#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QEventLoop>
#include <QTcpSocket>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <optional>
#include <utility>
#include <vector>

namespace {

using UploadClock = std::chrono::steady_clock;

constexpr int kUploadBytes = 100 * 1024;
constexpr int kUploads = 12;
// Between two uploads, as between two takes (shortened) and right after one.
constexpr int kGapsMs[] = {5, 300};
const QString kUploadPath = QStringLiteral("/v1/asr");

double uploadMsSince(UploadClock::time_point from, UploadClock::time_point to)
{
    return std::chrono::duration<double, std::milli>(to - from).count();
}

void uploadSpin(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, Qt::PreciseTimer, &loop, &QEventLoop::quit);
    loop.exec();
}

double uploadMedian(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[values.size() / 2];
}

// The server, telling when each upload had arrived whole.
class UploadServer
{
public:
    explicit UploadServer(bool internetSegments)
    {
        if (internetSegments)
            m_ready = useInternetSegmentSize(m_service);
        m_service.setHandler("POST", kUploadPath, [this](const RecordedRequest&) {
            m_arrived = UploadClock::now();
            return FakeReply::json({{QStringLiteral("text"), QStringLiteral("ok")}});
        });
    }
    QUrl url() const { return m_service.baseUrl().resolved(QUrl(kUploadPath)); }
    quint16 port() const { return quint16(m_service.baseUrl().port()); }
    std::optional<UploadClock::time_point> takeArrival() { return std::exchange(m_arrived, std::nullopt); }
    bool isReady() const { return m_ready; }

private:
    FakeHttpService m_service;
    bool m_ready = true;
    std::optional<UploadClock::time_point> m_arrived;
};

// The same request by hand on a kept-alive socket without Nagle's algorithm, in one write.
class BareUploader
{
public:
    explicit BareUploader(quint16 port)
    {
        m_socket.connectToHost(QStringLiteral("127.0.0.1"), port);
        m_socket.waitForConnected(5000);
        m_socket.setSocketOption(QAbstractSocket::LowDelayOption, 1);
    }

    bool upload(const QByteArray& body)
    {
        const QByteArray head = "POST " + kUploadPath.toLatin1() +
                                " HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Type: audio/ogg\r\nContent-Length: " +
                                QByteArray::number(body.size()) + "\r\n\r\n";
        m_socket.write(head + body);
        return readAnswer();
    }

private:
    // Reads one answer whole (its headers, then as many bytes as they say), through the event
    // loop: the server answers on this thread.
    bool readAnswer()
    {
        QEventLoop loop;
        bool whole = false;
        const auto look = [&] {
            m_answer += m_socket.readAll();
            whole = takeAnswer();
            if (whole)
                loop.quit();
        };
        QObject::connect(&m_socket, &QTcpSocket::readyRead, &loop, look);
        QTimer::singleShot(5000, &loop, &QEventLoop::quit);
        look();
        if (!whole)
            loop.exec();
        return whole;
    }

    bool takeAnswer()
    {
        const qsizetype end = m_answer.indexOf("\r\n\r\n");
        if (end < 0)
            return false;
        const QByteArray head = m_answer.left(end).toLower();
        const qsizetype at = head.indexOf("content-length:");
        const qsizetype lineEnd = head.indexOf("\r\n", at);
        const qsizetype valueAt = at + qsizetype(sizeof("content-length:") - 1);
        const qsizetype length =
            at < 0 ? 0 : head.mid(valueAt, (lineEnd < 0 ? end : lineEnd) - valueAt).trimmed().toLongLong();
        if (m_answer.size() < end + 4 + length)
            return false;
        m_answer.remove(0, end + 4 + length);
        return true;
    }

    QTcpSocket m_socket;
    QByteArray m_answer;
};

struct UploadTimes
{
    std::vector<double> ms;
    int stalls = 0; // uploads that took more than 20 ms to arrive on loopback
};

// Times every upload from the start of its request until the server has all of it.
template <typename Send> std::optional<UploadTimes> timeUploads(UploadServer& server, int gapMs, Send send)
{
    UploadTimes times;
    for (int i = 0; i < kUploads; ++i) {
        const auto start = UploadClock::now();
        if (!send())
            return std::nullopt;
        const std::optional<UploadClock::time_point> arrived = server.takeArrival();
        if (!arrived)
            return std::nullopt;
        times.ms.push_back(uploadMsSince(start, *arrived));
        times.stalls += times.ms.back() > 20 ? 1 : 0;
        uploadSpin(gapMs);
    }
    return times;
}

void UploadOverKeptAliveConnection(benchmark::State& state)
{
    const QByteArray body(kUploadBytes, 'a');
    for (auto _ : state) {
        double internetRatio = 0;
        double loopbackExcessMs = 0;
        for (const bool internetSegments : {false, true}) {
            for (const int gapMs : kGapsMs) {
                UploadServer server(internetSegments);
                if (!server.isReady()) {
                    state.SkipWithError("the server's segment size could not be set");
                    return;
                }
                HttpTransport transport;
                BareUploader bare(server.port());
                QNetworkRequest request(server.url());
                request.setHeader(QNetworkRequest::ContentTypeHeader, QByteArrayLiteral("audio/ogg"));
                const auto ours = timeUploads(server, gapMs, [&] {
                    return runTask(transport.send(request, "POST", body, std::chrono::seconds(5))).value.has_value();
                });
                const auto baseline = timeUploads(server, gapMs, [&] { return bare.upload(body); });
                deleteReleasedObjects();
                if (!ours || !baseline) {
                    state.SkipWithError("an upload did not arrive");
                    return;
                }
                std::printf("UPLOAD %s, %d KB x %d, %d ms apart, start to all arrived: ours median %.2f ms, "
                            "slowest %.2f ms, %d over 20 ms; bare socket median %.2f ms, slowest %.2f ms, %d over "
                            "20 ms\n",
                            internetSegments ? "internet-sized segments" : "loopback segments", kUploadBytes / 1024,
                            kUploads, gapMs, uploadMedian(ours->ms),
                            *std::max_element(ours->ms.begin(), ours->ms.end()), ours->stalls,
                            uploadMedian(baseline->ms), *std::max_element(baseline->ms.begin(), baseline->ms.end()),
                            baseline->stalls);
                if (internetSegments)
                    internetRatio = std::max(internetRatio, uploadMedian(ours->ms) / uploadMedian(baseline->ms));
                else
                    loopbackExcessMs = std::max(loopbackExcessMs, uploadMedian(ours->ms) - uploadMedian(baseline->ms));
            }
        }
        constexpr double loopbackTargetMs = 5.0;
        state.counters["loopback_excess_ms"] = loopbackExcessMs;
        std::printf("EXCESS %-47s %6.2f ms (target %.2f ms) %s\n", "upload over loopback - bare socket",
                    loopbackExcessMs, loopbackTargetMs, loopbackExcessMs <= loopbackTargetMs ? "ok" : "OVER TARGET");
        BenchRatio::report(state, "upload over an internet path / bare socket", internetRatio, 4.0);
    }
}
BENCHMARK(UploadOverKeptAliveConnection)->Iterations(1)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication application(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
