#include "app/controller/HotkeyStatus.h"

#include "app/controller/AppState.h"
#include "app/desktop/HotkeyEngine.h"

HotkeyStatus::HotkeyStatus(AppState& state, HotkeyEngine& engine, QObject* parent)
    : QObject(parent)
    , m_state(state)
    , m_engine(engine)
{}

void HotkeyStatus::start()
{
    m_state.setHotkeysActive(m_engine.start());
}

void HotkeyStatus::retry()
{
    start();
    m_state.setStatusLine(m_state.readyStatusLine());
}
