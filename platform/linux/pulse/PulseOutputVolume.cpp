#include "platform/linux/pulse/PulseOutputVolume.h"

#include <pulse/context.h>
#include <pulse/introspect.h>
#include <pulse/mainloop.h>
#include <pulse/volume.h>

#include <QByteArray>

#include <algorithm>
#include <cmath>
#include <functional>

namespace {

using SteadyClock = std::chrono::steady_clock;

// One connection to the server with a deadline shared by everything done over it.
class PulseSession
{
public:
    explicit PulseSession(std::chrono::milliseconds timeout)
        : m_deadline(SteadyClock::now() + timeout)
    {
        m_loop = pa_mainloop_new();
        if (!m_loop)
            return;
        m_context = pa_context_new(pa_mainloop_get_api(m_loop), "Murmo");
        if (!m_context)
            return;
        // Never start a server of our own: no server means no volume to change.
        if (pa_context_connect(m_context, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0)
            return;
        runUntil([this] {
            const pa_context_state_t state = pa_context_get_state(m_context);
            return state == PA_CONTEXT_READY || !PA_CONTEXT_IS_GOOD(state);
        });
        m_ready = pa_context_get_state(m_context) == PA_CONTEXT_READY;
    }

    ~PulseSession()
    {
        if (m_context) {
            pa_context_disconnect(m_context);
            pa_context_unref(m_context);
        }
        if (m_loop)
            pa_mainloop_free(m_loop);
    }

    PulseSession(const PulseSession&) = delete;
    PulseSession& operator=(const PulseSession&) = delete;

    bool ready() const { return m_ready; }
    pa_context* context() const { return m_context; }

    // Runs the loop until done() holds, the connection fails or the deadline passes; true when
    // done() held. An operation still pending at the end is cancelled, so its callback (which
    // points into the caller's stack) never runs later.
    bool wait(pa_operation* operation, const std::function<bool()>& done)
    {
        if (!operation)
            return false;
        const bool finished =
            runUntil([&] { return done() || pa_operation_get_state(operation) != PA_OPERATION_RUNNING; });
        if (pa_operation_get_state(operation) == PA_OPERATION_RUNNING)
            pa_operation_cancel(operation);
        pa_operation_unref(operation);
        return finished && done();
    }

private:
    bool runUntil(const std::function<bool()>& done)
    {
        while (!done()) {
            if (m_context && !PA_CONTEXT_IS_GOOD(pa_context_get_state(m_context)))
                return false;
            const auto left =
                std::chrono::duration_cast<std::chrono::microseconds>(m_deadline - SteadyClock::now()).count();
            if (left <= 0)
                return false;
            if (pa_mainloop_prepare(m_loop, int(std::min<long long>(left, 100000))) < 0 ||
                pa_mainloop_poll(m_loop) < 0 || pa_mainloop_dispatch(m_loop) < 0)
                return false;
        }
        return true;
    }

    SteadyClock::time_point m_deadline;
    pa_mainloop* m_loop = nullptr;
    pa_context* m_context = nullptr;
    bool m_ready = false;
};

struct SinkQuery
{
    bool done = false;
    bool found = false;
    QString name;
    pa_cvolume volume{};
};

void onSinkInfo(pa_context*, const pa_sink_info* info, int eol, void* userdata)
{
    auto* query = static_cast<SinkQuery*>(userdata);
    if (eol != 0 || !info) {
        query->done = true;
        return;
    }
    query->found = true;
    query->name = QString::fromUtf8(info->name);
    query->volume = info->volume;
}

std::optional<SinkQuery> sinkByName(PulseSession& session, const QByteArray& name)
{
    SinkQuery query;
    pa_operation* op = pa_context_get_sink_info_by_name(session.context(), name.constData(), onSinkInfo, &query);
    if (!session.wait(op, [&] { return query.done; }) || !query.found)
        return std::nullopt;
    return query;
}

} // namespace

PulseOutputVolume::PulseOutputVolume(std::chrono::milliseconds timeout)
    : m_timeout(timeout)
{}

std::optional<OutputVolume::Reading> PulseOutputVolume::defaultOutput()
{
    PulseSession session(m_timeout);
    if (!session.ready())
        return std::nullopt;

    struct ServerQuery
    {
        bool done = false;
        QByteArray defaultSink;
    } server;
    pa_operation* op = pa_context_get_server_info(
        session.context(),
        [](pa_context*, const pa_server_info* info, void* userdata) {
            auto* query = static_cast<ServerQuery*>(userdata);
            if (info && info->default_sink_name)
                query->defaultSink = QByteArray(info->default_sink_name);
            query->done = true;
        },
        &server);
    if (!session.wait(op, [&] { return server.done; }) || server.defaultSink.isEmpty())
        return std::nullopt;

    const std::optional<SinkQuery> sink = sinkByName(session, server.defaultSink);
    if (!sink)
        return std::nullopt;
    Reading reading;
    reading.sink = sink->name;
    reading.settable = pa_cvolume_valid(&sink->volume) != 0;
    reading.volume = reading.settable ? float(double(pa_cvolume_max(&sink->volume)) / double(PA_VOLUME_NORM)) : 0.0f;
    return reading;
}

bool PulseOutputVolume::setVolume(const QString& sink, float volume)
{
    if (!std::isfinite(volume) || volume < 0.0f)
        return false;
    PulseSession session(m_timeout);
    if (!session.ready())
        return false;
    const QByteArray name = sink.toUtf8();
    std::optional<SinkQuery> current = sinkByName(session, name);
    if (!current || !pa_cvolume_valid(&current->volume))
        return false;

    const double raw = std::round(double(volume) * double(PA_VOLUME_NORM));
    pa_cvolume target = current->volume;
    pa_cvolume_scale(&target, pa_volume_t(std::min(raw, double(PA_VOLUME_MAX))));

    struct SetResult
    {
        bool done = false;
        bool success = false;
    } result;
    pa_operation* op = pa_context_set_sink_volume_by_name(
        session.context(), name.constData(), &target,
        [](pa_context*, int success, void* userdata) {
            auto* r = static_cast<SetResult*>(userdata);
            r->success = success != 0;
            r->done = true;
        },
        &result);
    return session.wait(op, [&] { return result.done; }) && result.success;
}
