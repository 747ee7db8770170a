#pragma once

#include <QCoroTask>
#include <QObject>
#include <QString>

#include <optional>

class AppState;
class Clipboard;
class RecordingOverlay;
class TextInserter;
class Workspace;

// The last step of every flow that produces text for another application (a dictation, its
// retry, a rewrite): type it into the target, or leave it on the clipboard when the target is
// this program's own window or typing is refused; then the status line and the capsule say
// which. Main thread only.
class TextDelivery
{
public:
    // What the status line says for each outcome.
    struct Lines
    {
        QString typed;
        QString copied;
        // When the target was this program's own window; the copied line when none.
        std::optional<QString> copiedFromOwnWindow;
        // When this desktop lets nothing be typed into other applications; the copied line when
        // none.
        std::optional<QString> copiedWithoutTyping;
        // The capsule's hint under copied text; its own default when none.
        std::optional<QString> capsuleCopyHint;
    };

    TextDelivery(AppState& state, RecordingOverlay& overlay, TextInserter& inserter, Clipboard& clipboard,
                 Workspace& workspace);

    // Types text into target unless that is this program's own window, and tells whether the
    // text reached it: false when it did not (typing was refused, or the target never came back
    // to the front), and then the text is on the clipboard instead. generation: the recording the
    // text comes of; while that is still the newest, the status line says when the text waits for
    // held keys to be let go, until finish() says how it went.
    QCoro::Task<bool> type(QString text, std::optional<QString> target, quint64 generation);
    // Says how text went out; text that was not typed goes to the clipboard.
    void finish(const QString& text, const std::optional<QString>& target, bool typed, const Lines& lines);
    // For text whose dictation is no longer the newest: its outcome is not shown over the newer
    // one's. Text that could not be typed was left on the clipboard, though, in place of what the
    // user had copied; the user hears of it once no recording is running.
    void finishStale(const QString& text, const std::optional<QString>& target, bool typed);

    // The program is ending: texts not typed yet stay where every flow filed them before typing,
    // in the history, rather than being typed later or left on a clipboard that goes with the
    // program; the status line says so. Returns how many there were.
    int stop();
    bool isStopped() const { return m_stopped; }

    static inline const QString kWaitingForKeys = QStringLiteral("松开按键后出字…");
    static inline const QString kEarlierCopied = QStringLiteral("上一段文字未能输入 · 已复制，按 Ctrl+V 粘贴");
    static inline const QString kEarlierCopiedNote = QStringLiteral(" · 上一段已复制，按 Ctrl+V 粘贴");
    static inline const QString kKeptInHistory = QStringLiteral("还没输入的文字已保存在历史记录中，可从那里复制");
    static inline const QString kClipboardNotKeptNote = QStringLiteral(" · 剪贴板原有内容过大，未能全部保留");

private:
    // A stale text left on the clipboard; told: the status line has said so.
    struct LeftBehind
    {
        QString text;
        bool told = false;
    };

    bool isOwnWindow(const std::optional<QString>& target) const;
    void tellLeftBehind();

    AppState& m_state;
    RecordingOverlay& m_overlay;
    TextInserter& m_inserter;
    Clipboard& m_clipboard;
    Workspace& m_workspace;
    std::optional<LeftBehind> m_leftBehind;
    // The paste of the text under way could not keep all of the user's clipboard.
    bool m_clipboardNotKept = false;
    bool m_stopped = false;
    // Ends the connections to the state with this object.
    QObject m_context;
};
