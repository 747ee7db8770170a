#pragma once

#include "platform/Appearance.h"

// An appearance the test flips by hand; setDark reports a change only when the value changes,
// as the desktop does.
class FakeAppearance : public Appearance
{
    Q_OBJECT

public:
    explicit FakeAppearance(bool dark = false, QObject* parent = nullptr)
        : Appearance(parent)
        , m_dark(dark)
    {}

    bool isDark() const override { return m_dark; }

    void setDark(bool dark)
    {
        if (dark == m_dark)
            return;
        m_dark = dark;
        Q_EMIT darkChanged(dark);
    }

private:
    bool m_dark;
};
