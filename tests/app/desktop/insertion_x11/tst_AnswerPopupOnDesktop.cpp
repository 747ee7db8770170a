#include "app/desktop/TextInserter.h"
#include "app/feedback/AnswerActionButton.h"
#include "app/feedback/AnswerPanel.h"
#include "app/feedback/AnswerPopup.h"
#include "app/feedback/AnswerView.h"
#include "app/feedback/QtOverlayScreens.h"
#include "platform/SystemClock.h"
#include "platform/linux/X11Compositing.h"
#include "tests/app/desktop/insertion_x11/DesktopPorts.h"
#include "tests/support/DesktopWait.h"
#include "tests/support/ManualClock.h"
#include "tests/support/TestRegistry.h"

#include <QGuiApplication>
#include <QScreen>
#include <QTest>

#include <memory>

using Look = AnswerActionButton::Look;

// The answer card over a real application: it must not take the application's place in front,
// and its insert control must land the answer in the application's field.
class TestAnswerPopupOnDesktop : public QObject
{
    Q_OBJECT

    std::unique_ptr<DesktopPorts> m_ports;
    SystemClock m_clock;
    QtOverlayScreens m_screens;
    X11Compositing m_compositing;

    struct Popup
    {
        TextInserter inserter;
        AnswerPopup popup;
        Popup(DesktopPorts& ports, Clock& clock, OverlayScreens& screens, const Compositing& compositing)
            : inserter(ports.clipboard, ports.keys, ports.workspace, ports.accessibility, clock)
            , popup(inserter, ports.clipboard, clock, screens, compositing)
        {}
    };

private Q_SLOTS:
    void initTestCase()
    {
        m_ports = std::make_unique<DesktopPorts>();
        QVERIFY2(m_ports->isUsable(), "needs the headless desktop (scripts/with-desktop)");
    }

    void appearsTopRightWithoutTakingTheFront()
    {
        FieldHelper target(QStringLiteral("MurmoAskTarget"), QStringLiteral("Ask target"));
        QVERIFY(m_ports->bringToFront(target, QStringLiteral("text")));
        Popup p(*m_ports, m_clock, m_screens, m_compositing);
        p.popup.thinking(QStringLiteral("今天星期几？"));
        QVERIFY(QTest::qWaitForWindowExposed(p.popup.panel(), kWaitMs));

        const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
        QTRY_COMPARE_WITH_TIMEOUT(p.popup.panel()->frameGeometry().topRight(),
                                  QPoint(area.right() - 24, area.top() + 24), kWaitMs);
        // The window manager never sees the card: only this program could take the keyboard, as
        // it showed it. Every request it made has reached the server once this returns.
        QGuiApplication::sync();
        const auto front = m_ports->workspace.frontApplication();
        QVERIFY(front);
        QCOMPARE(front->pid, target.pid());
        QVERIFY(m_ports->workspace.isActive(*front));
        QVERIFY(target.isActive());

        p.popup.hide();
        QTRY_VERIFY_WITH_TIMEOUT(!p.popup.isShowing(), kWaitMs);
    }

    void insertsTheAnswerIntoTheApplicationInFront()
    {
        FieldHelper target(QStringLiteral("MurmoAskTarget"), QStringLiteral("Ask target"));
        QVERIFY(m_ports->bringToFront(target, QStringLiteral("line")));
        // Time moves when the test says: the card closes only after the answer has landed.
        ManualClock clock;
        Popup p(*m_ports, clock, m_screens, m_compositing);
        const QString answer = QStringLiteral("星期一，祝你愉快 🙂");
        p.popup.answer(QStringLiteral("今天星期几？"), answer, QStringLiteral("murmoasktarget"));
        QVERIFY(QTest::qWaitForWindowExposed(p.popup.panel(), kWaitMs));

        QTest::mouseClick(p.popup.view()->actionButton(), Qt::LeftButton);
        QCOMPARE(p.popup.view()->actionButton()->look(), Look::inserted);
        // The target is in front: the inserter finds it there, settles, pastes and lets the keys go.
        clock.advance(TextInserter::waitStep + TextInserter::settleDelay + TextInserter::keyUpDelay);
        QTRY_COMPARE_WITH_TIMEOUT(target.value(QStringLiteral("line")), answer, kWaitMs);
        QVERIFY(p.popup.isShowing());
        clock.advance(AnswerPopup::closeAfterInsert + AnswerPopup::fadeDuration);
        QVERIFY(!p.popup.isShowing());
    }

    void anApplicationThatHasGoneLeavesTheAnswerOnTheClipboard()
    {
        FieldHelper reader(QStringLiteral("MurmoClipboardReader"), QStringLiteral("Clipboard reader"));
        QVERIFY(m_ports->bringToFront(reader, QStringLiteral("line")));
        ManualClock clock;
        Popup p(*m_ports, clock, m_screens, m_compositing);
        const QString answer = QStringLiteral("答案在剪贴板上");
        p.popup.answer(QStringLiteral("问题"), answer, QStringLiteral("murmo-quit-already"));
        QVERIFY(QTest::qWaitForWindowExposed(p.popup.panel(), kWaitMs));

        QTest::mouseClick(p.popup.view()->actionButton(), Qt::LeftButton);
        QCOMPARE(p.popup.view()->actionButton()->look(), Look::copiedInstead);
        QCOMPARE(p.popup.view()->actionButton()->title(), QStringLiteral("已复制 · 按 Ctrl+V 粘贴"));
        QTRY_COMPARE_WITH_TIMEOUT(reader.command(QStringLiteral("clipboard")).value(QStringLiteral("text")).toString(),
                                  answer, kWaitMs);
        QCOMPARE(reader.value(QStringLiteral("line")), QString());
        // Long past the moment an inserted answer's card closes, this one stays.
        clock.advance(AnswerPopup::closeAfterInsert + AnswerPopup::fadeDuration);
        QVERIFY(p.popup.isShowing());
    }
};

MURMO_TEST(TestAnswerPopupOnDesktop)
#include "tst_AnswerPopupOnDesktop.moc"
