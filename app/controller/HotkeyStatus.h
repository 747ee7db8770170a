#pragma once

#include <QObject>
#include <QString>

class AppState;
class HotkeyEngine;

// Whether the global hotkeys work: the engine watches the keyboard and holds its key grabs. The
// accessibility bus plays no part: the hotkeys and the paste work without it. Main thread only.
class HotkeyStatus : public QObject
{
    Q_OBJECT

public:
    // What the main window says while the hotkeys are dead: what can bring them back. The engine
    // fails to start only where there is no X11 display to watch (a Wayland session without one);
    // a combination another program holds is the other way a hotkey stays silent.
    static inline const QString kInactiveAdvice =
        QStringLiteral("快捷键未生效——Murmo 读不到键盘：全局快捷键需要 X11 会话，Wayland 下请在登录界面改选 Xorg 会话；"
                       "若是快捷键被别的程序占用，请在设置里换一个。回到本窗口自动恢复，或点「重试」。");

    HotkeyStatus(AppState& state, HotkeyEngine& engine, QObject* parent = nullptr);

    // Starts the engine and publishes whether the hotkeys are live.
    void start();
    // start(), then shows the idle line for the outcome and has the views reread the hotkeys.
    void retry();

private:
    AppState& m_state;
    HotkeyEngine& m_engine;
};
