#include "app/ui/CopyIconButton.h"
#include "app/ui/PressableIconStyle.h"
#include "app/ui/Theme.h"
#include "tests/support/ManualClock.h"
#include "tests/support/TestRegistry.h"

#include <QApplication>
#include <QClipboard>
#include <QEnterEvent>
#include <QImage>
#include <QPainter>
#include <QTest>

#include <memory>

using namespace std::chrono_literals;
using Host = CopyIconButton::Host;
Q_DECLARE_METATYPE(CopyIconButton::Host)

namespace {

QImage grabImage(QWidget& widget)
{
    return widget.grab().toImage().convertToFormat(QImage::Format_ARGB32);
}

void enter(QWidget& widget)
{
    QEnterEvent event(QPointF(5, 5), QPointF(5, 5), widget.mapToGlobal(QPointF(5, 5)));
    QApplication::sendEvent(&widget, &event);
}

void leave(QWidget& widget)
{
    QEvent event(QEvent::Leave);
    QApplication::sendEvent(&widget, &event);
}

} // namespace

class TestCopyIconButton : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init()
    {
        Theme::setPalette(ThemePalette::xuan());
        Theme::setDark(false);
        QApplication::clipboard()->setText(QStringLiteral("before"));
    }

    void tapCopiesAndConfirms_data()
    {
        QTest::addColumn<Host>("host");
        QTest::newRow("historyRow") << Host::historyRow;
        QTest::newRow("overlayDone") << Host::overlayDone;
        QTest::newRow("answerPopup") << Host::answerPopup;
    }
    void tapCopiesAndConfirms()
    {
        QFETCH(Host, host);
        ManualClock clock;
        CopyIconButton button(
            host, QStringLiteral("复制"), [] { return QStringLiteral("听写的文字"); }, clock);
        QCOMPARE(button.toolTip(), QStringLiteral("复制"));
        QCOMPARE(button.focusPolicy(), Qt::NoFocus);
        QCOMPARE(button.symbolName(), QStringLiteral("doc.on.doc"));
        QVERIFY(!button.copied());
        QTest::mouseClick(&button, Qt::LeftButton);
        QCOMPARE(QApplication::clipboard()->text(), QStringLiteral("听写的文字"));
        QVERIFY(button.copied());
        QCOMPARE(button.symbolName(), QStringLiteral("checkmark"));
        clock.advance(1199ms);
        QVERIFY(button.copied());
        clock.advance(1ms);
        QVERIFY(!button.copied());
        QCOMPARE(button.symbolName(), QStringLiteral("doc.on.doc"));
    }

    void laterTapOwnsTheRevert()
    {
        ManualClock clock;
        CopyIconButton button(
            Host::overlayDone, QStringLiteral("复制"), [] { return QStringLiteral("x"); }, clock);
        button.click();
        clock.advance(1000ms);
        QApplication::clipboard()->setText(QStringLiteral("changed meanwhile"));
        button.click();
        // Every tap copies again, even while the checkmark shows.
        QCOMPARE(QApplication::clipboard()->text(), QStringLiteral("x"));
        QCOMPARE(button.revertSeq(), 2);
        clock.advance(200ms); // the first tap's revert falls due and finds a newer tap
        QVERIFY(button.copied());
        clock.advance(999ms);
        QVERIFY(button.copied());
        clock.advance(1ms);
        QVERIFY(!button.copied());
    }

    void emptyTextStillClearsTheClipboard()
    {
        ManualClock clock;
        CopyIconButton button(
            Host::historyRow, QStringLiteral("复制"), [] { return QString(); }, clock);
        button.click();
        QCOMPARE(QApplication::clipboard()->text(), QString());
        QVERIFY(button.copied());
    }

    void textIsReadAtTheTap()
    {
        ManualClock clock;
        auto text = std::make_shared<QString>(QStringLiteral("第一版"));
        CopyIconButton button(
            Host::answerPopup, QStringLiteral("复制"), [text] { return *text; }, clock);
        *text = QStringLiteral("改过的第二版");
        button.click();
        QCOMPARE(QApplication::clipboard()->text(), QStringLiteral("改过的第二版"));
    }

    void popupTitleFollowsTheSymbol()
    {
        ManualClock clock;
        CopyIconButton button(
            Host::answerPopup, QStringLiteral("复制"), [] { return QStringLiteral("答"); }, clock);
        const QSize before = button.size();
        QCOMPARE(button.title(), QStringLiteral("复制"));
        button.click();
        QCOMPARE(button.title(), QStringLiteral("已复制"));
        QCOMPARE(button.size(), before);
        clock.advance(1200ms);
        QCOMPARE(button.title(), QStringLiteral("复制"));
        CopyIconButton other(
            Host::overlayDone, QString(), [] { return QString(); }, clock);
        QCOMPARE(other.title(), QString());
        QCOMPARE(other.size(), QSize(28, 28));
    }

    void onlyTheHistoryRowReactsToHover()
    {
        ManualClock clock;
        CopyIconButton row(
            Host::historyRow, QStringLiteral("复制"), [] { return QString(); }, clock);
        const QImage rest = grabImage(row);
        enter(row);
        QVERIFY(row.hovering());
        // The hairline rounded background shows inside the corner, not in the rounded-off tip.
        const QImage hovered = grabImage(row);
        QVERIFY(hovered.pixel(3, 3) != rest.pixel(3, 3));
        QCOMPARE(hovered.pixel(0, 0), rest.pixel(0, 0));
        leave(row);
        QVERIFY(!row.hovering());
        QCOMPARE(grabImage(row), rest);

        for (Host host : {Host::overlayDone, Host::answerPopup}) {
            CopyIconButton button(
                host, QStringLiteral("复制"), [] { return QString(); }, clock);
            const QImage before = grabImage(button);
            enter(button);
            QVERIFY(!button.hovering());
            QCOMPARE(grabImage(button), before);
        }
    }

    void aRevertAfterTheButtonIsGoneDoesNothing()
    {
        ManualClock clock;
        auto button = std::make_unique<CopyIconButton>(
            Host::overlayDone, QString(), [] { return QString("t"); }, clock);
        button->click();
        button.reset();
        clock.advance(2000ms);
        QCOMPARE(clock.pendingCount(), std::size_t(0));
    }

    void historyRowPressShrinksAndFades()
    {
        ManualClock clock;
        CopyIconButton row(
            Host::historyRow, QStringLiteral("复制"), [] { return QString(); }, clock);
        auto* style = row.findChild<PressableIconStyle*>();
        QVERIFY(style);
        QCOMPARE(style->pressAmount(), 0.0);
        QTest::mousePress(&row, Qt::LeftButton);
        QTRY_COMPARE_WITH_TIMEOUT(style->pressAmount(), 1.0, 20000);

        QImage canvas(28, 28, QImage::Format_ARGB32_Premultiplied);
        QPainter painter(&canvas);
        style->apply(painter, QRectF(0, 0, 28, 28));
        QVERIFY(qAbs(painter.worldTransform().m11() - 0.82) < 1e-9);
        QVERIFY(qAbs(painter.opacity() - 0.55) < 1e-9);
        // Scaled about the centre: the centre stays where it was.
        QCOMPARE(painter.worldTransform().map(QPointF(14, 14)), QPointF(14, 14));
        painter.end();

        QTest::mouseRelease(&row, Qt::LeftButton);
        QTRY_COMPARE_WITH_TIMEOUT(style->pressAmount(), 0.0, 20000);
        // Press and release on the button is a tap.
        QVERIFY(row.copied());
    }

    void otherLooksHaveNoPressEffect()
    {
        ManualClock clock;
        CopyIconButton button(
            Host::overlayDone, QString(), [] { return QString(); }, clock);
        QVERIFY(!button.findChild<PressableIconStyle*>());
    }
};

MURMO_TEST(TestCopyIconButton)
#include "tst_CopyIconButton.moc"
