#pragma once

#include "core/text/StylePreferences.h"

#include <QObject>
#include <QString>

class Settings;

// What the windows observe of the dictation controller: the published values, each with its own
// change signal, the change counters that make views reread the stores, and the values derived
// from the settings. The flows (recording, dictation, hotkeys, history operations) each live in
// a class of their own and report here. Main thread only.
class AppState : public QObject
{
    Q_OBJECT
    Q_PROPERTY(bool isRecording READ isRecording NOTIFY isRecordingChanged)
    Q_PROPERTY(QString statusLine READ statusLine NOTIFY statusLineChanged)
    Q_PROPERTY(int historyVersion READ historyVersion NOTIFY historyVersionChanged)
    Q_PROPERTY(bool hotkeysActive READ hotkeysActive NOTIFY hotkeysActiveChanged)
    Q_PROPERTY(int themeVersion READ themeVersion NOTIFY themeVersionChanged)
    Q_PROPERTY(bool showLoginGate READ showLoginGate WRITE setShowLoginGate NOTIFY showLoginGateChanged)

public:
    explicit AppState(Settings& settings, QObject* parent = nullptr);

    bool isRecording() const { return m_isRecording; }
    void setRecording(bool recording);

    // The status line has one rule of priority: a line that reports in the background never
    // replaces one the user is owed, which is the line of a running recording or a notice.
    QString statusLine() const { return m_statusLine; }
    // A line of what the user just did (a dictation, a hotkey or mode change): shown at once,
    // whatever was shown before.
    void setStatusLine(const QString& line);
    // A line the user must get to read (a settings file set aside): shown at once, and it stays
    // until a newer line of setStatusLine.
    void showNotice(const QString& line);
    // For work that finishes in the background (a lexicon sync): dropped while a recording runs or
    // a notice is shown. Returns whether the line is shown.
    bool reportInBackground(const QString& line);

    int historyVersion() const { return m_historyVersion; }
    void bumpHistoryVersion();

    // Whether the hotkeys are armed; not before their first start.
    bool hotkeysActive() const { return m_hotkeysActive; }
    // Whether the last start of the hotkeys failed, which the windows warn of. Not before the first
    // start, which comes after the main window's first frame.
    bool hotkeysFailed() const { return m_hotkeysStarted && !m_hotkeysActive; }
    // The outcome of a start of the hotkeys.
    void setHotkeysActive(bool active);

    int themeVersion() const { return m_themeVersion; }
    void bumpThemeVersion();

    bool showLoginGate() const { return m_showLoginGate; }
    void setShowLoginGate(bool show);

    // The newest recording's mark: every start, dispatch and cancel advances it, and a flow that
    // finds it moved since it began leaves the visible state alone.
    quint64 generation() const { return m_generation; }
    quint64 advanceGeneration() { return ++m_generation; }
    // Whether the recording that stopped with generation is still the newest one.
    bool isCurrent(quint64 generation) const { return m_generation == generation; }

    // The idle status text for the current hotkeys and trigger.
    QString readyStatusLine() const;
    // Whether any hotkey is the Fn key alone.
    bool hasFnHotkey() const;
    // The writing preferences from the settings; the dictation fills the context, profile and
    // application members.
    StylePreferences preferences() const;

    static inline const QString kInitialStatusLine = QStringLiteral("就绪 · 按 Alt+Space 听写，再按一下出字");

Q_SIGNALS:
    void isRecordingChanged(bool recording);
    void statusLineChanged(const QString& line);
    void historyVersionChanged(int version);
    void hotkeysActiveChanged(bool active);
    void themeVersionChanged(int version);
    void showLoginGateChanged(bool show);

private:
    Settings& m_settings;
    bool m_isRecording = false;
    QString m_statusLine = kInitialStatusLine;
    bool m_noticeShown = false;
    int m_historyVersion = 0;
    bool m_hotkeysStarted = false;
    bool m_hotkeysActive = false;
    int m_themeVersion = 0;
    bool m_showLoginGate = false;
    quint64 m_generation = 0;
};
