#include "app/controller/HotkeyStatus.h"

#include "app/controller/AppState.h"
#include "app/desktop/HotkeyEngine.h"
#include "platform/PermissionProbes.h"

#include <QCoroFuture>
#include <QPointer>
#include <QtConcurrent>

HotkeyStatus::HotkeyStatus(AppState& state, HotkeyEngine& engine, PermissionProbes& permissions, QObject* parent)
    : QObject(parent)
    , m_state(state)
    , m_engine(engine)
    , m_permissions(permissions)
{}

QCoro::Task<void> HotkeyStatus::start()
{
    QPointer<HotkeyStatus> self(this);
    // The permission is asked only of a running engine, as a stopped one cannot work either way.
    bool live = m_engine.start();
    if (live) {
        PermissionProbes* permissions = &m_permissions;
        live = co_await QtConcurrent::run([permissions] { return permissions->accessibilityAvailable(); });
    }
    if (self)
        m_state.setHotkeysActive(live);
}

QCoro::Task<void> HotkeyStatus::retry()
{
    QPointer<HotkeyStatus> self(this);
    co_await start();
    if (!self)
        co_return;
    m_state.setStatusLine(m_state.readyStatusLine());
    m_state.bumpHistoryVersion();
}
