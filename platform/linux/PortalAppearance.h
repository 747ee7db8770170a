#pragma once

#include "platform/Appearance.h"

#include <optional>

#include <QDBusMessage>

class QDBusPendingCallWatcher;

// Light or dark from the desktop portal's "color-scheme" setting. Until the portal answers, and
// on desktops without a portal or without a preference, the lightness of the Qt palette's window
// colour decides. Main thread only.
class PortalAppearance : public Appearance
{
    Q_OBJECT

public:
    explicit PortalAppearance(QObject* parent = nullptr);

    bool isDark() const override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private Q_SLOTS:
    // Takes the whole message: the value arrives as a variant whose nesting varies by portal.
    void onSettingChanged(const QDBusMessage& message);

private:
    void askPortal();
    void onInitialAnswer(QDBusPendingCallWatcher* watcher);
    void applyScheme(uint scheme);
    void reevaluate();
    static bool paletteIsDark();

    // 1 = prefers dark, 2 = prefers light, 0 or absent = no preference.
    std::optional<uint> m_portalScheme;
    bool m_dark = false;
};
