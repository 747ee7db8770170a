#include "app/settings/editors/HotkeyNote.h"

#include "platform/KeyEvent.h"

namespace HotkeyNote {

namespace {

constexpr qint64 kSpace = 49;

const QString kWarnPrefix = QStringLiteral("⚠️ ");

Note warn(const QString& message)
{
    return Note{kWarnPrefix + message, Note::Tone::Warn, false};
}

// The Space combinations Linux desktops keep for themselves. Alt+Space opens the window menu
// only where the window manager holds it, which the failed grab tells.
std::optional<Note> forSpace(quint64 modifiers, bool heldElsewhere)
{
    if (modifiers == KeyModifier::control)
        return warn(QStringLiteral("Ctrl+Space 是输入法「切换输入法」的系统键，按它会切中英——建议换键"));
    if (modifiers == KeyModifier::super)
        return warn(QStringLiteral("Super+Space 是桌面「切换输入源」的系统键，会冲突——建议换键"));
    if (modifiers == KeyModifier::alt && heldElsewhere)
        return warn(QStringLiteral("Alt+Space 是窗口管理器「窗口菜单」的系统键，会冲突——建议换键"));
    return std::nullopt;
}

} // namespace

std::optional<Note> forHotkey(const std::optional<Hotkey>& hotkey, bool fnTaken, bool heldElsewhere)
{
    if (!hotkey)
        return std::nullopt;
    if (hotkey->isModifierOnly) {
        if (hotkey->keyCode != KeyCode::menu)
            return std::nullopt;
        // The Menu key plays Fn here; the note names the key the user pressed.
        if (!fnTaken)
            return Note{QStringLiteral("✓ %1 已可作听写键").arg(Hotkey{KeyCode::menu, 0, true}.display()),
                        Note::Tone::Ok, false};
        return Note{
            kWarnPrefix +
                QStringLiteral("Fn 现在会切输入法/Emoji。去「系统设置→键盘→按下🌐键以」改成「无操作」才能当听写键"),
            Note::Tone::Warn, true};
    }
    if (hotkey->keyCode == kSpace) {
        if (std::optional<Note> note = forSpace(hotkey->modifiers & KeyModifier::all, heldElsewhere))
            return note;
    }
    if (heldElsewhere)
        return warn(hotkey->display() + QStringLiteral(" 已被其他程序占用，按下时也会传给它——建议换键"));
    return std::nullopt;
}

Note sharedWith(const QString& otherLabel)
{
    return warn(QStringLiteral("与「%1」是同一个键，按下时两者会互相干扰——建议换键").arg(otherLabel));
}

} // namespace HotkeyNote
