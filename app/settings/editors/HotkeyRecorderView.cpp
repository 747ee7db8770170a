#include "app/settings/editors/HotkeyRecorderView.h"

#include "app/controller/Settings.h"
#include "app/desktop/FnKeyHelpers.h"
#include "app/settings/editors/HotkeyCaptureSession.h"
#include "app/settings/editors/HotkeyNote.h"
#include "app/settings/editors/SymbolButton.h"
#include "app/ui/Theme.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

constexpr int kButtonMinWidth = 150;

QFont noteFont(const QFont& base)
{
    QFont font = base;
    font.setPointSizeF(base.pointSizeF() * 0.85);
    return font;
}

} // namespace

HotkeyRecorderView::HotkeyRecorderView(Settings& settings, HotkeyCaptureSession& capture, const HotkeyRole& role,
                                       QWidget* parent)
    : QWidget(parent)
    , m_settings(settings)
    , m_capture(&capture)
    , m_role(role)
    , m_button(new QPushButton(this))
    , m_clear(new SymbolButton(QStringLiteral("xmark.circle.fill"), QStringLiteral("清除"), this))
    , m_noteRow(new QWidget(this))
    , m_note(new QLabel(m_noteRow))
    , m_noteLink(new QPushButton(QStringLiteral("打开键盘设置"), m_noteRow))
{
    setObjectName(QStringLiteral("hotkey-") + role.id);
    m_button->setObjectName(QStringLiteral("capture"));
    m_button->setMinimumWidth(kButtonMinWidth);
    m_clear->setObjectName(QStringLiteral("clear"));
    m_note->setObjectName(QStringLiteral("note"));
    m_note->setTextFormat(Qt::PlainText);
    m_note->setWordWrap(true);
    m_note->setFont(noteFont(font()));
    m_noteLink->setObjectName(QStringLiteral("keyboardSettings"));
    m_noteLink->setFlat(true);
    m_noteLink->setFont(noteFont(font()));
    m_noteLink->setCursor(Qt::PointingHandCursor);

    auto* title = new QLabel(role.label, this);
    title->setTextFormat(Qt::PlainText);
    auto* line = new QHBoxLayout;
    line->addWidget(title);
    line->addStretch(1);
    line->addWidget(m_button);
    line->addWidget(m_clear);
    auto* noteLayout = new QHBoxLayout(m_noteRow);
    noteLayout->setContentsMargins(0, 0, 0, 0);
    noteLayout->setSpacing(8);
    noteLayout->addWidget(m_note, 1);
    noteLayout->addWidget(m_noteLink);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(4);
    layout->addLayout(line);
    layout->addWidget(m_noteRow);

    connect(m_button, &QPushButton::clicked, this, &HotkeyRecorderView::toggleCapture);
    connect(m_clear, &SymbolButton::clicked, this, [this] { m_settings.setHotkey(m_role.setting, std::nullopt); });
    connect(m_noteLink, &QPushButton::clicked, this, &HotkeyRecorderView::keyboardSettingsRequested);
    connect(&capture, &HotkeyCaptureSession::captured, this, [this](HotkeyUse use, const Hotkey& hotkey) {
        if (use == m_role.use)
            m_settings.setHotkey(m_role.setting, hotkey);
    });
    // Another hotkey changing may make it share this one's key, or stop sharing it.
    connect(&m_settings, &Settings::changed, this, [this](SettingKey key) {
        if (HotkeyRole::bySetting(key))
            refresh();
    });
    connect(&capture, &HotkeyCaptureSession::ended, this, [this](HotkeyUse ended) {
        if (ended == m_role.use && m_recording) {
            m_recording = false;
            refresh();
        }
    });
    connect(&capture, &HotkeyCaptureSession::grabsChanged, this, &HotkeyRecorderView::refresh);
    refresh();
}

HotkeyRecorderView::~HotkeyRecorderView()
{
    if (m_recording && m_capture)
        m_capture->cancel(m_role.use);
}

std::optional<Hotkey> HotkeyRecorderView::current() const
{
    return m_settings.hotkey(m_role.setting);
}

void HotkeyRecorderView::showEvent(QShowEvent* event)
{
    // The desktop may have taken or given up a combination since the hotkeys were last tried; the
    // note follows once the key thread has tried them again.
    if (m_capture)
        m_capture->probeGrabs();
    QWidget::showEvent(event);
}

void HotkeyRecorderView::hideEvent(QHideEvent* event)
{
    // A closed window must not keep the keyboard.
    endRecording();
    refresh();
    QWidget::hideEvent(event);
}

void HotkeyRecorderView::toggleCapture()
{
    if (m_recording) {
        endRecording();
    } else if (m_capture) {
        m_recording = true;
        m_capture->begin(m_role.use);
    }
    refresh();
}

void HotkeyRecorderView::endRecording()
{
    if (!m_recording)
        return;
    m_recording = false;
    if (m_capture)
        m_capture->cancel(m_role.use);
}

const HotkeyRole* HotkeyRecorderView::sharingRole(const std::optional<Hotkey>& hotkey) const
{
    if (!hotkey)
        return nullptr;
    for (const HotkeyRole& role : HotkeyRole::all()) {
        if (role.id != m_role.id && m_settings.hotkey(role.setting) == hotkey)
            return &role;
    }
    return nullptr;
}

void HotkeyRecorderView::refresh()
{
    const std::optional<Hotkey> hotkey = current();
    if (m_recording) {
        // A chord key is captured on its own, as it is pressed during a recording: nothing to hold.
        m_button->setText(QStringLiteral("按下快捷键…（Esc 取消）"));
    } else {
        m_button->setText(hotkey ? hotkey->display() : QStringLiteral("未设置 · 点设置"));
    }
    m_clear->setVisible(hotkey && !m_recording);

    const bool heldElsewhere = hotkey && m_capture && m_capture->isHeldElsewhere(*hotkey);
    std::optional<HotkeyNote::Note> note =
        HotkeyNote::forHotkey(hotkey, FnKeyHelpers::fnKeyHijacksSystem(), heldElsewhere);
    if (const HotkeyRole* other = sharingRole(hotkey))
        note = HotkeyNote::sharedWith(other->label);
    m_noteRow->setVisible(note.has_value());
    if (!note)
        return;
    m_note->setText(note->text);
    const ThemePalette& palette = Theme::palette();
    QPalette colours = m_note->palette();
    colours.setColor(QPalette::WindowText,
                     Theme::color(note->tone == HotkeyNote::Note::Tone::Ok ? palette.green : palette.warn));
    m_note->setPalette(colours);
    m_noteLink->setVisible(note->offersKeyboardSettings);
}
