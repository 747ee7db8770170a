#include "app/controller/HotkeyStatus.h"

#include "app/controller/AppState.h"
#include "app/desktop/HotkeyEngine.h"
#include "platform/PermissionProbes.h"

HotkeyStatus::HotkeyStatus(AppState& state, HotkeyEngine& engine, PermissionProbes& permissions)
    : m_state(state)
    , m_engine(engine)
    , m_permissions(permissions)
{}

void HotkeyStatus::start()
{
    // The permission is asked only of a running engine, as a stopped one cannot work either way.
    m_state.setHotkeysActive(m_engine.start() && m_permissions.accessibilityAvailable());
}

void HotkeyStatus::retry()
{
    start();
    m_state.setStatusLine(m_state.readyStatusLine());
    m_state.bumpHistoryVersion();
}
