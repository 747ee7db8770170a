#include "app/desktop/TextInserter.h"
#include "tests/support/FakeAccessibility.h"
#include "tests/support/FakeDesktop.h"
#include "tests/support/ManualClock.h"
#include "tests/support/TestRegistry.h"

#include <QTest>

#include <limits>

using namespace std::chrono_literals;
using Event = RecordingKeySynthesizer::Event;

namespace {

constexpr quint64 ctrl = KeySynthesizer::controlFlag;
constexpr quint64 shift = KeySynthesizer::shiftFlag;

ClipboardSnapshot textAndImage()
{
    return {{{QStringLiteral("text/plain"), QByteArrayLiteral("before")},
             {QStringLiteral("image/png"), QByteArray("\x89PNG\r\n\x1a\n-pixels", 15)}}};
}

} // namespace

class TestTextInserter : public QObject
{
    Q_OBJECT

    struct Rig
    {
        FakeClipboard clipboard;
        RecordingKeySynthesizer keys;
        FakeWorkspace workspace;
        FakeAccessibility accessibility;
        ManualClock clock;
        TextInserter inserter{clipboard, keys, workspace, accessibility, clock};
        QStringList inserted;
        QList<bool> outcomes;
        // Set by the inserter's request for a release, as the hotkey engine has it.
        bool releaseWanted = false;

        Rig()
        {
            QObject::connect(&inserter, &TextInserter::inserted, &inserter,
                             [this](const QString& text) { inserted << text; });
            QObject::connect(&inserter, &TextInserter::keyReleaseWanted, &inserter, [this] { releaseWanted = true; });
        }
        bool insert(const QString& text, const std::optional<QString>& target)
        {
            return inserter.insert(text, target, [this](bool delivered) { outcomes << delivered; });
        }
    };

private Q_SLOTS:
    void refusesToActWithoutTrust_data()
    {
        QTest::addColumn<bool>("trusted");
        QTest::addColumn<bool>("keysAvailable");
        QTest::newRow("accessibility not trusted") << false << true;
        QTest::newRow("no key synthesis") << true << false;
    }
    void refusesToActWithoutTrust()
    {
        QFETCH(bool, trusted);
        QFETCH(bool, keysAvailable);
        Rig rig;
        rig.accessibility.trusted = trusted;
        rig.keys.available = keysAvailable;
        rig.workspace.addApplication(QStringLiteral("gedit"), 10, QStringLiteral("Text Editor"));
        rig.clipboard.content = textAndImage();

        QCOMPARE(rig.insert(QStringLiteral("你好 world"), QStringLiteral("gedit")), false);
        rig.clock.advance(5s);

        QCOMPARE(rig.clipboard.text(), QStringLiteral("你好 world"));
        QCOMPARE(rig.clipboard.content.formats.size(), 1);
        QVERIFY(rig.keys.events.isEmpty());
        QVERIFY(rig.workspace.activations.isEmpty());
        QVERIFY(rig.inserted.isEmpty());
        QCOMPARE(rig.outcomes, QList<bool>{false});
        QCOMPARE(rig.clipboard.restores, 0);
    }

    void ownApplicationGetsTheClipboardOnly_data()
    {
        QTest::addColumn<QString>("ownId");
        QTest::addColumn<std::optional<QString>>("target");
        QTest::addColumn<bool>("scheduled");
        QTest::newRow("target is us") << QStringLiteral("murmo") << std::optional<QString>(QStringLiteral("murmo"))
                                      << false;
        QTest::newRow("both absent") << QString() << std::optional<QString>() << false;
        QTest::newRow("absent target, own present") << QStringLiteral("murmo") << std::optional<QString>() << true;
    }
    void ownApplicationGetsTheClipboardOnly()
    {
        QFETCH(QString, ownId);
        QFETCH(std::optional<QString>, target);
        QFETCH(bool, scheduled);
        Rig rig;
        rig.workspace.ownId = ownId;
        rig.workspace.addApplication(QStringLiteral("murmo"), 1, QStringLiteral("Murmo"));
        QCOMPARE(rig.insert(QStringLiteral("text"), target), scheduled);
        rig.clock.advance(2s);
        QCOMPARE(rig.keys.events.isEmpty(), !scheduled);
        // Pasted and given back, or left for the user to paste.
        QCOMPARE(rig.clipboard.restores, scheduled ? 1 : 0);
        QCOMPARE(rig.clipboard.text(), scheduled ? std::nullopt : std::optional<QString>(QStringLiteral("text")));
        QCOMPARE(rig.outcomes, QList<bool>{scheduled});
    }

    void pastesIntoTheActiveApplicationAfterTheSettleDelay()
    {
        Rig rig;
        rig.workspace.addApplication(QStringLiteral("gedit"), 10, QStringLiteral("Text Editor"));
        rig.workspace.frontPid = 10;
        rig.clipboard.content = textAndImage();

        QVERIFY(rig.insert(QStringLiteral("hello"), std::nullopt));
        QVERIFY(rig.workspace.activations.isEmpty());
        rig.clock.advance(29ms);
        QVERIFY(rig.keys.events.isEmpty());
        rig.clock.advance(1ms);
        QCOMPARE(rig.keys.events, (QList<Event>{{KeySynthesizer::keyV, ctrl, true}}));
        QCOMPARE(rig.clipboard.text(), QStringLiteral("hello"));
        QCOMPARE(rig.inserted, QStringList{QStringLiteral("hello")});
        rig.clock.advance(21ms);
        QCOMPARE(rig.keys.events.size(), 1);
        rig.clock.advance(1ms);
        QCOMPARE(rig.keys.events.last(), (Event{KeySynthesizer::keyV, ctrl, false}));

        // Restored, every format, 0.4 s after the paste.
        rig.clock.advance(377ms);
        QCOMPARE(rig.clipboard.text(), QStringLiteral("hello"));
        rig.clock.advance(1ms);
        QCOMPARE(rig.clipboard.content, textAndImage());
        QCOMPARE(rig.outcomes, QList<bool>{true});
    }

    // A key held down sends every key to its grab: the key that stopped the recording, or the talk
    // key of the next dictation pressed while the target settles. The paste waits for it to be let
    // go, however long the next dictation takes, looking again right before the keys go out. It goes at the
    // release when the release is reported, else at the next look.
    void waitsForTheHeldKeyToBeLetGo_data()
    {
        QTest::addColumn<bool>("releaseReported");
        QTest::addColumn<int>("pressedAtMs");
        QTest::addColumn<int>("releasedAtMs");
        QTest::addColumn<int>("pasteAtMs");
        QTest::newRow("held at the start, let go") << true << 0 << 120 << 150;
        // Held through the whole of the next dictation.
        QTest::newRow("held for ten seconds") << true << 0 << 10000 << 10030;
        // Never let go (stuck down): the text stays on the clipboard, and the outcome says so.
        QTest::newRow("stuck") << true << 0 << std::numeric_limits<int>::max() << -1;
        QTest::newRow("pressed during the settle") << true << 10 << 100 << 130;
        QTest::newRow("pressed and let go within the settle") << true << 10 << 20 << 30;
        QTest::newRow("unreported: held at the start, let go") << false << 0 << 120 << 180;
        QTest::newRow("unreported: held for ten seconds") << false << 0 << 10000 << 10030;
        QTest::newRow("unreported: pressed during the settle") << false << 10 << 100 << 160;
    }

    void waitsForTheHeldKeyToBeLetGo()
    {
        QFETCH(bool, releaseReported);
        QFETCH(int, pressedAtMs);
        QFETCH(int, releasedAtMs);
        QFETCH(int, pasteAtMs);
        Rig rig;
        rig.workspace.addApplication(QStringLiteral("gedit"), 10, QStringLiteral("Text Editor"));
        rig.workspace.frontPid = 10;
        rig.keys.keyHeld = pressedAtMs == 0;
        QVERIFY(rig.insert(QStringLiteral("hello"), QStringLiteral("gedit")));
        const int lastMs =
            pasteAtMs < 0 ? int(std::chrono::milliseconds(TextInserter::keyHoldLimit).count()) + 1000 : pasteAtMs;
        for (int ms = 1; ms <= lastMs; ++ms) {
            QVERIFY2(rig.keys.events.isEmpty(), qPrintable(QStringLiteral("pasted at %1 ms").arg(ms - 1)));
            const bool held = ms >= pressedAtMs && ms < releasedAtMs;
            const bool letGo = rig.keys.keyHeld && !held;
            rig.keys.keyHeld = held;
            rig.clock.advance(1ms);
            if (letGo && releaseReported && std::exchange(rig.releaseWanted, false))
                rig.inserter.keyReleased();
        }
        QCOMPARE(rig.keys.events.size(), pasteAtMs < 0 ? 0 : 1);
        QCOMPARE(rig.outcomes, QList<bool>{pasteAtMs >= 0});
        if (pasteAtMs < 0)
            QCOMPARE(rig.clipboard.text(), std::optional(QStringLiteral("hello")));
    }

    // A key that goes down between the last look and the paste itself (the talk key of the next
    // dictation) would take the paste into its grab: the paste waits for its release instead.
    void aKeyPressedAtThePasteDefersIt()
    {
        Rig rig;
        rig.workspace.addApplication(QStringLiteral("gedit"), 10, QStringLiteral("Text Editor"));
        rig.workspace.frontPid = 10;
        rig.keys.beforePress = [&rig] {
            rig.keys.keyHeld = true;
            rig.keys.beforePress = nullptr;
        };
        QVERIFY(rig.insert(QStringLiteral("hello"), QStringLiteral("gedit")));
        rig.clock.advance(TextInserter::settleDelay + TextInserter::restoreDelay);
        QVERIFY(rig.keys.events.isEmpty());
        QVERIFY(rig.outcomes.isEmpty());
        QCOMPARE(rig.clipboard.text(), std::optional(QStringLiteral("hello")));
        rig.keys.keyHeld = false;
        QVERIFY(std::exchange(rig.releaseWanted, false));
        rig.inserter.keyReleased();
        QCOMPARE(rig.keys.events.size(), 1);
        QCOMPARE(rig.outcomes, QList<bool>{true});
    }

    // On a busy machine the target may read the pasted text long after the paste: the user's
    // clipboard is put back only once it has, or once a target that never reads is given up on.
    void theClipboardComesBackOnceThePasteIsRead_data()
    {
        QTest::addColumn<int>("readAfterMs"); // after the restore delay; -1: never
        QTest::addColumn<int>("restoredAfterMs");
        QTest::newRow("read at once") << 0 << 0;
        QTest::newRow("read late") << 700 << 700;
        QTest::newRow("never read") << -1 << int(TextInserter::maxReadWait.count());
    }

    void theClipboardComesBackOnceThePasteIsRead()
    {
        QFETCH(int, readAfterMs);
        QFETCH(int, restoredAfterMs);
        Rig rig;
        rig.workspace.addApplication(QStringLiteral("gedit"), 10, QStringLiteral("Text Editor"));
        rig.workspace.frontPid = 10;
        rig.clipboard.copyFromElsewhere({{{QStringLiteral("text/plain"), QByteArray("mine")}}});
        rig.clipboard.readAtOnce = false;
        QVERIFY(rig.insert(QStringLiteral("hello"), QStringLiteral("gedit")));
        rig.clock.advance(TextInserter::settleDelay + TextInserter::restoreDelay);
        for (int ms = 0; ms < restoredAfterMs; ms += 10) {
            if (ms == readAfterMs)
                ++rig.clipboard.reads;
            QCOMPARE(rig.clipboard.text(), std::optional(QStringLiteral("hello")));
            rig.clock.advance(10ms);
        }
        if (readAfterMs == restoredAfterMs)
            ++rig.clipboard.reads;
        rig.clock.advance(TextInserter::waitStep);
        QCOMPARE(rig.clipboard.text(), std::optional(QStringLiteral("mine")));
    }

    void waitsForTheTargetToComeToTheFront_data()
    {
        QTest::addColumn<int>("activationDelay");
        QTest::addColumn<int>("pasteAtMs");
        // Each isActive() question before the paste counts; the settle delay follows the last.
        QTest::newRow("already active") << -2 << 30;
        QTest::newRow("active at once") << 0 << 30;
        QTest::newRow("after three waits") << 3 << 180;
        QTest::newRow("only at the last moment") << 10 << 480;
    }
    void waitsForTheTargetToComeToTheFront()
    {
        QFETCH(int, activationDelay);
        QFETCH(int, pasteAtMs);
        Rig rig;
        rig.workspace.addApplication(QStringLiteral("gedit"), 10, QStringLiteral("Text Editor"));
        rig.workspace.addApplication(QStringLiteral("firefox"), 20, QStringLiteral("Firefox"));
        rig.workspace.frontPid = activationDelay == -2 ? 10 : 20;
        rig.workspace.activationDelay = std::max(activationDelay, 0);

        QVERIFY(rig.insert(QStringLiteral("hello"), QStringLiteral("gedit")));
        QCOMPARE(rig.workspace.activations, activationDelay == -2 ? QList<qint32>{} : QList<qint32>{10});
        rig.clock.advance(std::chrono::milliseconds(pasteAtMs - 1));
        QVERIFY(rig.keys.events.isEmpty());
        rig.clock.advance(1ms);
        QCOMPARE(rig.keys.events.size(), 1);
        QCOMPARE(rig.outcomes, QList<bool>{true});
    }

    void leavesTheTextOnTheClipboardWhenTheTargetNeverComesToTheFront()
    {
        Rig rig;
        rig.workspace.addApplication(QStringLiteral("gedit"), 10, QStringLiteral("Text Editor"));
        rig.workspace.addApplication(QStringLiteral("firefox"), 20, QStringLiteral("Firefox"));
        rig.workspace.frontPid = 20;
        rig.workspace.activationDelay = -1;
        rig.clipboard.content = textAndImage();

        QVERIFY(rig.insert(QStringLiteral("hello"), QStringLiteral("gedit")));
        rig.clock.advance(5s);
        QVERIFY(rig.keys.events.isEmpty());
        QCOMPARE(rig.clipboard.text(), QStringLiteral("hello"));
        QCOMPARE(rig.clipboard.restores, 0);
        QVERIFY(rig.inserted.isEmpty());
        QCOMPARE(rig.outcomes, QList<bool>{false});
    }

    void aTargetThatHasQuitGetsNothingPasted()
    {
        Rig rig;
        rig.workspace.addApplication(QStringLiteral("firefox"), 20, QStringLiteral("Firefox"));
        rig.workspace.frontPid = 20;
        QCOMPARE(rig.insert(QStringLiteral("hello"), QStringLiteral("gedit")), false);
        rig.clock.advance(2s);
        QVERIFY(rig.keys.events.isEmpty());
        QCOMPARE(rig.clipboard.text(), QStringLiteral("hello"));
        QCOMPARE(rig.outcomes, QList<bool>{false});
    }

    void terminalsPasteWithShift_data()
    {
        QTest::addColumn<QString>("bundleId");
        QTest::addColumn<quint64>("modifiers");
        QTest::newRow("gnome terminal") << QStringLiteral("gnome-terminal-server") << (ctrl | shift);
        QTest::newRow("konsole") << QStringLiteral("konsole") << (ctrl | shift);
        QTest::newRow("kitty") << QStringLiteral("kitty") << (ctrl | shift);
        QTest::newRow("xfce4 terminal") << QStringLiteral("xfce4-terminal") << (ctrl | shift);
        QTest::newRow("editor") << QStringLiteral("gedit") << ctrl;
        QTest::newRow("browser") << QStringLiteral("firefox") << ctrl;
    }
    void terminalsPasteWithShift()
    {
        QFETCH(QString, bundleId);
        QFETCH(quint64, modifiers);
        Rig rig;
        rig.workspace.addApplication(bundleId, 10, bundleId);
        rig.workspace.frontPid = 10;
        QVERIFY(rig.insert(QStringLiteral("ls -la"), bundleId));
        rig.clock.advance(100ms);
        QCOMPARE(rig.keys.events,
                 (QList<Event>{{KeySynthesizer::keyV, modifiers, true}, {KeySynthesizer::keyV, modifiers, false}}));
    }

    // The user's clipboard is read before the settle pause; a copy made during the pause is the
    // one that comes back, and one made after the paste is left alone.
    void restoresOnlyAnUnchangedClipboard_data()
    {
        QTest::addColumn<ClipboardSnapshot>("before");
        QTest::addColumn<int>("copiedAtMs"); // -1: the user copies nothing
        QTest::addColumn<ClipboardSnapshot>("after");
        const ClipboardSnapshot other{{{QStringLiteral("text/plain"), QByteArrayLiteral("copied by the user")}}};
        QTest::newRow("text and image back") << textAndImage() << -1 << textAndImage();
        QTest::newRow("empty stays empty") << ClipboardSnapshot{} << -1 << ClipboardSnapshot{};
        QTest::newRow("user copied before the paste") << textAndImage() << 10 << other;
        QTest::newRow("user copied after the paste") << textAndImage() << 200 << other;
    }
    void restoresOnlyAnUnchangedClipboard()
    {
        QFETCH(ClipboardSnapshot, before);
        QFETCH(int, copiedAtMs);
        QFETCH(ClipboardSnapshot, after);
        Rig rig;
        rig.workspace.addApplication(QStringLiteral("gedit"), 10, QStringLiteral("Text Editor"));
        rig.workspace.frontPid = 10;
        rig.clipboard.content = before;
        QVERIFY(rig.insert(QStringLiteral("hello"), QStringLiteral("gedit")));
        if (copiedAtMs >= 0) {
            rig.clock.advance(std::chrono::milliseconds(copiedAtMs));
            rig.clipboard.copyFromElsewhere(
                {{{QStringLiteral("text/plain"), QByteArrayLiteral("copied by the user")}}});
        }
        rig.clock.advance(2s);
        QCOMPARE(rig.clipboard.content, after);
        QCOMPARE(rig.inserted, QStringList{QStringLiteral("hello")});
    }

    // Back-to-back dictations: the first text comes while the talk key of the next one is held,
    // the second after it. Each goes into its own application, in order, once the key is let go;
    // the second waits until the user's clipboard is back from the first paste.
    void textsGoInOneAtATimeInOrder_data()
    {
        QTest::addColumn<int>("secondAtMs");
        QTest::newRow("second while the key is held") << 100;
        QTest::newRow("second after the release") << 5100;
    }
    void textsGoInOneAtATimeInOrder()
    {
        QFETCH(int, secondAtMs);
        Rig rig;
        rig.workspace.addApplication(QStringLiteral("gedit"), 10, QStringLiteral("Text Editor"));
        rig.workspace.addApplication(QStringLiteral("firefox"), 20, QStringLiteral("Firefox"));
        rig.workspace.frontPid = 20;
        rig.clipboard.content = textAndImage();
        // (front application, clipboard) at each press of the paste chord.
        QList<std::pair<qint32, QString>> pastes;
        rig.keys.beforePress = [&rig, &pastes] {
            pastes.append({rig.workspace.frontPid.value_or(0), rig.clipboard.text().value_or(QString())});
        };
        rig.keys.keyHeld = true;
        QVERIFY(rig.insert(QStringLiteral("first"), QStringLiteral("gedit")));
        const auto second = [&rig] { QVERIFY(rig.insert(QStringLiteral("second"), QStringLiteral("firefox"))); };
        if (secondAtMs < 5000) {
            rig.clock.advance(std::chrono::milliseconds(secondAtMs));
            second();
        }
        rig.clock.advance(5000ms - rig.clock.now());
        // Nothing moved while the user spoke into the window in front.
        QVERIFY(rig.workspace.activations.isEmpty());
        QVERIFY(pastes.isEmpty());
        rig.keys.keyHeld = false;
        QVERIFY(std::exchange(rig.releaseWanted, false));
        rig.inserter.keyReleased();
        if (secondAtMs > 5000) {
            rig.clock.advance(std::chrono::milliseconds(secondAtMs) - rig.clock.now());
            second();
        }
        rig.clock.advance(5s);
        QCOMPARE(pastes,
                 (QList<std::pair<qint32, QString>>{{10, QStringLiteral("first")}, {20, QStringLiteral("second")}}));
        QCOMPARE(rig.workspace.activations, (QList<qint32>{10, 20}));
        QCOMPARE(rig.inserted, (QStringList{QStringLiteral("first"), QStringLiteral("second")}));
        QCOMPARE(rig.outcomes, (QList<bool>{true, true}));
        QCOMPARE(rig.clipboard.content, textAndImage());
    }

    void messagingApplicationsTakeTheAccessibilityPath_data()
    {
        QTest::addColumn<QString>("bundleId");
        QTest::addColumn<QString>("fieldValue");
        QTest::addColumn<bool>("selectionSettable");
        QTest::addColumn<bool>("secret");
        QTest::addColumn<QString>("fieldAfter");
        QTest::addColumn<bool>("pasted");
        QTest::newRow("empty field, value set")
            << QStringLiteral("WhatsApp") << QString() << false << false << QStringLiteral("hi there") << false;
        QTest::newRow("caret insert") << QStringLiteral("whatsapp-desktop") << QStringLiteral("note: ") << true << false
                                      << QStringLiteral("note: hi there") << false;
        QTest::newRow("full field not overwritten") << QStringLiteral("WHATSAPP") << QStringLiteral("draft") << false
                                                    << false << QStringLiteral("draft") << true;
        QTest::newRow("password field never written")
            << QStringLiteral("whatsapp") << QString() << true << true << QString() << true;
    }
    void messagingApplicationsTakeTheAccessibilityPath()
    {
        QFETCH(QString, bundleId);
        QFETCH(QString, fieldValue);
        QFETCH(bool, selectionSettable);
        QFETCH(bool, secret);
        QFETCH(QString, fieldAfter);
        QFETCH(bool, pasted);
        Rig rig;
        rig.workspace.addApplication(bundleId, 10, QStringLiteral("WhatsApp"));
        rig.workspace.frontPid = 10;
        rig.clipboard.content = textAndImage();
        const auto field = rig.accessibility.addFocusedField(fieldValue);
        field->selectionSettable = selectionSettable;
        field->secret = secret;

        QVERIFY(rig.insert(QStringLiteral("hi there"), bundleId));
        rig.clock.advance(30ms);
        QCOMPARE(field->value, fieldAfter);
        QCOMPARE(rig.keys.events.isEmpty(), !pasted);
        QCOMPARE(rig.inserted, QStringList{QStringLiteral("hi there")});
        if (secret)
            QVERIFY(rig.accessibility.requests.isEmpty());
        if (!pasted) {
            QCOMPARE(rig.clipboard.changes, quint64(0));
            return;
        }
        // The fallback paste restores after a full second.
        rig.clock.advance(999ms);
        QCOMPARE(rig.clipboard.text(), QStringLiteral("hi there"));
        rig.clock.advance(1ms);
        QCOMPARE(rig.clipboard.content, textAndImage());
    }

    void otherApplicationsNeverTakeTheAccessibilityPath()
    {
        Rig rig;
        rig.workspace.addApplication(QStringLiteral("telegram"), 10, QStringLiteral("Telegram"));
        rig.workspace.frontPid = 10;
        const auto field = rig.accessibility.addFocusedField();
        QVERIFY(rig.insert(QStringLiteral("hi"), QStringLiteral("telegram")));
        rig.clock.advance(100ms);
        QVERIFY(rig.accessibility.requests.isEmpty());
        QCOMPARE(rig.keys.events.size(), 2);
    }
};

MURMO_TEST(TestTextInserter)
#include "tst_TextInserter.moc"
