#pragma once

#include "platform/KeySynthesizer.h"
#include "platform/ModifierHandback.h"

#include <QByteArray>
#include <QList>
#include <QString>

typedef struct _XDisplay Display;
struct XTestCalls;

// Synthesised keys through the XTEST extension, on a connection of its own, opened when first
// needed rather than while the program starts; keys it pressed and never released go up when it
// is destroyed. The modifiers of the user's that a press lets go of are down again after the
// release, unless the user let go of them meanwhile (ModifierHandback). Main thread only.
class XTestKeySynthesizer : public KeySynthesizer
{
public:
    // displayName empty: $DISPLAY.
    explicit XTestKeySynthesizer(const QString& displayName = {});
    ~XTestKeySynthesizer() override;
    XTestKeySynthesizer(const XTestKeySynthesizer&) = delete;
    XTestKeySynthesizer& operator=(const XTestKeySynthesizer&) = delete;

    // XTEST and XInput 2 are both there: the program can both watch and make keys.
    bool isAvailable() const override;
    bool postKey(quint32 keyCode, quint64 modifierFlags, bool down) override;
    bool isKeyHeld() const override;

private:
    // Opens the connection and checks the extensions, once.
    void open() const;
    // Whether the server tells this connection of every key going down or up, from any device.
    void watchKeys(bool watch);
    // Hands the key events the watch has seen up to now to the handback.
    void takeKeyEvents();

    QByteArray m_displayName;
    mutable bool m_opened = false;
    // XTEST's and XInput 2's calls, from libraries opened when the connection is.
    mutable const XTestCalls* m_x = nullptr;
    mutable Display* m_display = nullptr;
    mutable bool m_available = false;
    mutable int m_xinputOpcode = 0;
    // The keys this synthesiser has pressed and not yet released.
    QList<unsigned char> m_pressed;
    // The user's keys the last press let go of, while the keys it pressed are down.
    ModifierHandback m_handback;
};
