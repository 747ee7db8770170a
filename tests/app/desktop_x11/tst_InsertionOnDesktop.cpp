#include "app/desktop/TextInserter.h"
#include "platform/SystemClock.h"
#include "platform/linux/atspi/AtspiAccessibility.h"
#include "platform/linux/clipboard/QtClipboard.h"
#include "platform/linux/x11/X11Workspace.h"
#include "platform/linux/x11/XTestKeySynthesizer.h"
#include "tests/app/desktop_x11/FieldHelper.h"
#include "tests/support/TestRegistry.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QImage>
#include <QMimeData>
#include <QTest>

#include <memory>

class TestInsertionOnDesktop : public QObject
{
    Q_OBJECT

    std::unique_ptr<X11Workspace> m_workspace;
    std::unique_ptr<XTestKeySynthesizer> m_keys;
    std::unique_ptr<QtClipboard> m_clipboard;
    std::unique_ptr<AtspiAccessibility> m_accessibility;
    SystemClock m_clock;

    struct Outcome
    {
        bool done = false;
        bool delivered = false;
    };

    // The user's clipboard before a dictation: some text and a small picture.
    void putTextAndImageOnTheClipboard()
    {
        auto* data = new QMimeData;
        data->setText(QStringLiteral("before"));
        QImage image(6, 4, QImage::Format_RGB32);
        image.fill(QColor(0x12, 0x34, 0x56));
        data->setImageData(image);
        QGuiApplication::clipboard()->setMimeData(data);
    }

    bool bringToFront(FieldHelper& helper, const QString& field)
    {
        if (!helper.isReady() || !helper.focus(field))
            return false;
        QDeadlineTimer deadline(5000);
        while (!deadline.hasExpired()) {
            const auto front = m_workspace->frontApplication();
            if (front && front->pid == helper.pid() && helper.isActive())
                return true;
            QTest::qWait(20);
        }
        return false;
    }

private Q_SLOTS:
    void initTestCase()
    {
        m_workspace = std::make_unique<X11Workspace>();
        m_keys = std::make_unique<XTestKeySynthesizer>();
        m_clipboard = std::make_unique<QtClipboard>();
        m_accessibility = std::make_unique<AtspiAccessibility>(*m_keys);
        QVERIFY2(m_workspace->isConnected(), "needs the headless desktop (scripts/with-desktop)");
        QVERIFY(m_keys->isAvailable());
        QVERIFY(m_accessibility->isServiceAvailable());
    }

    void pastesIntoTheTargetAndGivesTheWholeClipboardBack()
    {
        FieldHelper target(QStringLiteral("MurmoPasteTarget"), QStringLiteral("Paste target"));
        QVERIFY(bringToFront(target, QStringLiteral("line")));
        // The user moved on to another window while the text was being recognised.
        FieldHelper other(QStringLiteral("MurmoOtherWindow"), QStringLiteral("Other window"));
        QVERIFY(bringToFront(other, QStringLiteral("line")));
        putTextAndImageOnTheClipboard();

        TextInserter inserter(*m_clipboard, *m_keys, *m_workspace, *m_accessibility, m_clock);
        QStringList inserted;
        inserter.onInserted = [&](const QString& text) { inserted << text; };
        Outcome outcome;
        const QString text = QStringLiteral("Hello 世界，再见 👋");
        QVERIFY(inserter.insert(text, QStringLiteral("murmopastetarget"), [&](bool delivered) {
            outcome = {true, delivered};
        }));
        QTRY_VERIFY(outcome.done);
        QVERIFY(outcome.delivered);
        QCOMPARE(inserted, QStringList{text});
        QTRY_COMPARE(target.value(QStringLiteral("line")), text);
        QCOMPARE(other.value(QStringLiteral("line")), QString());

        // Given back as the other application sees it: the text and the picture.
        QTRY_COMPARE_WITH_TIMEOUT(target.command(QStringLiteral("clipboard")).value(QStringLiteral("text")).toString(),
                                  QStringLiteral("before"), 3000);
        const QJsonObject seen = target.command(QStringLiteral("clipboard"));
        QCOMPARE(seen.value(QStringLiteral("image")).toString(), QStringLiteral("6x4 ff123456"));
    }

    void leavesAClipboardChangedMeanwhileAlone()
    {
        FieldHelper target(QStringLiteral("MurmoPasteTarget"), QStringLiteral("Paste target"));
        QVERIFY(bringToFront(target, QStringLiteral("text")));
        putTextAndImageOnTheClipboard();

        TextInserter inserter(*m_clipboard, *m_keys, *m_workspace, *m_accessibility, m_clock);
        Outcome outcome;
        QVERIFY(inserter.insert(QStringLiteral("dictated"), QStringLiteral("murmopastetarget"), [&](bool delivered) {
            outcome = {true, delivered};
        }));
        QTRY_VERIFY(outcome.done);
        // The user copies something right after the paste, well within the restore delay.
        QVERIFY(target.copy(QStringLiteral("copied by the user")));
        QTRY_COMPARE(target.value(QStringLiteral("text")), QStringLiteral("dictated"));
        QTest::qWait(int(TextInserter::restoreDelay.count()) + 400);
        QCOMPARE(target.command(QStringLiteral("clipboard")).value(QStringLiteral("text")).toString(),
                 QStringLiteral("copied by the user"));
        QCOMPARE(m_clipboard->text(), std::optional<QString>(QStringLiteral("copied by the user")));
    }

    void messagingApplicationGetsTheTextWithoutTheClipboard()
    {
        FieldHelper target(QStringLiteral("WhatsApp"), QStringLiteral("WhatsApp"));
        QVERIFY(bringToFront(target, QStringLiteral("text")));
        putTextAndImageOnTheClipboard();
        QTest::qWait(50);
        const quint64 changes = m_clipboard->changeCount();

        TextInserter inserter(*m_clipboard, *m_keys, *m_workspace, *m_accessibility, m_clock);
        Outcome outcome;
        const QString text = QStringLiteral("晚上七点见 at Café");
        QVERIFY(inserter.insert(text, QStringLiteral("whatsapp"), [&](bool delivered) {
            outcome = {true, delivered};
        }));
        QTRY_VERIFY(outcome.done);
        QVERIFY(outcome.delivered);
        QTRY_COMPARE(target.value(QStringLiteral("text")), text);
        QTest::qWait(int(TextInserter::accessibilityRestoreDelay.count()) + 200);
        QCOMPARE(target.value(QStringLiteral("text")), text);
        QCOMPARE(m_clipboard->changeCount(), changes);
        QCOMPARE(target.command(QStringLiteral("clipboard")).value(QStringLiteral("text")).toString(),
                 QStringLiteral("before"));
    }

    void targetThatStaysBehindGetsNothing()
    {
        FieldHelper target(QStringLiteral("MurmoPasteTarget"), QStringLiteral("Paste target"));
        QVERIFY(bringToFront(target, QStringLiteral("line")));
        FieldHelper other(QStringLiteral("MurmoOtherWindow"), QStringLiteral("Other window"));
        QVERIFY(bringToFront(other, QStringLiteral("line")));

        // A workspace whose activation requests are lost, like a window manager that refuses them.
        struct StubbornWorkspace : X11Workspace
        {
            void activate(const RunningApplication&) override {}
        } stubborn;
        TextInserter inserter(*m_clipboard, *m_keys, stubborn, *m_accessibility, m_clock);
        Outcome outcome;
        QVERIFY(inserter.insert(QStringLiteral("not for you"), QStringLiteral("murmopastetarget"), [&](bool delivered) {
            outcome = {true, delivered};
        }));
        QTRY_VERIFY(outcome.done);
        QVERIFY(!outcome.delivered);
        QTest::qWait(200);
        QCOMPARE(other.value(QStringLiteral("line")), QString());
        QCOMPARE(target.value(QStringLiteral("line")), QString());
        QCOMPARE(m_clipboard->text(), std::optional<QString>(QStringLiteral("not for you")));
    }

    void cleanupTestCase() { m_accessibility.reset(); }
};

MURMO_TEST(TestInsertionOnDesktop)
#include "tst_InsertionOnDesktop.moc"
